#include "cli/result_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "cli/text_table.h"

namespace vocs::cli {

namespace {

// Long values are cut so that the columns stay readable.
constexpr int kMaxCellWidth = 40;

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> cells;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return cells;
    start = tab + 1;
  }
}

}  // namespace

double RankValue(const std::vector<std::string>& row, int column) {
  if (column < 0 || static_cast<size_t>(column) >= row.size()) {
    return -std::numeric_limits<double>::infinity();
  }
  const std::string& text = row[static_cast<size_t>(column)];
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || std::isnan(value)) {
    return -std::numeric_limits<double>::infinity();
  }
  return value;
}

std::string ShownCell(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return TruncateToWidth(EscapeControls(text), kMaxCellWidth);
}

bool ParseResultFile(std::string_view bytes, host::TextCodec* codec, ResultRows* out) {
  std::string text;
  if (!codec->Gb18030ToUtf8(bytes, &text)) {
    text = host::IsValidUtf8(bytes) ? std::string(bytes) : codec->Gb18030ToUtf8Replacing(bytes);
  }
  out->header.clear();
  out->rows.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    if (out->header.empty()) {
      out->header = SplitTabs(line);
    } else if (!line.empty()) {
      out->rows.push_back(SplitTabs(line));
      for (std::string& cell : out->rows.back()) cell = ShownCell(std::move(cell));
    }
  }
  return !out->header.empty();
}

int RankColumn(const std::vector<std::string>& header) {
  for (size_t i = 0; i < header.size(); ++i) {
    if (header[i] == "词频" || header[i] == "共现频率") return static_cast<int>(i);
  }
  return -1;
}

void RankRows(int rank, std::vector<std::vector<std::string>>* rows) {
  if (rank < 0) return;
  std::stable_sort(rows->begin(), rows->end(), [rank](const auto& a, const auto& b) {
    return RankValue(a, rank) > RankValue(b, rank);
  });
}

}  // namespace vocs::cli
