// ReportData: what a report page shows, computed from a frequency result, a
// co-occurrence result or both, as the JSON the page's script draws from.
//
// Everything the page shows is computed here; the script only lays it out.
// Not thread-safe; the results must outlive the call.
#ifndef VOCS_CLI_REPORT_DATA_H_
#define VOCS_CLI_REPORT_DATA_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/association.h"
#include "cli/frequency_result.h"
#include "cli/pair_result.h"
#include "cli/term_counts.h"

namespace vocs::cli {

struct ReportInput {
  std::string title;
  std::string created;  // when the page was made, as people read it
  const FrequencyResult* frequency = nullptr;  // either may be null, not both
  const PairResult* pairs = nullptr;
  // The participation counts of the pairs' run. Null: derived from the
  // pairs themselves (DerivedTermCounts). Either way they are checked
  // against the result's printed values before any measure is computed.
  const TermCountSource* term_counts = nullptr;
  Measure measure = Measure::kLogLikelihood;  // the order the pairs are shown in first
  int64_t min_count = 3;      // pairs seen fewer times (both orders) are left out
  size_t network_pairs = 60;  // edges of the network picture at first
};

// How much of a large result goes into the page.
inline constexpr size_t kReportTermRows = 100000;    // the term table
inline constexpr size_t kReportDispersionTerms = 3000;  // points of the dispersion chart
inline constexpr size_t kReportPairsPerMeasure = 300;  // strongest pairs kept per measure

// The page's data. *notes receives, one per line, what could not be shown
// and why (for the command to print as well).
std::string ReportData(const ReportInput& input, std::string* notes);

}  // namespace vocs::cli

#endif  // VOCS_CLI_REPORT_DATA_H_
