// The frequency line through its codec: composing and parsing lines, terms
// holding tabs, the order of terms and the folding of equal ones.
#include "freq/term_line.h"

#include <gtest/gtest.h>

#include <random>
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

// Lines of plain digits take a quicker road than the others; both must read
// every line as atoll reads its fields.
TEST(TermLineTest, PlainAndOtherNumberFieldsReadAlike) {
  struct Case {
    const char* line;
    const char* term;
    SpillCounts counts;
  };
  const Case cases[] = {
      {"12\t34\t1\t2\t3\t4", "12\t34", {1, 2, 3, 4}},  // a term of digits and a tab
      {"t\t007\t0\t999999999999999999\t1", "t", {7, 0, 999999999999999999, 1}},
      // 19 and 20 digits: beyond the quick road, wrapped as atoll's low bits.
      {"t\t9223372036854775807\t1\t1\t1", "t", {9223372036854775807, 1, 1, 1}},
      {"t\t1\t1\t1\t18446744073709551617", "t", {1, 1, 1, 1}},
      {"t\t1\t1\t1\t4\r", "t", {1, 1, 1, 4}},  // a CR left before the line end
      {"t\t1\t+2\t1\t1", "t", {1, 2, 1, 1}},
      {"t\t\t1\t1\t1", "t", {0, 1, 1, 1}},  // an empty field
      {"\t1\t2\t3\t4\t5", "\t1", {2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TermLineCodec::Entry entry;
    ASSERT_TRUE(TermLineCodec::Parse(c.line, &entry));
    EXPECT_EQ(entry.term, c.term);
    EXPECT_EQ(entry.counts.total, c.counts.total);
    EXPECT_EQ(entry.counts.records, c.counts.records);
    EXPECT_EQ(entry.counts.maxCount, c.counts.maxCount);
    EXPECT_EQ(entry.counts.minCount, c.counts.minCount);
  }
  TermLineCodec::Entry entry;
  EXPECT_FALSE(TermLineCodec::Parse("1\t2\t3\t4", &entry));  // digits, but three tabs
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
  EXPECT_LT(compare("abc", std::string_view("abc\0", 4)), 0);  // equal padded prefixes
  EXPECT_GT(compare("\xB0\xA1\xB0\xA1", "\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"), 0);

  // Against the byte comparison itself: terms of 0 to 12 bytes over an
  // alphabet with zeros, so that prefixes tie often, across eight bytes.
  std::mt19937 rng(3);
  for (int i = 0; i < 200000; ++i) {
    std::string a(rng() % 13, '\0'), b(rng() % 13, '\0');
    for (char& c : a) c = "\0\1a\xFF"[rng() % 4];
    b = rng() % 2 ? a.substr(0, rng() % (a.size() + 1)) : b;
    for (size_t k = 0; k < b.size(); ++k) {
      if (rng() % 8 == 0) b[k] = "\0\1a\xFF"[rng() % 4];
    }
    const int expected = std::string_view(a).compare(b);
    const int got = compare(a, b);
    ASSERT_EQ((got > 0) - (got < 0), (expected > 0) - (expected < 0))
        << testing::PrintToString(a) << " " << testing::PrintToString(b);
  }

  TermLineCodec::Held held;
  TermLineCodec::Hold({"abcd", SpillCounts{3, 2, 2, 1}}, &held);
  TermLineCodec::Fold({"abcd", SpillCounts{4, 1, 4, 4}}, &held);
  TermLineCodec::Fold({"abcd", SpillCounts{1, 1, 1, 1}}, &held);
  EXPECT_EQ(Line(held.term, held.counts), "abcd\t8\t4\t4\t1\n");
  EXPECT_EQ(TermLineCodec::View(held).term.data(), held.term.data());
}

}  // namespace
}  // namespace vocs
