#include "cooc/pair_count_table.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace vocs {

namespace {

constexpr int kInitialBits = 12;
// A reserve never asks for more than 2^28 slots (4 GiB) at once.
constexpr int kMaxReserveBits = 28;
// Up to 2^22 slots (64 MiB) the table doubles; then it takes its reserve.
// A corpus of a few thousand records (one to three million distinct pairs)
// stays within that, and fresh memory is costly enough that taking the
// whole 128 MiB reserve for it cost more than the run's counting.
constexpr int kJumpBits = 22;

// The table holds at most 7 pairs in 10 slots.
size_t GrowAt(size_t slots) { return slots / 10 * 7; }

}  // namespace

PairCountTable::Storage PairCountTable::Allocate(int bits) {
  return MakeTableArray<Slot>(size_t{1} << bits);
}

void PairCountTable::Release() {
  slots_ = Allocate(kInitialBits);
  mask_ = (size_t{1} << kInitialBits) - 1;
  shift_ = 64 - kInitialBits;
  grow_at_ = GrowAt(mask_ + 1);
  size_ = 0;
}

PairCountTable::Storage PairCountTable::TakeStorage() {
  Storage storage = std::move(slots_);
  Release();
  return storage;
}

void PairCountTable::Reserve(size_t entries) {
  int bits = kInitialBits;
  while (bits < kMaxReserveBits && GrowAt(size_t{1} << bits) < entries) ++bits;
  reserve_bits_ = bits;
}

void PairCountTable::Grow() {
  const int next = 64 - shift_ + 1;
  if (next >= kJumpBits && reserve_bits_ > next) {
    try {
      Rehash(reserve_bits_);
      return;
    } catch (const std::bad_alloc&) {
      // Not fatal: the table doubles as far as it has to.
    }
  }
  Rehash(next);
}

int64_t PairCountTable::Count(uint64_t key) const {
  for (size_t i = SlotOf(key);; i = (i + 1) & mask_) {
    const Slot& s = slots_[i];
    if (s.count == 0) return 0;
    if (s.key == key) return s.count;
  }
}

void PairCountTable::Rehash(int bits) {
  Storage old = Allocate(bits);
  old.swap(slots_);
  const size_t old_slots = mask_ + 1;
  mask_ = (size_t{1} << bits) - 1;
  shift_ = 64 - bits;
  grow_at_ = GrowAt(mask_ + 1);
  for (size_t r = 0; r < old_slots; ++r) {
    const Slot& s = old[r];
    if (s.count == 0) continue;
    size_t i = SlotOf(s.key);
    while (slots_[i].count != 0) i = (i + 1) & mask_;
    slots_[i] = s;
  }
}

PairCountTable::Slot* PairCountTable::TakeEntries(int64_t* max_count) {
  size_t w = 0;
  int64_t max = 0;
  for (size_t r = 0; r <= mask_; ++r) {
    if (slots_[r].count != 0) {
      max = std::max(max, slots_[r].count);
      slots_[w++] = slots_[r];
    }
  }
  *max_count = max;
  return slots_.get();
}

void PairCountTable::Clear() {
  std::memset(static_cast<void*>(slots_.get()), 0, (mask_ + 1) * sizeof(Slot));
  size_ = 0;
}

}  // namespace vocs
