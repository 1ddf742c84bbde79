// TermTable: the frequency engine's in-memory counts, one per distinct term.
//
// An open-addressing hash table with linear probing whose 32-byte slots hold
// everything a lookup needs: a term of up to eight bytes inline (one word,
// zero-padded, with its length), the term's 32-bit hash and its counts in
// narrow form (32-bit totals, 16-bit counts within one record). Slots are
// aligned so that none straddles a cache line: counting a short term touches
// one line. Longer terms keep their bytes in an arena of 1 MiB blocks and
// the slot points at them; the stored hash is compared before those bytes.
//
// A counter that would pass its narrow width moves its term to the wide
// form: a TermStats of 64-bit counters in a side array, which the slot then
// names. Results are exact whatever the counts.
//
// Growth doubles the slot array and moves the slots, so a term's position
// (its slot's index) is valid only until the next insertion that grows the
// table or Clear; SortedOrder and the accessors below work on positions.
// Clear keeps the slot array and the arena blocks for the next fill, so a
// run that spills many times allocates its memory once.
//
// Not thread-safe: one task on one thread.
#ifndef VOCS_FREQ_TERM_TABLE_H_
#define VOCS_FREQ_TERM_TABLE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/table_memory.h"

namespace vocs {

// The counts of one term, 64-bit: a long run over a large corpus can pass
// 2^32 occurrences of a frequent term.
struct TermStats {
  int64_t total = 0;         // occurrences so far
  int64_t records = 0;       // records that contain the term
  int64_t maxCount = 0;      // largest count in one finished record
  int64_t minCount = 0;      // smallest count in one finished record
  int64_t currentCount = 0;  // occurrences in lastRecord, not yet folded
  int32_t lastRecord = 0;    // the record the term was last seen in
};

// The hash the table uses.
uint32_t HashTerm(std::string_view term);

class TermTable {
 public:
  TermTable();
  ~TermTable();
  TermTable(const TermTable&) = delete;
  TermTable& operator=(const TermTable&) = delete;

  // Counts one occurrence of `term` in `record`. Records come in ascending
  // order: a term seen in a new record first folds its count in the previous
  // one into its largest and smallest counts. A new term starts with
  // maxCount 0 and minCount INT64_MAX (no finished record). `hash` must be
  // HashTerm(term).
  void Count(std::string_view term, uint32_t hash, int32_t record);
  void Count(std::string_view term, int32_t record) { Count(term, HashTerm(term), record); }
  // Hints that a term of this hash will be counted soon: starts loading its
  // first slot. Only affects speed.
  void Prefetch(uint32_t hash) const {
#if defined(__GNUC__)
    __builtin_prefetch(&slots_[hash & mask_], 1);
#else
    (void)hash;
#endif
  }
  // Starts loading the slot at `position`, for a walk in sorted order.
  void PrefetchPosition(uint32_t position) const {
#if defined(__GNUC__)
    __builtin_prefetch(&slots_[position]);
#else
    (void)position;
#endif
  }
  // The counts of `term`, if it is in the table.
  std::optional<TermStats> Find(std::string_view term) const;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The term and the counts at `position` (a position SortedOrder gave, not
  // moved since). The view stays valid while the position does.
  std::string_view Term(uint32_t position) const;
  TermStats Stats(uint32_t position) const;

  // Folds every term's count in its last record into its largest and
  // smallest counts.
  void FoldPendingCounts();

  // Fills *order with the position of every term, sorted by term in unsigned
  // byte order (a proper prefix first): the order of the spill files.
  void SortedOrder(std::vector<uint32_t>* order) const;

  // Forgets every term; keeps the memory for the next fill.
  void Clear();

  // Bytes held by the slot array, the wide counts and the arena.
  size_t MemoryUsage() const;

  // Lowers the narrow limits (the largest total and the largest count in
  // one record a slot holds before its term moves to the wide form), so
  // that tests reach the wide form without counting 2^32 terms. Both at
  // least 1.
  void SetNarrowLimitsForTesting(uint32_t total_limit, uint16_t count_limit) {
    total_limit_ = total_limit;
    count_limit_ = count_limit;
  }
  // Whether the term is held in the wide form. Tests only.
  bool IsWideForTesting(std::string_view term) const;

 private:
  // shape: 0 for an empty slot; 1 + length for a term held inline; kLong for
  // a term in the arena (`key` then holds the address of its length, a
  // uint32_t, followed by its bytes); kWide added when the counts are wide
  // (`total` then holds their index in wide_).
  static constexpr uint16_t kLong = 0x10;
  static constexpr uint16_t kWide = 0x100;
  static constexpr uint16_t kShapeMask = 0xFF;
  static constexpr size_t kInlineBytes = 8;
  struct alignas(32) Slot {
    uint64_t key;  // the term zero-padded, or the address of its bytes
    uint32_t hash;
    uint32_t total;
    uint32_t records;
    int32_t last_record;
    uint16_t current;    // occurrences in last_record
    uint16_t max_count;  // largest count in one finished record
    uint16_t min_count;  // smallest count in one finished record; 0: none yet
    uint16_t shape;
  };
  static_assert(sizeof(Slot) == 32);

  static constexpr size_t kArenaBlockSize = 1 << 20;

  // The shape and key a term has in its slot (the key of a long term is
  // unused here).
  static uint16_t ShapeOf(std::string_view term) {
    return term.size() <= kInlineBytes ? static_cast<uint16_t>(1 + term.size()) : kLong;
  }
  static const char* LongBytes(const Slot& slot, uint32_t* length);
  static bool SameLongTerm(const Slot& slot, std::string_view term);
  // The slot holding `term`, or the empty slot where it would go.
  Slot* Locate(std::string_view term, uint32_t hash) const;
  void Insert(Slot* slot, std::string_view term, uint32_t hash, int32_t record);
  // Moves the slot's counts to the wide form.
  void Widen(Slot* slot);
  static void CountWide(TermStats* stats, int32_t record);
  const char* CopyToArena(std::string_view term);
  void Grow();

  TableArray<Slot> slots_;  // mask_ + 1 slots
  size_t mask_ = 0;
  size_t size_ = 0;
  uint32_t total_limit_ = UINT32_MAX;
  uint16_t count_limit_ = UINT16_MAX;
  std::vector<TermStats> wide_;
  std::vector<std::unique_ptr<char[]>> arena_blocks_;
  size_t arena_block_ = 0;  // the arena block being filled
  size_t arena_used_ = 0;   // bytes used in it
};

}  // namespace vocs

#endif  // VOCS_FREQ_TERM_TABLE_H_
