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
