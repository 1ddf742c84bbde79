// SortSpillEntries: orders the pairs of a spill by key before they are
// written.
//
// The keys are (rank1 << b) | rank2, the byte-order positions of the two
// terms, so sorting them as integers orders the pairs by (term1, term2)
// bytes. The sort is a least significant digit radix sort, which needs as
// much room again as the entries take. It uses the unoccupied part of the
// pair table's storage for that: when that part is smaller than the entries,
// a first in-place pass splits them by their top bits into parts that each
// fit it. Only when no such split exists is a buffer allocated.
#ifndef VOCS_COOC_SPILL_SORT_H_
#define VOCS_COOC_SPILL_SORT_H_

#include <cstddef>
#include <cstdint>

#include "cooc/pair_count_table.h"

namespace vocs {

// Sorts entries[0, n) by key in place; only the `bits` low bits of the keys
// may be set. entries[n, room) is free to use.
void SortSpillEntries(PairCountTable::Slot* entries, size_t n, size_t room, int bits);

// The packed form, for a spill whose counts are small enough: each entry as
// one word, its key in the high `key_bits` bits and its count in the low
// 64 - key_bits. Half the bytes of a Slot to move, and room for the sort in
// the storage the entries leave: words[0, n) are sorted by their keys, with
// words[n, 2n) as room. The keys must be distinct.
void SortPackedSpill(uint64_t* words, size_t n, int key_bits);

// Whether entries of `key_bits`-bit keys and counts up to max_count fit
// the packed form.
inline bool FitsPacked(int key_bits, int64_t max_count) {
  const int count_bits = 64 - key_bits;
  return key_bits > 0 && count_bits > 0 && count_bits < 63 && max_count >= 0 &&
         (static_cast<uint64_t>(max_count) >> count_bits) == 0;
}

}  // namespace vocs

#endif  // VOCS_COOC_SPILL_SORT_H_
