#include "cooc/pair_count_table.h"

#include <algorithm>

namespace vocs {

namespace {

constexpr int kInitialBits = 12;

}  // namespace

void PairCountTable::Release() {
  std::vector<Slot>(size_t{1} << kInitialBits, Slot{0, 0}).swap(slots_);
  mask_ = slots_.size() - 1;
  shift_ = 64 - kInitialBits;
  growAt_ = slots_.size() / 10 * 7;
  size_ = 0;
}

int64_t PairCountTable::Count(uint64_t key) const {
  for (size_t i = SlotOf(key);; i = (i + 1) & mask_) {
    const Slot& s = slots_[i];
    if (s.count == 0) return 0;
    if (s.key == key) return s.count;
  }
}

void PairCountTable::Grow() {
  std::vector<Slot> old(slots_.size() * 2, Slot{0, 0});
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  --shift_;
  growAt_ = slots_.size() / 10 * 7;
  for (const Slot& s : old) {
    if (s.count == 0) continue;
    size_t i = SlotOf(s.key);
    while (slots_[i].count != 0) i = (i + 1) & mask_;
    slots_[i] = s;
  }
}

PairCountTable::Slot* PairCountTable::TakeEntries() {
  size_t w = 0;
  for (size_t r = 0; r < slots_.size(); ++r) {
    if (slots_[r].count != 0) slots_[w++] = slots_[r];
  }
  return slots_.data();
}

void PairCountTable::Clear() {
  std::fill(slots_.begin(), slots_.end(), Slot{0, 0});
  size_ = 0;
}

}  // namespace vocs
