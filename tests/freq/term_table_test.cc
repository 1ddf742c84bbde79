// The term table: lookups, growth, clearing and the sorted order of spills.
#include "freq/term_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace vocs
