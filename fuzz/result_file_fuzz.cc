// What "vocs show" does with any file it is given: the input, written to a
// file, is read row by row by ResultReader, its cells made fit to show,
// ranked by their frequency column and rendered as a table; a co-occurrence
// result is also read whole as pairs of terms and ranked by every measure,
// as --measure does.
//
// What must hold: the reader opens the file exactly when it has a non-empty
// line; every header name and cell is UTF-8 and holds no TAB or LF; a file
// of ASCII bytes reads back as its own lines cut at TABs; a shown cell
// holds no control character and is at most 40 columns wide; ranking keeps
// every row and orders them; every row of a co-occurrence result is read as
// a pair or counted as unreadable; pairs are ordered by each measure.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "cli/association.h"
#include "cli/pair_result.h"
#include "cli/result_file.h"
#include "cli/result_reader.h"
#include "cli/text_table.h"
#include "fuzz_support.h"
#include "host/text_codec.h"

namespace {

using vocs::fuzz::Check;

// The lines the reader should give: cut at LF, one CR dropped from each
// end, empty ones passed over.
std::vector<std::string_view> NonEmptyLines(std::string_view data) {
  std::vector<std::string_view> lines;
  for (std::string_view line : vocs::fuzz::SplitInput(data, "\n", data.size() + 1)) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> CutAtTabs(std::string_view line) {
  std::vector<std::string> cells;
  for (std::string_view cell : vocs::fuzz::SplitInput(line, "\t", line.size() + 1)) {
    cells.emplace_back(cell);
  }
  return cells;
}

bool IsAscii(std::string_view data) {
  for (const char c : data) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

void CheckReadCell(std::string_view cell) {
  Check(vocs::host::IsValidUtf8(cell), "a cell read is UTF-8");
  Check(cell.find_first_of("\t\n") == std::string_view::npos, "a cell read holds no TAB or LF");
}

void CheckShownCell(const std::string& cell) {
  Check(vocs::host::IsValidUtf8(cell), "a shown cell is UTF-8");
  for (const char c : cell) {
    Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "no control in a shown cell");
  }
  Check(vocs::cli::DisplayWidth(cell) <= 40, "a shown cell is at most 40 columns");
}

// The number in a ranked column, worked out here from the text alone:
// -infinity for what is not a number.
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

// The pairs of a co-occurrence result as "show --measure" reads and ranks
// them.
void ShowPairs(const std::string& path, size_t row_count) {
  vocs::cli::ResultReader reader;
  std::string error;
  Check(reader.OpenFile(path, &error), "a file opens twice");
  vocs::cli::PairResult result;
  if (!result.Read(&reader, &error)) return;
  Check(result.rows().size() + result.unreadable_rows() == row_count,
        "every row is a pair or unreadable");
  std::vector<vocs::cli::ScoredPair> pairs = vocs::cli::CombineOrders(result);
  Check(pairs.size() <= result.rows().size(), "no more pairs than rows");
  int64_t together = 0;
  for (const vocs::cli::ScoredPair& pair : pairs) {
    Check(pair.count >= pair.reverse, "a pair is named in its more frequent order");
    together += pair.together();
  }
  Check(together == result.total_count(), "combining orders keeps every count");
  const vocs::cli::DerivedTermCounts counts(result);
  std::string reason;
  const bool exact = vocs::cli::VerifyTermCounts(result, counts, &reason) &&
                     vocs::cli::MeasurePairs(result, counts, &pairs, &reason);
  using vocs::cli::Measure;
  for (const Measure measure : {Measure::kCount, Measure::kPmi, Measure::kLogLikelihood,
                                Measure::kTScore, Measure::kDice}) {
    if (!exact && measure != Measure::kCount) continue;
    vocs::cli::RankPairs(result, measure, &pairs);
    for (size_t i = 1; i < pairs.size(); ++i) {
      Check(!vocs::cli::RanksBefore(result, measure, pairs[i], pairs[i - 1]),
            "pairs are ranked by the measure");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = vocs::fuzz::AsText(data, size);
  const std::string path = vocs::fuzz::FreshScratchDirectory() + "/result.txt";
  vocs::fuzz::WriteFileOrDie(path, bytes);
  const std::vector<std::string_view> lines = NonEmptyLines(bytes);

  vocs::cli::ResultReader reader;
  std::string error;
  const bool opened = reader.OpenFile(path, &error);
  Check(opened == !lines.empty(), "a file opens when it has a non-empty line");
  if (!opened) return 0;
  std::vector<std::string> header = reader.header();
  for (const std::string& name : header) CheckReadCell(name);

  // What show does with the rows (ShowFile).
  const int rank = vocs::cli::RankColumn(header);
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string_view> cells;
  const bool ascii = IsAscii(bytes);
  if (ascii) Check(header == CutAtTabs(lines[0]), "an ASCII header reads as it is");
  while (reader.Next(&cells)) {
    Check(rows.size() + 1 < lines.size(), "no more rows than lines after the header");
    std::vector<std::string> row;
    for (const std::string_view cell : cells) {
      CheckReadCell(cell);
      row.push_back(vocs::cli::ShownCell(std::string(cell)));
      CheckShownCell(row.back());
    }
    if (ascii) {
      Check(std::vector<std::string>(cells.begin(), cells.end()) == CutAtTabs(lines[rows.size() + 1]),
            "an ASCII row reads as it is");
    }
    rows.push_back(std::move(row));
  }
  Check(reader.error().empty(), "a file written whole reads to its end");
  Check(rows.size() + 1 == lines.size(), "every line after the header is a row");

  const size_t count = rows.size();
  vocs::cli::RankRows(rank, &rows);
  Check(rows.size() == count, "ranking keeps every row");
  if (rank >= 0) {
    for (size_t i = 1; i < rows.size(); ++i) {
      Check(Value(rows[i - 1], rank) >= Value(rows[i], rank), "rows are ranked");
    }
  }
  for (std::string& name : header) {
    name = vocs::cli::ShownCell(name);
    CheckShownCell(name);
  }
  const std::string table = vocs::cli::RenderTable(header, rows);
  Check(!table.empty() && table.back() == '\n', "a table is rendered");

  if (reader.kind() == vocs::cli::ResultKind::kCooccurrence) ShowPairs(path, count);
  return 0;
}
