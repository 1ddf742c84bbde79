// The term table: counting, the wide form, growth, clearing, long terms and
// the sorted order of spills.
#include "freq/term_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace vocs {
namespace {

constexpr int64_t kNone = std::numeric_limits<int64_t>::max();

std::vector<std::string> SortedTerms(const TermTable& table) {
  std::vector<uint32_t> order;
  table.SortedOrder(&order);
  std::vector<std::string> terms;
  for (uint32_t i : order) terms.emplace_back(table.Term(i));
  return terms;
}

// The counts a term should have after the occurrences `records` (one record
// number per occurrence, ascending), folded as a spill folds them.
struct Expected {
  int64_t total = 0, records = 0, max = 0, min = kNone, current = 0;
  int32_t last = -1;
  void Add(int32_t record) {
    ++total;
    if (records > 0 && record == last) {
      ++current;
      return;
    }
    if (records > 0) {
      max = std::max(max, current);
      min = std::min(min, current);
    }
    ++records;
    current = 1;
    last = record;
  }
};

void ExpectStats(const TermStats& s, const Expected& e, const std::string& term) {
  EXPECT_EQ(s.total, e.total) << term;
  EXPECT_EQ(s.records, e.records) << term;
  EXPECT_EQ(s.maxCount, e.max) << term;
  EXPECT_EQ(s.minCount, e.min) << term;
  EXPECT_EQ(s.currentCount, e.current) << term;
  EXPECT_EQ(s.lastRecord, e.last) << term;
}

TEST(TermTableTest, CountsOccurrencesRecordsAndPerRecordExtremes) {
  TermTable table;
  // "ab": 3 in record 0, 1 in record 2, 2 in record 5 (pending).
  for (int32_t r : {0, 0, 0, 2, 5, 5}) table.Count("ab", r);
  table.Count("", 1);  // the empty term is a term too
  const std::optional<TermStats> ab = table.Find("ab");
  ASSERT_TRUE(ab.has_value());
  EXPECT_EQ(ab->total, 6);
  EXPECT_EQ(ab->records, 3);
  EXPECT_EQ(ab->maxCount, 3);
  EXPECT_EQ(ab->minCount, 1);
  EXPECT_EQ(ab->currentCount, 2);
  EXPECT_EQ(ab->lastRecord, 5);
  const std::optional<TermStats> empty = table.Find("");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(empty->minCount, kNone);  // no finished record yet
  EXPECT_EQ(empty->maxCount, 0);
  EXPECT_FALSE(table.Find("a").has_value());
  EXPECT_FALSE(table.Find("abc").has_value());
  EXPECT_EQ(table.size(), 2u);

  table.FoldPendingCounts();
  EXPECT_EQ(table.Find("ab")->maxCount, 3);
  EXPECT_EQ(table.Find("ab")->minCount, 1);
  EXPECT_EQ(table.Find("")->minCount, 1);
  EXPECT_EQ(table.Find("")->maxCount, 1);
}

// Inline terms are a padded word and a length: terms that differ only by
// trailing or inner 0 bytes, and long terms that share their first eight
// bytes, must stay apart.
TEST(TermTableTest, KeepsTermsWithZeroBytesAndSharedPrefixesApart) {
  using namespace std::string_literals;
  const std::vector<std::string> terms = {
      ""s,         "\0"s,        "\0\0"s,         "a"s,         "a\0"s,
      "a\0\0\0\0\0\0\0"s,        "a\0\0\0\0\0\0\0\0"s,        "abcdefgh"s,
      "abcdefgh\0"s,             "abcdefghi"s, "abcdefghij"s, std::string(256, '\0')};
  TermTable table;
  for (size_t i = 0; i < terms.size(); ++i) {
    for (size_t k = 0; k <= i; ++k) table.Count(terms[i], 0);
  }
  ASSERT_EQ(table.size(), terms.size());
  for (size_t i = 0; i < terms.size(); ++i) {
    const std::optional<TermStats> s = table.Find(terms[i]);
    ASSERT_TRUE(s.has_value()) << i;
    EXPECT_EQ(s->total, static_cast<int64_t>(i + 1)) << i;
  }
  std::vector<std::string> sorted = terms;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(SortedTerms(table), sorted);
}

TEST(TermTableTest, SortsByUnsignedBytesWithPrefixesFirst) {
  TermTable table;
  for (const char* term : {"\xB0\xA1", "abcdefgh", "abcdefghi", "abcdefg", "ABCD", "abcdefgh\x01",
                           "abcdefgh\xFF", "a", "\x7F"}) {
    table.Count(term, 0);
  }
  table.Count(std::string_view("abcdefgh\0", 9), 0);
  EXPECT_EQ(SortedTerms(table),
            (std::vector<std::string>{"ABCD", "a", "abcdefg", "abcdefgh",
                                      std::string("abcdefgh\0", 9), "abcdefgh\x01", "abcdefghi",
                                      "abcdefgh\xFF", "\x7F", "\xB0\xA1"}));
}

// A model of every count, through many doublings of the slot array (which
// moves the slots), then Clear and a refill that reuses the memory.
TEST(TermTableTest, AgreesWithAModelAcrossGrowthAndClear) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  TermTable table;
  for (int round = 0; round < 3; ++round) {
    std::map<std::string, Expected> model;
    int32_t record = 0;
    for (int i = 0; i < 200000; ++i) {
      if (rng() % 8 == 0) ++record;
      std::string term = std::to_string(rng() % 60000);
      if (rng() % 4 == 0) term += std::string(rng() % 40, 'x');  // past eight bytes
      table.Count(term, record);
      model[term].Add(record);
    }
    ASSERT_EQ(table.size(), model.size());
    std::vector<uint32_t> order;
    table.SortedOrder(&order);
    ASSERT_EQ(order.size(), model.size());
    auto it = model.begin();
    for (uint32_t position : order) {
      ASSERT_EQ(table.Term(position), it->first);
      ExpectStats(table.Stats(position), it->second, it->first);
      ++it;
    }
    const size_t memory = table.MemoryUsage();
    table.Clear();
    EXPECT_TRUE(table.empty());
    EXPECT_FALSE(table.Find(model.begin()->first).has_value());
    EXPECT_TRUE(SortedTerms(table).empty());
    EXPECT_EQ(table.MemoryUsage(), memory);  // kept for the next fill
  }
}

// Every doubling moves the slots; every term must stay reachable with its
// counts, and the sorted walk must see each once.
TEST(TermTableTest, KeepsEveryTermThroughManyDoublings) {
  TermTable table;
  constexpr int kTerms = 700000;  // 2^12 slots doubled to 2^20
  auto term = [](int i) { return std::to_string(int64_t{i} * 7919 % kTerms); };
  for (int i = 0; i < kTerms; ++i) table.Count(term(i), i);
  for (int i = 0; i < kTerms; i += 3) table.Count(term(i), kTerms);
  ASSERT_EQ(table.size(), static_cast<size_t>(kTerms));
  for (int i = 0; i < kTerms; ++i) {
    const std::optional<TermStats> s = table.Find(term(i));
    ASSERT_TRUE(s.has_value()) << term(i);
    ASSERT_EQ(s->records, i % 3 == 0 ? 2 : 1) << term(i);
  }
  std::vector<uint32_t> order;
  table.SortedOrder(&order);
  ASSERT_EQ(order.size(), static_cast<size_t>(kTerms));
  for (size_t k = 1; k < order.size(); ++k) {
    ASSERT_LT(table.Term(order[k - 1]), table.Term(order[k]));
  }
}

// Counts past the narrow limits move the term to the wide form and stay
// exact: the real per-record limit, then lowered limits for the total.
TEST(TermTableTest, WidensACountPastTheNarrowWidthOfOneRecord) {
  TermTable table;
  Expected e;
  for (int i = 0; i < 70000; ++i) {
    table.Count("often", 3);
    e.Add(3);
  }
  table.Count("rare", 3);
  EXPECT_TRUE(table.IsWideForTesting("often"));
  EXPECT_FALSE(table.IsWideForTesting("rare"));
  ExpectStats(*table.Find("often"), e, "often");
  for (int32_t r : {4, 4, 9}) {
    table.Count("often", r);
    e.Add(r);
  }
  ExpectStats(*table.Find("often"), e, "often");
  EXPECT_EQ(table.Find("often")->maxCount, 70000);
  EXPECT_EQ(table.Find("often")->minCount, 2);
}

TEST(TermTableTest, WidensAtLoweredLimitsAndStaysExactThroughGrowthAndClear) {
  TermTable table;
  table.SetNarrowLimitsForTesting(/*total_limit=*/50, /*count_limit=*/4);
  std::map<std::string, Expected> model;
  std::mt19937 rng(7);
  int32_t record = 0;
  // Terms short and long; some cross the limits in one record, some over
  // many; the table grows past its first slot array meanwhile.
  for (int i = 0; i < 60000; ++i) {
    if (rng() % 3 == 0) ++record;
    std::string term = "t" + std::to_string(rng() % (i < 30000 ? 40 : 20000));
    if (rng() % 5 == 0) term += "-long-enough";
    table.Count(term, record);
    model[term].Add(record);
  }
  size_t wide = 0;
  for (const auto& [term, e] : model) {
    ExpectStats(*table.Find(term), e, term);
    if (table.IsWideForTesting(term)) ++wide;
  }
  EXPECT_GT(wide, 40u);
  EXPECT_LT(wide, model.size());
  table.FoldPendingCounts();
  const std::optional<TermStats> first = table.Find(model.begin()->first);
  EXPECT_EQ(first->maxCount, std::max(model.begin()->second.max, model.begin()->second.current));

  table.Clear();
  EXPECT_FALSE(table.Find("t1").has_value());
  for (int i = 0; i < 5; ++i) table.Count("t1", 0);  // past 4 in one record
  EXPECT_TRUE(table.IsWideForTesting("t1"));
  EXPECT_EQ(table.Find("t1")->currentCount, 5);
  EXPECT_EQ(table.Find("t1")->total, 5);
}

// The total's limit is inclusive: a slot holds a total equal to it, and the
// next occurrence widens, whether it falls in the same record or a new one.
TEST(TermTableTest, WidensWhenTheTotalWouldPassItsLimit) {
  for (const bool same_record : {false, true}) {
    TermTable table;
    table.SetNarrowLimitsForTesting(/*total_limit=*/3, /*count_limit=*/UINT16_MAX);
    Expected e;
    for (int32_t r : {0, 1, 1}) {
      table.Count("big", r);
      e.Add(r);
    }
    EXPECT_FALSE(table.IsWideForTesting("big"));
    const int32_t next = same_record ? 1 : 2;
    table.Count("big", next);
    e.Add(next);
    EXPECT_TRUE(table.IsWideForTesting("big"));
    ExpectStats(*table.Find("big"), e, "big");
  }
}

TEST(TermTableTest, HoldsATermLargerThanAnArenaBlock) {
  TermTable table;
  table.Count("before", 0);
  const std::string big(3 << 20, 'q');
  table.Count(big, 0);
  table.Count("after", 0);
  table.Count(big, 1);
  ASSERT_TRUE(table.Find(big).has_value());
  EXPECT_EQ(table.Find(big)->records, 2);
  EXPECT_EQ(SortedTerms(table), (std::vector<std::string>{"after", "before", big}));
}

}  // namespace
}  // namespace vocs
