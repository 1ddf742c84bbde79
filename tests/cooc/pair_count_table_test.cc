// The pair table's storage as a run grows it: small runs stay small, large
// ones take the planned room once, and counts survive every move.
#include "cooc/pair_count_table.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vocs {
namespace {

TEST(PairCountTableTest, DoublesThroughSmallRunsThenTakesItsReserveOnce) {
  PairCountTable table;
  table.Reserve(5000000);  // the default threshold: room of 2^23 slots
  const auto key = [](uint32_t i) { return PairCountTable::Key(i % 4099, i); };

  // About a million distinct pairs, a corpus of a few thousand records:
  // the table doubles to the first size that holds them, not the reserve.
  uint32_t added = 0;
  for (; added < 1000000; ++added) table.Add(key(added));
  EXPECT_EQ(table.capacity(), size_t{1} << 21);

  // Past 2^22 slots' worth, the next growth is the whole reserve.
  for (; added < 3000000; ++added) table.Add(key(added));
  EXPECT_EQ(table.capacity(), size_t{1} << 23);
  EXPECT_EQ(table.size(), size_t{3000000});

  // Every count came through the moves; a second occurrence lands on it.
  for (uint32_t i = 0; i < added; i += 997) table.Add(key(i));
  for (uint32_t i = 0; i < added; i += 499) {
    ASSERT_EQ(table.Count(key(i)), i % 997 == 0 ? 2 : 1) << i;
  }
  EXPECT_EQ(table.Count(PairCountTable::Key(5000, 1)), 0);

  // Cleared, it keeps its storage for the next fill.
  table.Clear();
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(table.capacity(), size_t{1} << 23);
}

}  // namespace
}  // namespace vocs
