// The pair line through its codec: composing and parsing lines, the scan
// over two-byte characters, and the order and folding of pairs.
#include "cooc/pair_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace vocs {
namespace {

TEST(PairLineTest, FormatAndParseAgree) {
  LineBuffer buffer;
  PairLineCodec::Append(PairLineCodec::Make("\xB0\xA1\xB0\xA1", "efgh", 8000000000), &buffer);
  // Every length of the short-term copies, and counts of one and more digits.
  std::string expected = "\xB0\xA1\xB0\xA1\tefgh\t8000000000\n";
  for (size_t n = 0; n <= 20; ++n) {
    const std::string term = std::string("abcdefghijklmnopqrstuvwxyz").substr(0, n);
    const std::string second = "x" + term;
    PairLineCodec::Append(PairLineCodec::Make(term, second, static_cast<int64_t>(n) * 7),
                          &buffer);
    expected += term + "\tx" + term + "\t" + std::to_string(n * 7) + "\n";
  }
  EXPECT_EQ(buffer.view(), expected);
  const std::string line(buffer.view().substr(0, buffer.view().find('\n')));
  PairLine pair;
  ASSERT_TRUE(ParsePairLine(line, &pair));
  EXPECT_EQ(pair.term1, "\xB0\xA1\xB0\xA1");
  EXPECT_EQ(pair.term2, "efgh");
  EXPECT_EQ(pair.count_text, "8000000000");
  EXPECT_EQ(pair.count, 8000000000);
  PairLineCodec::Entry entry;
  ASSERT_TRUE(PairLineCodec::Parse(line, &entry));
  EXPECT_EQ(PairLineCodec::Compare(entry, PairLineCodec::Make(pair.term1, pair.term2, 1)), 0);
  EXPECT_EQ(entry.count, 8000000000);
}

TEST(PairLineTest, LinesParseWithExactlyTwoTabsOutsideTwoByteCharacters) {
  struct Case {
    std::string line;
    bool parses;
    std::string term2;
  };
  const std::vector<Case> cases = {
      {"abcd\tefgh\t3", true, "efgh"},
      {"abcd\tefgh\t3\t9", false, ""},  // three tabs
      {"abcd efgh 7", false, ""},
      {"", false, ""},
      {"\xB0\tcd\tefgh\t1", true, "efgh"},  // 0x09 as a trail byte is no tab
      {std::string("abcd\tefgh\t2\0\t", 13), true, "efgh"},  // a 0 byte ends the scan
  };
  for (const Case& c : cases) {
    PairLine pair;
    EXPECT_EQ(ParsePairLine(c.line, &pair), c.parses) << c.line;
    if (c.parses) {
      EXPECT_EQ(pair.term2, c.term2) << c.line;
    }
  }
  // The count is read as strtoll reads it.
  PairLine pair;
  ASSERT_TRUE(ParsePairLine("a\tb\t 99999999999999999999x", &pair));
  EXPECT_EQ(pair.count, INT64_MAX);
}

TEST(PairLineTest, PairsCompareByTheFirstTermThenTheSecondAndFoldTheirCounts) {
  auto compare = [](std::string_view a1, std::string_view a2, std::string_view b1,
                    std::string_view b2) {
    return PairLineCodec::Compare(PairLineCodec::Make(a1, a2, 1), PairLineCodec::Make(b1, b2, 1));
  };
  EXPECT_LT(compare("abcd", "zzzz", "abcde", "aaaa"), 0);
  EXPECT_LT(compare("abcd", "abcd", "abcd", "abcde"), 0);
  EXPECT_LT(compare("\xB0\xA1", "x", "\xFF", "a"), 0);  // unsigned bytes
  EXPECT_EQ(compare("abcd", "efgh", "abcd", "efgh"), 0);
  // Equal order prefixes: the bytes after the eighth decide.
  EXPECT_LT(compare("abcdefgh0", "x", "abcdefgh1", "a"), 0);
  EXPECT_GT(compare("x", "abcdefgh1", "x", "abcdefgh0"), 0);
  // One stored term, shared by both entries, as a spill passes it.
  const std::string shared = "abcdefghij";
  EXPECT_LT(compare(shared, "abcdefghij0", shared, "abcdefghij1"), 0);

  PairLineCodec::Held held;
  PairLineCodec::Hold(PairLineCodec::Make("abcd", "efgh", 4000000000), &held);
  PairLineCodec::Fold(PairLineCodec::Make("abcd", "efgh", 4000000000), &held);
  EXPECT_EQ(held.count, 8000000000);
  EXPECT_EQ(PairLineCodec::Compare(PairLineCodec::View(held), PairLineCodec::Make("abcd", "efgh", 0)),
            0);
}

}  // namespace
}  // namespace vocs
