// Table memory on both sides of the huge-page size: zero-filled, aligned,
// writable to its last byte, and given back without complaint.
#include "platform/table_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace vocs {
namespace {

TEST(TableMemoryTest, EverySizeComesZeroedAlignedAndWritableToItsEnd) {
  const size_t sizes[] = {1, 64, 1000, kHugePageBytes - 1, kHugePageBytes,
                          kHugePageBytes + 4096 + 3, 3 * kHugePageBytes};
  for (size_t bytes : sizes) {
    void* memory = AllocateTableMemory(bytes);
    ASSERT_NE(memory, nullptr) << bytes;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(memory) % 64, 0u) << bytes;
    if (bytes >= kHugePageBytes) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(memory) % kHugePageBytes, 0u) << bytes;
    }
    auto* bytes_of = static_cast<unsigned char*>(memory);
    for (size_t i = 0; i < bytes; i += 4093) ASSERT_EQ(bytes_of[i], 0) << bytes << " at " << i;
    EXPECT_EQ(bytes_of[bytes - 1], 0) << bytes;
    std::memset(memory, 0xAB, bytes);
    EXPECT_EQ(bytes_of[bytes - 1], 0xAB);
    FreeTableMemory(memory, bytes);
  }
}

TEST(TableMemoryTest, SizesPastTheAddressSpaceAreRefusedNotWrapped) {
  // Rounded up to whole huge pages these sizes wrap around to a few pages;
  // handing those out would let a table write far past its end.
  const size_t max = std::numeric_limits<size_t>::max();
  for (size_t bytes : {max, max - kHugePageBytes + 2, max - 2 * kHugePageBytes + 2}) {
    EXPECT_THROW(AllocateTableMemory(bytes), std::bad_alloc) << bytes;
  }
}

TEST(TableMemoryTest, ArraysOfTheSameSizeAreFreshEachTime) {
  struct Pair {
    uint64_t key;
    int64_t count;
  };
  // Freed storage that comes back must be zeroed again, on both paths.
  for (size_t n : {size_t{16}, kHugePageBytes / sizeof(Pair) + 1}) {
    for (int round = 0; round < 3; ++round) {
      TableArray<Pair> table = MakeTableArray<Pair>(n);
      EXPECT_EQ(table[0].count, 0);
      EXPECT_EQ(table[n - 1].key, 0u);
      table[0] = Pair{7, 7};
      table[n - 1] = Pair{9, 9};
    }
  }
  TableArray<Pair> empty = MakeTableArray<Pair>(0);
  EXPECT_NE(empty.get(), nullptr);
}

}  // namespace
}  // namespace vocs
