// TermIdTable: the terms of one co-occurrence run, each under a small integer
// id, with the number of counted pairs each term took part in.
//
// The pair table keys pairs by the ids of their two terms, so every term is
// stored once however many pairs it belongs to. Terms live back to back in one
// arena. The open-addressing index keeps, in each 16-byte slot, the id, a tag
// made of the stored hash and the term's length, and the term's first 8
// bytes: a term of up to 8 bytes is found without touching the arena, a
// longer one is compared with the arena only once tag and first bytes agree.
// Ids are dense, 0 to size() - 1, in the order the terms were first seen, and
// are never reused: the table lives for the whole run and is never spilled.
//
// The count of a term is the run's termCountTable: it starts at 0 and only the
// engine's counting of a pair raises it (AddCount). A term whose count is
// still 0 (the run has no writer, so counts are not gathered) is not in
// termCountTable.
//
// For the spill files the table also keeps the ids in ascending unsigned byte
// order of their terms; UpdateOrder brings that order up to date with the
// terms added since the last call.
//
// Lookups can be split in two so that a caller can fetch the slots of many
// terms at once: Hash, PrefetchSlot, then FindHashed.
//
// Views returned by Term stay valid until the next Intern. One thread.
#ifndef VOCS_COOC_TERM_ID_TABLE_H_
#define VOCS_COOC_TERM_ID_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vocs {

class TermIdTable {
 public:
  static constexpr uint32_t kNoTerm = 0xFFFFFFFFu;

  TermIdTable();
  TermIdTable(const TermIdTable&) = delete;
  TermIdTable& operator=(const TermIdTable&) = delete;

  // The id of `term`, adding it with count 0 when it is new.
  uint32_t Intern(std::string_view term);
  // The id of `term`, or kNoTerm.
  uint32_t Find(std::string_view term) const { return FindHashed(term, Hash(term)); }
  // Find with the term's Hash computed beforehand.
  uint32_t FindHashed(std::string_view term, uint32_t hash) const;
  static uint32_t Hash(std::string_view term);
  // Hints the processor to fetch the slot where a term of this hash begins
  // its probe, and the count of an id.
  void PrefetchSlot(uint32_t hash) const;
  void PrefetchCount(uint32_t id) const;

  std::string_view Term(uint32_t id) const {
    const Entry& e = entries_[id];
    return std::string_view(arena_.data() + e.offset, e.length);
  }
  int64_t Count(uint32_t id) const { return counts_[id]; }
  // Adds one counted pair to the term's count.
  void AddCount(uint32_t id) {
    if (counts_[id]++ == 0) ++counted_terms_;
  }

  // Adds `n` counted pairs at once (the pairs of a record, or a count read
  // back from a partial result).
  void AddCounts(uint32_t id, int64_t n) {
    if (n > 0 && counts_[id] == 0) ++counted_terms_;
    counts_[id] += n;
  }

  // Number of distinct terms (counted or not).
  size_t size() const { return entries_.size(); }
  // Number of terms with a count above 0: the size of termCountTable.
  size_t counted_terms() const { return counted_terms_; }

  // Sorts the ids added since the last call into the byte order of the terms.
  void UpdateOrder();
  // Position of a term in byte order; valid for the ids that existed at the
  // last UpdateOrder.
  uint32_t Rank(uint32_t id) const { return rank_[id]; }
  // The id at a position in byte order (the inverse of Rank).
  uint32_t IdAtRank(uint32_t rank) const { return sorted_[rank]; }
  // The term at a position in byte order, from a copy of the terms laid out
  // in that order (a spill reads its terms in order of their ranks), and its
  // OrderPrefix. Valid until the next UpdateOrder.
  std::string_view TermAtRank(uint32_t rank) const {
    const OrderedTerm& t = ordered_[rank];
    return std::string_view(ordered_arena_.data() + t.begin, t.length);
  }
  uint64_t PrefixAtRank(uint32_t rank) const { return ordered_[rank].prefix; }
  // Hints the processor to fetch where TermAtRank finds the term, and then,
  // once that has arrived, the term's bytes.
  void PrefetchRank(uint32_t rank) const {
#if defined(__GNUC__)
    __builtin_prefetch(&ordered_[rank]);
#else
    (void)rank;
#endif
  }
  void PrefetchTermAtRank(uint32_t rank) const {
#if defined(__GNUC__)
    __builtin_prefetch(ordered_arena_.data() + ordered_[rank].begin);
#else
    (void)rank;
#endif
  }

 private:
  struct Entry {
    uint64_t offset;  // first byte in arena_
    uint32_t length;
    uint32_t hash;
  };
  struct Slot {
    uint32_t tag;     // hash with its low byte replaced by min(length, 255)
    uint32_t id1;     // id + 1; 0 marks an empty slot
    uint64_t prefix;  // OrderPrefix of the term
  };

  static uint32_t Tag(uint32_t hash, size_t length) {
    return (hash & ~uint32_t{0xFF}) | static_cast<uint32_t>(length < 255 ? length : 255);
  }
  // The slot that holds `term`, or the empty slot where it would go.
  size_t Probe(std::string_view term, uint32_t hash) const;
  void Grow();

  std::string arena_;
  std::vector<Entry> entries_;
  std::vector<int64_t> counts_;
  std::vector<Slot> slots_;
  size_t mask_ = 0;
  size_t counted_terms_ = 0;
  std::vector<uint32_t> sorted_;  // ids in byte order of their terms
  std::vector<uint32_t> rank_;    // position of each id in sorted_
  // A term in byte order: where it lies in ordered_arena_, and its
  // OrderPrefix, together so that a spill finds both in one place.
  struct OrderedTerm {
    uint64_t prefix;
    uint64_t begin;
    uint32_t length;
  };
  std::string ordered_arena_;  // the terms in byte order
  std::vector<OrderedTerm> ordered_;
};

}  // namespace vocs

#endif  // VOCS_COOC_TERM_ID_TABLE_H_
