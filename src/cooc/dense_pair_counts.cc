#include "cooc/dense_pair_counts.h"

#include <algorithm>
#include <cstring>

namespace vocs {

void DensePairCounts::Allocate() { cells_ = MakeTableArray<uint32_t>(size_t{kSide} * kSide); }

int64_t DensePairCounts::CountAt(uint32_t row, uint32_t id2, uint32_t cell) const {
  int64_t count = cell;
  if (!overflow_.empty()) {
    const auto it = overflow_.find((size_t{row} << kSideBits) | id2);
    if (it != overflow_.end()) count += it->second;
  }
  return count;
}

int64_t DensePairCounts::Count(uint64_t key) const {
  if (!cells_) return 0;
  const uint32_t row = static_cast<uint32_t>(key >> 32);
  const uint32_t id2 = static_cast<uint32_t>(key & (kSide - 1));
  return CountAt(row, id2, cells_[CellOf(key)]);
}

void DensePairCounts::MoveTo(PairCountTable::Slot* out, int64_t* max_count) {
  int64_t max = *max_count;
  size_t w = 0;
  for (uint32_t row = 0; row < rows_used_; ++row) {
    uint32_t* cells = &cells_[size_t{row} << kSideBits];
    for (uint32_t id2 = 0; id2 < kSide; ++id2) {
      if (cells[id2] == 0) continue;
      const int64_t count = CountAt(row, id2, cells[id2]);
      max = std::max(max, count);
      out[w++] = PairCountTable::Slot{PairCountTable::Key(row, id2), count};
      cells[id2] = 0;
    }
  }
  *max_count = max;
  rows_used_ = 0;
  size_ = 0;
  overflow_.clear();
}

void DensePairCounts::Clear() {
  if (cells_ && rows_used_ > 0) {
    std::memset(cells_.get(), 0, (size_t{rows_used_} << kSideBits) * sizeof(uint32_t));
  }
  rows_used_ = 0;
  size_ = 0;
  overflow_.clear();
}

void DensePairCounts::Release() {
  cells_.reset();
  rows_used_ = 0;
  size_ = 0;
  overflow_.clear();
}

}  // namespace vocs
