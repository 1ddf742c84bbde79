// RadixSortByKey: a least significant digit radix sort of records by an
// unsigned 64-bit key, for the entries of a run before it is written.
//
// Records are moved between the caller's two arrays of n; digits of 10 bits
// keep the places written at once few enough for the caches and the address
// translation, and a pass whose digit is the same in every record is
// skipped. The counts of all digits come from one read of the records (56 KiB
// of the stack). The sort is stable. Any thread; no allocation.
#ifndef VOCS_SORTED_RUN_RADIX_SORT_H_
#define VOCS_SORTED_RUN_RADIX_SORT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace vocs {

// Sorts a[0, n) by key_of(record) (only its `bits` low bits may be set),
// using b[0, n) as room. Returns a or b, whichever holds the result.
template <typename T, typename KeyOf>
T* RadixSortByKey(T* a, T* b, size_t n, int bits, KeyOf key_of) {
  constexpr int kDigitBits = 10;
  constexpr size_t kBuckets = size_t{1} << kDigitBits;
  constexpr int kMaxDigits = (64 + kDigitBits - 1) / kDigitBits;
  if (n < 64) {
    std::stable_sort(a, a + n, [&](const T& x, const T& y) { return key_of(x) < key_of(y); });
    return a;
  }
  // The counts of every digit in one read of the records, instead of one
  // read a pass.
  const int digits = std::min(kMaxDigits, (bits + kDigitBits - 1) / kDigitBits);
  size_t offsets[kMaxDigits][kBuckets] = {};
  for (size_t i = 0; i < n; ++i) {
    const uint64_t key = key_of(a[i]);
    for (int d = 0; d < digits; ++d) ++offsets[d][(key >> (d * kDigitBits)) & (kBuckets - 1)];
  }
  const uint64_t first_key = key_of(a[0]);
  T* from = a;
  T* to = b;
  for (int d = 0; d < digits; ++d) {
    const int shift = d * kDigitBits;
    size_t* offset = offsets[d];
    if (offset[(first_key >> shift) & (kBuckets - 1)] == n) continue;  // one digit only
    size_t sum = 0;
    for (size_t k = 0; k < kBuckets; ++k) {
      const size_t c = offset[k];
      offset[k] = sum;
      sum += c;
    }
    for (size_t i = 0; i < n; ++i) {
      to[offset[(key_of(from[i]) >> shift) & (kBuckets - 1)]++] = from[i];
    }
    std::swap(from, to);
  }
  return from;
}

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_RADIX_SORT_H_
