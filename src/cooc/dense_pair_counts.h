// DensePairCounts: the counts of the pairs whose two terms both have small
// ids, in a directly indexed square array: no hashing, no probing, no stored
// keys.
//
// Ids are given in the order terms are first seen, so on text with a skewed
// distribution the small ids are mostly the frequent terms, and their pairs
// are a large share of all pair occurrences. A pair (id1, id2) with both ids
// below kSide is counted in cell id1 * kSide + id2; every other pair belongs
// to the PairCountTable. The engine counts the pairs this array holds among
// its distinct pairs (size(): the cells above zero), so the spills come at
// the same pairs as with the hash table alone, and a spill takes the array's
// pairs together with the table's (MoveTo).
//
// Cells are 32-bit; a count that would pass kCellLimit keeps the rest in a
// side map (only a pair occurring four billion times between two spills gets
// there). The array is table memory, allocated with the first pair and
// faulted in only where rows are used; MoveTo and Clear touch only the rows
// up to the largest id1 seen.
//
// One thread.
#ifndef VOCS_COOC_DENSE_PAIR_COUNTS_H_
#define VOCS_COOC_DENSE_PAIR_COUNTS_H_

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "cooc/pair_count_table.h"
#include "platform/table_memory.h"

namespace vocs {

class DensePairCounts {
 public:
  static constexpr int kSideBits = 11;
  static constexpr uint32_t kSide = uint32_t{1} << kSideBits;
  static constexpr uint32_t kCellLimit = 0xFFFFFFFFu;

  DensePairCounts() = default;
  DensePairCounts(const DensePairCounts&) = delete;
  DensePairCounts& operator=(const DensePairCounts&) = delete;

  // Whether the pair of the PairCountTable key (id1 << 32) | id2 is counted
  // here.
  static bool Covers(uint64_t key) {
    constexpr uint64_t kOutside = ~((uint64_t{kSide - 1} << 32) | (kSide - 1));
    return (key & kOutside) == 0;
  }

  // Adds one occurrence of a covered pair; true when the pair was not held
  // before. Throws std::bad_alloc when the array cannot be allocated.
  bool Add(uint64_t key) {
    if (!cells_) Allocate();
    const uint32_t row = static_cast<uint32_t>(key >> 32);
    if (row >= rows_used_) rows_used_ = row + 1;
    uint32_t& cell = cells_[CellOf(key)];
    if (cell == cell_limit_) {
      ++overflow_[CellOf(key)];
      return false;
    }
    if (cell++ != 0) return false;
    ++size_;
    return true;
  }

  void Prefetch(uint64_t key) const {
#if defined(__GNUC__)
    if (cells_) __builtin_prefetch(&cells_[CellOf(key)]);
#else
    (void)key;
#endif
  }

  // Number of pairs held (cells above zero).
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The count of a covered pair, 0 when absent.
  int64_t Count(uint64_t key) const;

  // Calls f(key, count) for every pair held, by id1 and then id2.
  template <typename F>
  void ForEach(F f) const {
    for (uint32_t row = 0; row < rows_used_; ++row) {
      const uint32_t* cells = &cells_[size_t{row} << kSideBits];
      for (uint32_t id2 = 0; id2 < kSide; ++id2) {
        if (cells[id2] != 0) f(PairCountTable::Key(row, id2), CountAt(row, id2, cells[id2]));
      }
    }
  }

  // Writes every pair held to out[0, size()) as table slots, raises
  // *max_count to the largest count among them, and empties the array.
  void MoveTo(PairCountTable::Slot* out, int64_t* max_count);
  // Empties the array, keeping its storage.
  void Clear();
  // Empties the array and gives its storage back.
  void Release();

  // Makes a cell saturate at `limit` instead of kCellLimit, so that the side
  // map can be reached in a test.
  void SetCellLimitForTesting(uint32_t limit) { cell_limit_ = limit; }

 private:
  static size_t CellOf(uint64_t key) {
    return (static_cast<size_t>(key >> 32) << kSideBits) | static_cast<size_t>(key & (kSide - 1));
  }
  int64_t CountAt(uint32_t row, uint32_t id2, uint32_t cell) const;
  void Allocate();

  TableArray<uint32_t> cells_;
  uint32_t rows_used_ = 0;
  size_t size_ = 0;
  uint32_t cell_limit_ = kCellLimit;
  std::unordered_map<size_t, int64_t> overflow_;  // by cell: the count past the limit
};

}  // namespace vocs

#endif  // VOCS_COOC_DENSE_PAIR_COUNTS_H_
