#include "cooc/spill_sort.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "sorted_run/radix_sort.h"

namespace vocs {

namespace {

using Slot = PairCountTable::Slot;

// The first split uses at most 2^8 parts.
constexpr int kMaxSplitBits = 8;

Slot* RadixSort(Slot* a, Slot* b, size_t n, int bits) {
  return RadixSortByKey(a, b, n, bits, [](const Slot& s) { return s.key; });
}

// Sorts a[0, n) through b and leaves the result in a.
void RadixSortInto(Slot* a, Slot* b, size_t n, int bits) {
  Slot* sorted = RadixSort(a, b, n, bits);
  if (sorted != a) std::memcpy(static_cast<void*>(a), sorted, n * sizeof(Slot));
}

}  // namespace

void SortSpillEntries(Slot* entries, size_t n, size_t room, int bits) {
  const size_t spare = room - n;
  if (n < 64 || spare >= n) {
    RadixSortInto(entries, entries + n, n, bits);
    return;
  }
  // The smallest split by top bits whose largest part fits the spare room.
  int split = 0;
  size_t ends[size_t{1} << kMaxSplitBits];
  for (int k = 1; k <= std::min(kMaxSplitBits, bits) && split == 0; ++k) {
    const size_t parts = size_t{1} << k;
    std::fill(ends, ends + parts, 0);
    for (size_t i = 0; i < n; ++i) ++ends[entries[i].key >> (bits - k)];
    if (*std::max_element(ends, ends + parts) <= spare) split = k;
  }
  if (split == 0) {
    std::unique_ptr<Slot[]> buffer = std::make_unique_for_overwrite<Slot[]>(n);
    RadixSortInto(entries, buffer.get(), n, bits);
    return;
  }
  // In place: every entry goes straight to the next free place of its part.
  const size_t parts = size_t{1} << split;
  const int shift = bits - split;
  size_t next[size_t{1} << kMaxSplitBits];
  size_t sum = 0;
  for (size_t p = 0; p < parts; ++p) {
    next[p] = sum;
    sum += ends[p];
    ends[p] = sum;
  }
  for (size_t p = 0; p < parts; ++p) {
    while (next[p] < ends[p]) {
      Slot v = entries[next[p]];
      size_t d = static_cast<size_t>(v.key >> shift);
      while (d != p) {
        std::swap(v, entries[next[d]++]);
        d = static_cast<size_t>(v.key >> shift);
      }
      entries[next[p]++] = v;
    }
  }
  size_t begin = 0;
  for (size_t p = 0; p < parts; ++p) {
    RadixSortInto(entries + begin, entries + n, ends[p] - begin, shift);
    begin = ends[p];
  }
}

void SortPackedSpill(uint64_t* words, size_t n, int key_bits) {
  const int count_bits = 64 - key_bits;
  uint64_t* sorted = RadixSortByKey(words, words + n, n, key_bits,
                                    [count_bits](uint64_t w) { return w >> count_bits; });
  if (sorted != words) std::memcpy(words, sorted, n * sizeof(uint64_t));
}

}  // namespace vocs
