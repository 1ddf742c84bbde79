// PartialTermCounts: the participation counts of a co-occurrence run, read
// from the partial results of its shards (`vocs run --shard K/N --partial`,
// or one partial of a whole run with --shard 1/1). A partial records every
// term's count over its records before the minimum frequency drops any pair,
// so the counts summed over all shards are the run's own, exact, even where
// its delivered result leaves pairs out.
//
// The partials must be every shard of one co-occurrence run (the checks of
// `vocs merge`); each is read in full and checked. The counts are then
// checked against the result's printed values like any source's
// (VerifyTermCounts), so partials of another run are refused there.
//
// Read-only after Read; any thread may read.
#ifndef VOCS_CLI_PARTIAL_TERM_COUNTS_H_
#define VOCS_CLI_PARTIAL_TERM_COUNTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/term_counts.h"

namespace vocs::cli {

class PartialTermCounts : public TermCountSource {
 public:
  // Reads the partials at `paths` (UTF-8 names). False with *error set when
  // one is refused, they are not all the shards of one run, or they are of
  // the frequency engine.
  bool Read(const std::vector<std::string>& paths, std::string* error);

  int64_t Count(std::string_view term) const override;
  int64_t Total() const override { return total_; }
  std::string Origin() const override { return origin_; }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::unordered_map<std::string, int64_t, Hash, std::equal_to<>> counts_;  // UTF-8 terms
  int64_t total_ = 0;
  std::string origin_;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_PARTIAL_TERM_COUNTS_H_
