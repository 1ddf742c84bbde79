// PairCountTable: the in-memory pair counts of a co-occurrence run.
//
// A pair is the 64-bit key (id1 << 32) | id2 of the ids its two terms have in
// the run's TermIdTable, so (x, y) and (y, x) are different keys. The table is
// open addressing with linear probing over slots of key and 64-bit count; a
// count of 0 marks an empty slot.
//
// Storage: fresh memory is expensive to fault in, and doubling all the way up
// to the spill threshold would fault in twice the final size. So the table
// doubles only through its small sizes; past them it jumps to the room the
// engine reserved for its whole spill threshold, and it keeps that storage
// when it is cleared, since a run that spills once fills it again. Storage is
// zeroed table memory (huge pages once it is large). Beyond the reserve the table
// still grows by doubling.
//
// TakeEntries hands the occupied slots to the spill in one contiguous block so
// that they can be sorted where they lie.
//
// One thread.
#ifndef VOCS_COOC_PAIR_COUNT_TABLE_H_
#define VOCS_COOC_PAIR_COUNT_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/table_memory.h"

namespace vocs {

class PairCountTable {
 public:
  struct Slot {
    uint64_t key;
    int64_t count;  // 0: empty
  };
  using Storage = TableArray<Slot>;

  static uint64_t Key(uint32_t id1, uint32_t id2) {
    return (static_cast<uint64_t>(id1) << 32) | id2;
  }

  PairCountTable() { Release(); }
  PairCountTable(const PairCountTable&) = delete;
  PairCountTable& operator=(const PairCountTable&) = delete;

  // Plans room for `entries` pairs: once the table outgrows its small
  // sizes, it takes that room in one step instead of doubling its way up.
  void Reserve(size_t entries);

  // Adds one occurrence of the pair.
  void Add(uint64_t key) {
    size_t i = SlotOf(key);
    for (;;) {
      Slot& s = slots_[i];
      if (s.count == 0) {
        s.key = key;
        s.count = 1;
        if (++size_ > grow_at_) Grow();
        return;
      }
      if (s.key == key) {
        ++s.count;
        return;
      }
      i = (i + 1) & mask_;
    }
  }

  // Hints the processor to fetch the slot where `key` starts its probe.
  void Prefetch(uint64_t key) const {
#if defined(__GNUC__)
    __builtin_prefetch(&slots_[SlotOf(key)]);
#else
    (void)key;
#endif
  }

  // The count of a pair, 0 when absent.
  int64_t Count(uint64_t key) const;

  // Calls f(key, count) for every pair, in no particular order.
  template <typename F>
  void ForEach(F f) const {
    for (size_t i = 0; i <= mask_; ++i) {
      if (slots_[i].count != 0) f(slots_[i].key, slots_[i].count);
    }
  }

  // Number of distinct pairs.
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return mask_ + 1; }

  // Moves the occupied slots to the front of the storage and returns them,
  // with the largest count among them in *max_count; the table must be
  // cleared before it is used again.
  Slot* TakeEntries(int64_t* max_count);
  // Empties the table, keeping its storage.
  void Clear();
  // Empties the table and gives its storage back.
  void Release();
  // Empties the table and hands its storage, whatever it holds, to the
  // caller; the table starts over small.
  Storage TakeStorage();

 private:

  // Zeroed storage for 2^bits slots; throws std::bad_alloc.
  static Storage Allocate(int bits);
  size_t SlotOf(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  // Moves every pair into new storage of 2^bits slots.
  void Rehash(int bits);
  void Grow();

  Storage slots_;
  size_t mask_ = 0;
  int shift_ = 0;
  size_t size_ = 0;
  size_t grow_at_ = 0;
  int reserve_bits_ = 0;
};

}  // namespace vocs

#endif  // VOCS_COOC_PAIR_COUNT_TABLE_H_
