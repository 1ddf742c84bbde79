// ParseLeadingInteger: the decimal number at the start of a text, read the
// way the C library's strtoll and atoll read one: leading white space
// (space, tab, line feed, vertical tab, form feed, carriage return) skipped,
// an optional sign, then digits up to the first other byte; a text without
// digits gives 0. The text needs no terminator and is never read past its
// end.
//
// A number beyond 64 bits is the caller's choice (IntegerOverflow): the
// frequency lines keep the low 64 bits as atoll does, the pair lines
// saturate as strtoll does, and the statement's MINFREQ saturates at the
// 32-bit range. Numbers the engines wrote themselves never overflow; the
// policies decide only what a damaged file or an outsized statement reads as.
//
// Inline because the merge reads millions of numbers. Any thread.
#ifndef VOCS_TEXT_LEADING_INTEGER_H_
#define VOCS_TEXT_LEADING_INTEGER_H_

#include <cstdint>
#include <limits>
#include <string_view>

namespace vocs {

enum class IntegerOverflow {
  kWrap,      // the low 64 bits of the value, as two's complement
  kSaturate,  // the nearest of the smallest and the largest 64-bit value
};

inline int64_t ParseLeadingInteger(std::string_view text, IntegerOverflow overflow) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr uint64_t kAll = std::numeric_limits<uint64_t>::max();
  uint64_t magnitude = 0;  // unsigned, so that an overlong number wraps
  bool beyond_64_bits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (magnitude > (kAll - digit) / 10) beyond_64_bits = true;
    magnitude = magnitude * 10 + digit;
  }
  if (overflow == IntegerOverflow::kSaturate) {
    constexpr uint64_t kLargest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    if (beyond_64_bits || magnitude > kLargest + (negative ? 1 : 0)) {
      return negative ? std::numeric_limits<int64_t>::min()
                      : std::numeric_limits<int64_t>::max();
    }
  }
  return static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
}

// The leading number saturated at the 32-bit range.
inline int32_t ParseLeadingInt32(std::string_view text) {
  const int64_t value = ParseLeadingInteger(text, IntegerOverflow::kSaturate);
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

}  // namespace vocs

#endif  // VOCS_TEXT_LEADING_INTEGER_H_
