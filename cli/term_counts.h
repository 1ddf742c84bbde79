// TermCountSource: the participation counts of a co-occurrence run, which
// association measures need exactly: for every term, how many places of pair
// occurrences it filled (on either side; twice for a pair of a term with
// itself), and the total over all terms (twice the number of pair
// occurrences). These are the counts the run's delivery divided by for
// Support1, Support2 and Reliability.
//
// A result holds them only implicitly. The one source today derives them
// from a complete result's own pairs (DerivedTermCounts, pair_result.h); a
// source that reads them from where a run recorded them can stand in its
// place. Whatever the source, its counts are checked against the result's
// printed values before any measure is computed (VerifyTermCounts), so
// counts that belong to another run, or to a result that leaves out pairs,
// are refused rather than used.
//
// Implementations are read-only after construction; any thread may read.
#ifndef VOCS_CLI_TERM_COUNTS_H_
#define VOCS_CLI_TERM_COUNTS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vocs::cli {

class TermCountSource {
 public:
  virtual ~TermCountSource() = default;

  // The term's participation count; 0 for a term the source does not know.
  virtual int64_t Count(std::string_view term) const = 0;
  // The total of all participation counts.
  virtual int64_t Total() const = 0;
  // Where the counts come from, for people: "derived from the 9,812 pairs of
  // the result".
  virtual std::string Origin() const = 0;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_TERM_COUNTS_H_
