// The frequency line through its codec: composing and parsing lines, terms
// holding tabs, the order of terms and the folding of equal ones.
#include "freq/term_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vocs {
namespace {

std::string Line(std::string_view term, SpillCounts counts) {
  LineBuffer buffer;
  TermLineCodec::Append({term, counts}, &buffer);
  return std::string(buffer.view());
}

TEST(TermLineTest, WritesAndParsesLines) {
  const std::string line = Line("a\tb", SpillCounts{5000000000, 2, 3, 1});
  EXPECT_EQ(line, "a\tb\t5000000000\t2\t3\t1\n");
  TermLineCodec::Entry entry;
  ASSERT_TRUE(TermLineCodec::Parse(std::string_view(line).substr(0, line.size() - 1), &entry));
  EXPECT_EQ(entry.term, "a\tb");  // the last four tabs separate the numbers
  EXPECT_EQ(entry.counts.total, 5000000000);
  EXPECT_EQ(entry.counts.records, 2);
  EXPECT_EQ(entry.counts.maxCount, 3);
  EXPECT_EQ(entry.counts.minCount, 1);
  ASSERT_TRUE(TermLineCodec::Parse("\t1\t2\t3\t4", &entry));
  EXPECT_EQ(entry.term, "");
  EXPECT_EQ(entry.counts.minCount, 4);
  EXPECT_FALSE(TermLineCodec::Parse("abcd\t1\t2\t3", &entry));
  EXPECT_FALSE(TermLineCodec::Parse("", &entry));
  // Numbers as atoll reads them, a longer one wrapped to its low 64 bits.
  ASSERT_TRUE(TermLineCodec::Parse("t\t 7x\t-2\t18446744073709551617\t", &entry));
  EXPECT_EQ(entry.counts.total, 7);
  EXPECT_EQ(entry.counts.records, -2);
  EXPECT_EQ(entry.counts.maxCount, 1);
  EXPECT_EQ(entry.counts.minCount, 0);
}

TEST(TermLineTest, TermsCompareAsUnsignedBytesAndFoldTheirCounts) {
  auto compare = [](std::string_view a, std::string_view b) {
    return TermLineCodec::Compare({a, {}}, {b, {}});
  };
  EXPECT_LT(compare("abcd", "abcde"), 0);  // a proper prefix first
  EXPECT_LT(compare("abcd", "\xB0\xA1"), 0);
  EXPECT_LT(compare("\xB0\xA1", "\xFF"), 0);
  EXPECT_EQ(compare("abcd", "abcd"), 0);
  EXPECT_GT(compare("abcdefgh1", "abcdefgh0"), 0);  // bytes after the eighth count

  TermLineCodec::Held held;
  TermLineCodec::Hold({"abcd", SpillCounts{3, 2, 2, 1}}, &held);
  TermLineCodec::Fold({"abcd", SpillCounts{4, 1, 4, 4}}, &held);
  TermLineCodec::Fold({"abcd", SpillCounts{1, 1, 1, 1}}, &held);
  EXPECT_EQ(Line(held.term, held.counts), "abcd\t8\t4\t4\t1\n");
  EXPECT_EQ(TermLineCodec::View(held).term.data(), held.term.data());
}

}  // namespace
}  // namespace vocs
