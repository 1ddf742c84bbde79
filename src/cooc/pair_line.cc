#include "cooc/pair_line.h"

#include <limits>

namespace vocs {

bool ParsePairLine(std::string_view line, PairLine* out) {
  if (line.empty()) return false;
  size_t tabs[2];
  int found = 0;
  const size_t n = line.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c >= 0x80) {
      ++i;  // the byte after it belongs to the same character
    } else if (c == '\t') {
      if (found == 2) return false;
      tabs[found++] = i;
    } else if (c == '\0') {
      break;
    }
  }
  if (found != 2) return false;
  out->term1 = line.substr(0, tabs[0]);
  out->term2 = line.substr(tabs[0] + 1, tabs[1] - tabs[0] - 1);
  out->count_text = line.substr(tabs[1] + 1);
  out->count = ParseDecimal(out->count_text);
  return true;
}

int64_t ParseDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so that the minimum is reachable.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value < (kMin + digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (saturated) return negative ? kMin : std::numeric_limits<int64_t>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

}  // namespace vocs
