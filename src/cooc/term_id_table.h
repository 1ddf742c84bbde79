// TermIdTable: the terms of one co-occurrence run, each under a small integer
// id, with the number of counted pairs each term took part in.
//
// The pair table keys pairs by the ids of their two terms, so every term is
// stored once however many pairs it belongs to. Terms live back to back in one
// arena; the open-addressing index holds the stored hash next to the id, and
// the bytes of a term are compared only when the hashes agree. Ids are dense,
// 0 to size() - 1, in the order the terms were first seen, and are never
// reused: the table lives for the whole run and is never spilled.
//
// The count of a term is the run's termCountTable: it starts at 0 and only the
// engine's CountPairTerm raises it. A term whose count is still 0 (the run has
// no writer, so counts are not gathered) is not in termCountTable.
//
// For the spill files the table also keeps the ids in ascending unsigned byte
// order of their terms; UpdateOrder brings that order up to date with the
// terms added since the last call.
//
// Views returned by Term stay valid until the next Intern. One thread.
#ifndef VOCS_COOC_TERM_ID_TABLE_H_
#define VOCS_COOC_TERM_ID_TABLE_H_

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
  uint32_t Find(std::string_view term) const;

  std::string_view Term(uint32_t id) const {
    const Entry& e = entries_[id];
    return std::string_view(arena_.data() + e.offset, e.length);
  }
  int64_t Count(uint32_t id) const { return entries_[id].count; }
  // Adds one counted pair to the term's count.
  void AddCount(uint32_t id) {
    if (entries_[id].count++ == 0) ++countedTerms_;
  }

  // Number of distinct terms (counted or not).
  size_t size() const { return entries_.size(); }
  // Number of terms with a count above 0: the size of termCountTable.
  size_t counted_terms() const { return countedTerms_; }

  // Sorts the ids added since the last call into the byte order of the terms.
  void UpdateOrder();
  // Position of a term in byte order, and the id at a position; valid for the
  // ids that existed at the last UpdateOrder.
  uint32_t Rank(uint32_t id) const { return rank_[id]; }
  uint32_t IdAtRank(uint32_t rank) const { return sorted_[rank]; }

 private:
  struct Entry {
    uint64_t offset;   // first byte in arena_
    uint32_t length;
    uint32_t hash;
    int64_t count;
  };

  static uint64_t Hash(std::string_view term);
  // The slot that holds `term`, or the empty slot where it would go.
  size_t Probe(std::string_view term, uint32_t hash) const;
  void Grow();

  std::string arena_;
  std::vector<Entry> entries_;
  // Index: (hash << 32) | (id + 1); 0 marks an empty slot.
  std::vector<uint64_t> slots_;
  size_t mask_ = 0;
  size_t countedTerms_ = 0;
  std::vector<uint32_t> sorted_;  // ids in byte order of their terms
  std::vector<uint32_t> rank_;    // position of each id in sorted_
};

}  // namespace vocs

#endif  // VOCS_COOC_TERM_ID_TABLE_H_
