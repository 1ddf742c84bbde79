// The radix sort against a stable comparison sort: every size around the
// small-input cut, keys that use only some digits, and equal keys in their
// input order.
#include "sorted_run/radix_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vocs {
namespace {

struct Record {
  uint64_t key;
  uint32_t position;
};

TEST(RadixSortTest, AgreesWithAStableSortForEveryShapeOfKey) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 rng(seed);
  struct Case {
    size_t n;
    int bits;
    uint64_t mask;  // which key bits vary
  };
  const Case cases[] = {
      {0, 64, ~0ull},        {1, 64, ~0ull},         {63, 64, ~0ull},
      {64, 64, ~0ull},       {5000, 64, ~0ull},      {5000, 20, 0xFFFFF},
      {5000, 64, 0xFF},  // many equal keys, upper digits all the same
      {5000, 64, 0xFF00000000000000ull},  // only the top digit varies
      {3000, 40, 0},     // every key equal
  };
  for (const Case& c : cases) {
    std::vector<Record> a(c.n), b(c.n);
    for (size_t i = 0; i < c.n; ++i) a[i] = Record{rng() & c.mask, static_cast<uint32_t>(i)};
    std::vector<Record> expected = a;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Record& x, const Record& y) { return x.key < y.key; });
    Record* sorted = RadixSortByKey(a.data(), b.data(), c.n, c.bits,
                                    [](const Record& r) { return r.key; });
    ASSERT_TRUE(sorted == a.data() || sorted == b.data());
    for (size_t i = 0; i < c.n; ++i) {
      ASSERT_EQ(sorted[i].key, expected[i].key) << c.n << " " << c.bits << " at " << i;
      ASSERT_EQ(sorted[i].position, expected[i].position) << c.n << " " << c.bits << " at " << i;
    }
  }
}

}  // namespace
}  // namespace vocs
