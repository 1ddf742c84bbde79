// The term table and the spill line format.
#include "freq/term_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "freq/frequency_spill.h"
#include "platform/fault_injection_env.h"
#include "support/temp_dir.h"

namespace vocs {
namespace {

std::vector<std::string> SortedTerms(const TermTable& table) {
  std::vector<uint32_t> order;
  table.SortedOrder(&order);
  std::vector<std::string> terms;
  for (uint32_t i : order) terms.emplace_back(table.Term(i));
  return terms;
}

TEST(TermTableTest, FindsWhatItInserted) {
  TermTable table;
  bool inserted = false;
  TermStats* a = table.FindOrInsert("abcd", &inserted);
  EXPECT_TRUE(inserted);
  a->total = 5;
  TermStats* again = table.FindOrInsert("abcd", &inserted);
  EXPECT_FALSE(inserted);
  EXPECT_EQ(again, a);
  EXPECT_EQ(table.Find("abcd")->total, 5);
  EXPECT_EQ(table.Find("abc"), nullptr);
  EXPECT_EQ(table.Find("abcde"), nullptr);
  table.FindOrInsert("", &inserted);  // the empty term is a term too
  EXPECT_TRUE(inserted);
  EXPECT_EQ(table.size(), 2u);
}

TEST(TermTableTest, AgreesWithAMapAcrossGrowthAndClear) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  TermTable table;
  for (int round = 0; round < 3; ++round) {
    std::map<std::string, int64_t> model;
    for (int i = 0; i < 100000; ++i) {
      std::string term = std::to_string(rng() % 50000);
      if (rng() % 4 == 0) term += std::string(rng() % 40, 'x');  // past eight bytes
      bool inserted = false;
      TermStats* s = table.FindOrInsert(term, &inserted);
      ASSERT_EQ(inserted, model.count(term) == 0) << term;
      ++s->total;
      ++model[term];
    }
    ASSERT_EQ(table.size(), model.size());
    std::vector<uint32_t> order;
    table.SortedOrder(&order);
    auto it = model.begin();
    for (uint32_t index : order) {
      ASSERT_EQ(table.Term(index), it->first);
      ASSERT_EQ(table.Stats(index).total, it->second);
      ++it;
    }
    const size_t memory = table.MemoryUsage();
    table.Clear();
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table.Find(model.begin()->first), nullptr);
    EXPECT_EQ(table.MemoryUsage(), memory);  // kept for the next fill
  }
}

TEST(TermTableTest, SortsByUnsignedBytesWithPrefixesFirst) {
  TermTable table;
  bool inserted = false;
  for (const char* term : {"\xB0\xA1", "abcdefgh", "abcdefghi", "abcdefg", "ABCD", "abcdefgh\x01",
                           "abcdefgh\xFF", "a", "\x7F"}) {
    table.FindOrInsert(term, &inserted);
  }
  table.FindOrInsert(std::string_view("abcdefgh\0", 9), &inserted);
  EXPECT_EQ(SortedTerms(table),
            (std::vector<std::string>{"ABCD", "a", "abcdefg", "abcdefgh",
                                      std::string("abcdefgh\0", 9), "abcdefgh\x01", "abcdefghi",
                                      "abcdefgh\xFF", "\x7F", "\xB0\xA1"}));
}

TEST(TermTableTest, HoldsATermLargerThanAnArenaBlock) {
  TermTable table;
  bool inserted = false;
  table.FindOrInsert("before", &inserted);
  const std::string big(3 << 20, 'q');
  table.FindOrInsert(big, &inserted);
  table.FindOrInsert("after", &inserted);
  EXPECT_NE(table.Find(big), nullptr);
  EXPECT_EQ(SortedTerms(table), (std::vector<std::string>{"after", "before", big}));
}

TEST(SpillLineTest, WritesAndParsesLines) {
  std::string line;
  AppendSpillLine("a\tb", SpillCounts{5000000000, 2, 3, 1}, &line);
  EXPECT_EQ(line, "a\tb\t5000000000\t2\t3\t1\n");
  std::string_view term;
  SpillCounts counts;
  ASSERT_TRUE(ParseSpillLine(std::string_view(line).substr(0, line.size() - 1), &term, &counts));
  EXPECT_EQ(term, "a\tb");
  EXPECT_EQ(counts.total, 5000000000);
  EXPECT_EQ(counts.minCount, 1);
  ASSERT_TRUE(ParseSpillLine("\t1\t2\t3\t4", &term, &counts));
  EXPECT_EQ(term, "");
  EXPECT_EQ(counts.minCount, 4);
  EXPECT_FALSE(ParseSpillLine("abcd\t1\t2\t3", &term, &counts));
  EXPECT_FALSE(ParseSpillLine("", &term, &counts));
}

TEST(SpillLineTest, NumbersAreReadAsAtollReadsThem) {
  const std::vector<std::pair<std::string, int64_t>> cases = {
      {"42", 42}, {"  42", 42}, {"42x", 42}, {"", 0}, {"x", 0}, {"-7", -7}, {"+7", 7},
      {"9223372036854775807", INT64_MAX}, {"12\r", 12},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseSpillNumber(text), value) << text;
}

TEST(SpillWriterTest, ReportsAFileThatWasNotWrittenWhole) {
  testing::ScopedTempDir dir;
  FaultInjectionEnv env;
  ScopedEnvForTesting scoped(&env);
  SpillWriter writer;
  ASSERT_TRUE(writer.Open(dir.Sub("s.tmp")));
  writer.Add("abcd", SpillCounts{1, 1, 1, 1});
  EXPECT_TRUE(writer.Finish());
  EXPECT_EQ(testing::ReadFileOrMissing(dir.Sub("s.tmp")), "abcd\t1\t1\t1\t1\n");

  env.FillDiskAfter(100 * 1024);
  ASSERT_TRUE(writer.Open(dir.Sub("t.tmp")));
  for (int i = 0; i < 20000; ++i) {
    writer.Add("term" + std::to_string(100000 + i), SpillCounts{1, 1, 1, 1});
  }
  EXPECT_FALSE(writer.Finish());

  env.Reset();
  env.FailAlways(EnvOp::kNewWritableFile);
  EXPECT_FALSE(writer.Open(dir.Sub("u.tmp")));
  EXPECT_FALSE(writer.Finish());
}

}  // namespace
}  // namespace vocs
