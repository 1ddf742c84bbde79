// The reader of "vocs show" on any file: a file with a header line gives rows
// of UTF-8 cells without control characters, ranked by their frequency
// column (highest first, cells without a number last) and rendered as a
// table.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "cli/result_file.h"
#include "cli/text_table.h"
#include "fuzz_support.h"
#include "host/text_codec.h"

namespace {

double Value(const std::vector<std::string>& row, int rank) {
  const size_t column = static_cast<size_t>(rank);
  double value = -std::numeric_limits<double>::infinity();
  if (column < row.size()) {
    const std::string& text = row[column];
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || std::isnan(value)) {
      value = -std::numeric_limits<double>::infinity();
    }
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vocs::fuzz::Check;
  static vocs::host::TextCodec codec;
  vocs::cli::ResultRows file;
  if (!vocs::cli::ParseResultFile(vocs::fuzz::AsText(data, size), &codec, &file)) return 0;
  for (const auto& row : file.rows) {
    for (const std::string& cell : row) {
      Check(vocs::host::IsValidUtf8(cell), "a cell is UTF-8");
      for (char c : cell) {
        Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "no control in a cell");
      }
    }
  }
  const int rank = vocs::cli::RankColumn(file.header);
  const size_t count = file.rows.size();
  vocs::cli::RankRows(rank, &file.rows);
  Check(file.rows.size() == count, "ranking keeps every row");
  if (rank >= 0) {
    for (size_t i = 1; i < file.rows.size(); ++i) {
      Check(Value(file.rows[i - 1], rank) >= Value(file.rows[i], rank), "rows are ranked");
    }
  }
  for (std::string& name : file.header) name = vocs::cli::ShownCell(name);
  const std::string table = vocs::cli::RenderTable(file.header, file.rows);
  Check(!table.empty() && table.back() == '\n', "a table is rendered");
  return 0;
}
