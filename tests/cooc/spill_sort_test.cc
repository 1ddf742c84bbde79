// SortSpillEntries over every way it can take: enough spare room, a split
// into parts that fit the spare room, and no fitting split at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "cooc/spill_sort.h"

namespace vocs {
namespace {

using Slot = PairCountTable::Slot;

TEST(SpillSortTest, SortsByKeyWhateverTheRoom) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 random(seed);
  struct Case {
    size_t n;
    size_t spare;  // free slots after the entries
    int bits;
    bool skewed;   // all keys share their top bits
  };
  const std::vector<Case> cases = {
      {10, 0, 20, false},       {5000, 5000, 24, false}, {5000, 1700, 24, false},
      {5000, 40, 24, false},    {5000, 0, 24, false},    {5000, 1000, 24, true},
      {70000, 30000, 38, false}, {70000, 9000, 38, false}, {3000, 2000, 3, false},
  };
  for (const Case& c : cases) {
    std::set<uint64_t> keys;
    const uint64_t mask = (uint64_t{1} << c.bits) - 1;
    while (keys.size() < std::min<size_t>(c.n, size_t{1} << c.bits)) {
      uint64_t key = random() & mask;
      if (c.skewed) key &= mask >> 4;
      keys.insert(key);
    }
    std::vector<Slot> entries;
    for (uint64_t key : keys) entries.push_back(Slot{key, static_cast<int64_t>(key % 97 + 1)});
    std::shuffle(entries.begin(), entries.end(), random);
    const size_t n = entries.size();
    entries.resize(n + c.spare, Slot{0, 0});
    SortSpillEntries(entries.data(), n, n + c.spare, c.bits);
    size_t i = 0;
    for (uint64_t key : keys) {
      ASSERT_EQ(entries[i].key, key) << "n " << c.n << " spare " << c.spare << " at " << i;
      ASSERT_EQ(entries[i].count, static_cast<int64_t>(key % 97 + 1));
      ++i;
    }
  }
}

TEST(SpillSortTest, PackedEntriesSortByKeyAndKeepTheirCounts) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 random(seed);
  for (int key_bits : {2, 34, 60}) {
    const int count_bits = 64 - key_bits;
    const uint64_t key_mask = key_bits == 64 ? ~uint64_t{0} : (uint64_t{1} << key_bits) - 1;
    const uint64_t count_mask = (uint64_t{1} << count_bits) - 1;
    std::set<uint64_t> keys;
    while (keys.size() < std::min<uint64_t>(20000, key_mask + 1)) keys.insert(random() & key_mask);
    std::vector<uint64_t> words;
    for (uint64_t key : keys) words.push_back(key << count_bits | ((key * 7 + 1) & count_mask));
    std::shuffle(words.begin(), words.end(), random);
    const size_t n = words.size();
    words.resize(2 * n);
    SortPackedSpill(words.data(), n, key_bits);
    size_t i = 0;
    for (uint64_t key : keys) {
      ASSERT_EQ(words[i] >> count_bits, key) << key_bits << " at " << i;
      ASSERT_EQ(words[i] & count_mask, (key * 7 + 1) & count_mask);
      ++i;
    }
  }
  // What fits: the counts in the bits the keys leave, never the sign bit.
  EXPECT_TRUE(FitsPacked(34, (int64_t{1} << 30) - 1));
  EXPECT_FALSE(FitsPacked(34, int64_t{1} << 30));
  EXPECT_FALSE(FitsPacked(0, 1));
  EXPECT_FALSE(FitsPacked(64, 0));
}

}  // namespace
}  // namespace vocs
