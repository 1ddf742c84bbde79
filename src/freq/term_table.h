// TermTable: the frequency engine's in-memory counts, one TermStats per
// distinct term.
//
// An open-addressing hash table with linear probing. The slot array holds only
// a 32-bit hash and an entry number; the entries (one cache line each: the
// stats and a term of up to 12 bytes) live in fixed-size blocks that never
// move, and longer terms in an arena of 1 MiB blocks, so that growing the
// table rehashes eight bytes per entry and never copies terms or counts. A
// lookup compares the stored hash before the bytes. Looking up a term that is
// already present allocates nothing.
//
// Clear keeps every block and the slot array for the next fill, so a run
// that spills many times allocates its memory once.
//
// Entry numbers are dense (0 .. size()-1, in insertion order) and stay valid
// until Clear; the views returned by Term stay valid until Clear as well.
//
// Not thread-safe: one task on one thread.
#ifndef VOCS_FREQ_TERM_TABLE_H_
#define VOCS_FREQ_TERM_TABLE_H_

#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "platform/table_memory.h"

namespace vocs {

// The counts of one term. The counters are 64-bit: a long run over a large
// corpus can pass 2^31 occurrences of a frequent term.
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

  // The stats of `term`. When the term is new it is copied into the table
  // with zeroed stats and *inserted is set; the caller fills them in. The
  // pointer stays valid until Clear. `hash` must be HashTerm(term).
  TermStats* FindOrInsert(std::string_view term, uint32_t hash, bool* inserted);
  TermStats* FindOrInsert(std::string_view term, bool* inserted) {
    return FindOrInsert(term, HashTerm(term), inserted);
  }
  // Hints that a term of this hash will be looked up soon. PrefetchSlot
  // starts loading its first slot; PrefetchEntry, issued later, reads that
  // slot and starts loading the entry it names. Both only affect speed.
  void PrefetchSlot(uint32_t hash) const;
  void PrefetchEntry(uint32_t hash) const;
  // Starts loading entry `index` (0 <= index < size()), for a walk in an
  // order other than the entries' own.
  void PrefetchIndex(uint32_t index) const;
  // The stats of `term`, or null.
  TermStats* Find(std::string_view term);

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The term and the stats of entry `index` (0 <= index < size()).
  std::string_view Term(uint32_t index) const;
  TermStats& Stats(uint32_t index) { return EntryAt(index).stats; }
  const TermStats& Stats(uint32_t index) const { return EntryAt(index).stats; }

  // Calls f(TermStats&) for every entry, in entry order.
  template <typename F>
  void ForEachStats(F f) {
    for (size_t b = 0; b < entry_blocks_.size(); ++b) {
      const size_t begin = b * kEntriesPerBlock;
      if (begin >= size_) break;
      const size_t n = size_ - begin < kEntriesPerBlock ? size_ - begin : kEntriesPerBlock;
      for (size_t i = 0; i < n; ++i) f(EntryAt(static_cast<uint32_t>(begin + i)).stats);
    }
  }

  // Fills *order with every entry number, sorted by term in unsigned byte
  // order (a proper prefix first): the order of the spill files.
  void SortedOrder(std::vector<uint32_t>* order) const;

  // Forgets every term; keeps the memory for the next fill.
  void Clear();

  // Bytes held by the table's blocks and arrays (not the sort buffer).
  size_t MemoryUsage() const;

 private:
  // One cache line: the stats and, for terms of up to kInlineBytes, the
  // term itself (zero-padded), so that a hit touches the slot and this line
  // only. A longer term keeps a pointer into the arena in `bytes`.
  static constexpr size_t kInlineBytes = 12;
  struct alignas(64) Entry {
    TermStats stats;
    uint32_t length;
    char bytes[kInlineBytes];
  };
  struct Slot {
    uint32_t hash;
    uint32_t entry_plus_one;  // 0: empty
  };

  static constexpr size_t kEntriesPerBlock = 1 << 16;
  static constexpr size_t kArenaBlockSize = 1 << 20;

  // Room for one entry. Blocks are table memory, which is not written when
  // it is allocated, so the pages of a block are touched only as entries
  // fill it: a small run stays small, and a new block costs nothing until it
  // is used. An entry is constructed in its room when its term is inserted.
  struct alignas(Entry) EntryRoom {
    unsigned char bytes[sizeof(Entry)];
  };

  Entry& EntryAt(uint32_t index) const {
    EntryRoom& room = entry_blocks_[index / kEntriesPerBlock][index % kEntriesPerBlock];
    return *std::launder(reinterpret_cast<Entry*>(room.bytes));
  }
  const char* CopyToArena(std::string_view term);
  static bool SameTerm(const Entry& entry, std::string_view term);
  void Grow();

  TableArray<Slot> slots_;  // mask_ + 1 slots
  size_t mask_ = 0;
  size_t size_ = 0;
  std::vector<TableArray<EntryRoom>> entry_blocks_;
  std::vector<std::unique_ptr<char[]>> arena_blocks_;
  size_t arena_block_ = 0;  // the arena block being filled
  size_t arena_used_ = 0;   // bytes used in it
};

}  // namespace vocs

#endif  // VOCS_FREQ_TERM_TABLE_H_
