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

#include "cooc/pair_count_table.h"

namespace vocs {

// Sorts entries[0, n) by key in place; only the `bits` low bits of the keys
// may be set. entries[n, room) is free to use.
void SortSpillEntries(PairCountTable::Slot* entries, size_t n, size_t room, int bits);

}  // namespace vocs

#endif  // VOCS_COOC_SPILL_SORT_H_
