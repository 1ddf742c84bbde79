// The one reader of leading decimal numbers, under each of its overflow
// policies: the frequency lines (wrap), the pair lines (saturate) and the
// statement's MINFREQ (saturate at 32 bits).
#include "text/leading_integer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vocs {
namespace {

constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();

TEST(LeadingIntegerTest, ReadsAsTheCLibraryReadsAndAppliesEachPolicy) {
  struct Case {
    std::string text;
    int64_t wrapped;
    int64_t saturated;
    int32_t int32;
  };
  const std::vector<Case> cases = {
      {"42", 42, 42, 42},
      {" \t\n\v\f\r42", 42, 42, 42},  // every blank of the C library
      {"42x", 42, 42, 42},
      {"12\r", 12, 12, 12},
      {"", 0, 0, 0},
      {"x", 0, 0, 0},
      {"- 3", 0, 0, 0},  // no blank between sign and digits
      {"-7", -7, -7, -7},
      {"+7", 7, 7, 7},
      {"007", 7, 7, 7},
      {"8000000000", 8000000000, 8000000000, kMax32},
      {"-8000000000", -8000000000, -8000000000, kMin32},
      {"2147483648", 2147483648, 2147483648, kMax32},
      {"-2147483648", -2147483648, -2147483648, kMin32},
      {"9223372036854775807", kMax64, kMax64, kMax32},
      // One past the largest value: wraps to the smallest, or saturates.
      {"9223372036854775808", kMin64, kMax64, kMax32},
      {"-9223372036854775808", kMin64, kMin64, kMin32},
      {"-9223372036854775809", kMax64, kMin64, kMin32},
      // Beyond 64 bits: the low 64 bits, or the bound.
      {"18446744073709551617", 1, kMax64, kMax32},
      {"99999999999999999999", static_cast<int64_t>(7766279631452241919ull), kMax64, kMax32},
      {"-99999999999999999999", -static_cast<int64_t>(7766279631452241919ull), kMin64, kMin32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseLeadingInteger(c.text, IntegerOverflow::kWrap), c.wrapped);
    EXPECT_EQ(ParseLeadingInteger(c.text, IntegerOverflow::kSaturate), c.saturated);
    EXPECT_EQ(ParseLeadingInt32(c.text), c.int32);
  }
}

TEST(LeadingIntegerTest, NeverReadsPastTheEndOfTheText) {
  const std::string text = "12345";
  EXPECT_EQ(ParseLeadingInteger(std::string_view(text).substr(0, 2), IntegerOverflow::kWrap), 12);
  EXPECT_EQ(ParseLeadingInt32(std::string_view(text).substr(0, 0)), 0);
}

}  // namespace
}  // namespace vocs
