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

}  // namespace
}  // namespace vocs
