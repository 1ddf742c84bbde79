// The padded word loads under the term hashes, the term comparisons and the
// order prefixes, checked against a plain copy into a zeroed word.
#include "text/order_prefix.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vocs {
namespace {

TEST(OrderPrefixTest, PaddedWordHoldsExactlyTheFirstBytes) {
  // Distinct high and low bytes, so that a byte in the wrong place or a byte
  // read past n shows; the guard bytes after n must never reach the word.
  const std::string text = "\x01\x82\x23\xC4\x45\xF6\x67\x88\xFF\xFF\xFF\xFF";
  for (size_t offset = 0; offset < 4; ++offset) {
    for (size_t n = 0; n <= 8; ++n) {
      uint64_t expected = 0;
      std::memcpy(&expected, text.data() + offset, n);
      EXPECT_EQ(LoadPaddedWord(text.data() + offset, n), expected)
          << "offset " << offset << " n " << n;
    }
  }
}

TEST(OrderPrefixTest, PrefixesOrderAsTheTermsBytes) {
  // Unsigned byte order, a proper prefix first, only the first eight bytes.
  EXPECT_LT(OrderPrefix("ab"), OrderPrefix("abc"));
  EXPECT_LT(OrderPrefix("abc"), OrderPrefix("abd"));
  EXPECT_LT(OrderPrefix("\x7F"), OrderPrefix("\x80"));
  EXPECT_LT(OrderPrefix(std::string_view("a\0", 2)), OrderPrefix("a\x01"));
  EXPECT_EQ(OrderPrefix(""), 0u);
  EXPECT_EQ(OrderPrefix("abcdefgh"), OrderPrefix("abcdefghZZ"));
  EXPECT_EQ(OrderPrefix("abcdefgh"), 0x6162636465666768ull);
  EXPECT_EQ(OrderPrefix("abc"), 0x6162630000000000ull);
}

}  // namespace
}  // namespace vocs
