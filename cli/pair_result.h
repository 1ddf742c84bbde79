// PairResult: every pair of a co-occurrence result, held whole so that the
// participation counts can be derived from it and association measures
// computed for it; and ScoredPair: two terms with the counts of both their
// orders and their measures.
//
// Terms are interned: a row holds two term ids, its count and its three
// printed values (Support1, Support2, Reliability) in ten-thousandths, about
// 32 bytes a row plus each distinct term once.
//
// Threads: built by one thread, then read-only.
#ifndef VOCS_CLI_PAIR_RESULT_H_
#define VOCS_CLI_PAIR_RESULT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/association.h"
#include "cli/result_reader.h"
#include "cli/term_counts.h"

namespace vocs::cli {

struct PairRow {
  uint32_t term1 = 0;
  uint32_t term2 = 0;
  int64_t count = 0;
  // Support1, Support2, Reliability in ten-thousandths; -1 when the row's
  // text is not a "%0.4f" value.
  int32_t values[3] = {-1, -1, -1};
};

class PairResult {
 public:
  // The most pair occurrences a result may hold: the participation counts
  // derived from it add every count twice, and must still fit in 64 bits.
  static constexpr int64_t kMaxTotalCount = INT64_MAX / 2;

  // Reads every row of a co-occurrence result. Rows without two terms and a
  // count are counted in unreadable_rows() and left out. False with *error
  // on a read error, when the result is not a co-occurrence result, or when
  // its counts add up to more than kMaxTotalCount (no run makes such a
  // file).
  bool Read(ResultReader* reader, std::string* error);

  const std::string& origin() const { return origin_; }
  const std::vector<PairRow>& rows() const { return rows_; }
  size_t unreadable_rows() const { return unreadable_rows_; }
  size_t term_count() const { return terms_.size(); }
  std::string_view Term(uint32_t id) const { return terms_[id]; }
  // The id of a term of the result; kNoTerm when the result does not hold it.
  static constexpr uint32_t kNoTerm = UINT32_MAX;
  uint32_t Find(std::string_view term) const;
  // The sum of all pair counts: the pair occurrences the result holds.
  int64_t total_count() const { return total_count_; }

  // Adds one row, as Read does for each row it reads.
  void AddRow(std::string_view term1, std::string_view term2, int64_t count,
              const int32_t (&values)[3]);

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  uint32_t Intern(std::string_view term);

  std::string origin_;
  std::vector<PairRow> rows_;
  std::vector<std::string> terms_;
  std::unordered_map<std::string, uint32_t, Hash, std::equal_to<>> ids_;
  size_t unreadable_rows_ = 0;
  int64_t total_count_ = 0;
};

// The participation counts of a complete result, summed from its pairs: a
// term's count is the sum of the counts of the pairs it is in, on either
// side (twice for a pair with itself); the total is twice the sum of all
// counts. They equal the run's own counts only when the result holds every
// pair of the run, which VerifyTermCounts checks.
class DerivedTermCounts : public TermCountSource {
 public:
  // `result` must outlive this object.
  explicit DerivedTermCounts(const PairResult& result);

  int64_t Count(std::string_view term) const override;
  int64_t Total() const override { return total_; }
  std::string Origin() const override;
 private:
  const PairResult& result_;
  std::vector<int64_t> counts_;
  int64_t total_ = 0;
};

// Whether `counts` give every row of `result` the Support1, Support2 and
// Reliability it prints, computed as the run's delivery computes them. False
// with *reason (naming the first row that disagrees, and what that means)
// when they do not, or when rows could not be read.
bool VerifyTermCounts(const PairResult& result, const TermCountSource& counts,
                      std::string* reason);

// Two terms of a result with the counts of both their orders. term1 is the
// term that comes first in the more frequent order.
struct ScoredPair {
  uint32_t term1 = 0;
  uint32_t term2 = 0;
  int64_t count = 0;    // c(term1, term2)
  int64_t reverse = 0;  // c(term2, term1); 0 for a term with itself
  int64_t n1 = 0;       // participation counts of term1 and term2
  int64_t n2 = 0;
  Association measures;

  // The pair occurrences of the two terms in either order.
  int64_t together() const { return count + reverse; }
};

// Every two terms of `result` that occur together, once, with the counts of
// both orders; participation counts and measures not yet set.
std::vector<ScoredPair> CombineOrders(const PairResult& result);

// Sets the participation counts and the measures of `pairs` from `counts`.
// False with *error when the counts cannot form a contingency table for
// some pair (they are not those of the run).
bool MeasurePairs(const PairResult& result, const TermCountSource& counts,
                  std::vector<ScoredPair>* pairs, std::string* error);

double MeasureOf(const ScoredPair& pair, Measure measure);

// Whether `a` is the stronger pair by `measure`: ties go by the count of
// both orders, then by the terms' bytes, so that an order never depends on
// how the pairs were found.
bool RanksBefore(const PairResult& result, Measure measure, const ScoredPair& a,
                 const ScoredPair& b);
// Sorts the strongest pairs first (RanksBefore).
void RankPairs(const PairResult& result, Measure measure, std::vector<ScoredPair>* pairs);

}  // namespace vocs::cli

#endif  // VOCS_CLI_PAIR_RESULT_H_
