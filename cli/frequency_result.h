// FrequencyResult: the terms of a frequency result, held whole, and what a
// report computes from them: the number of records of the run, the Zipf
// exponent of the rank-frequency curve, and how evenly a term would spread
// over the records by chance.
//
// Threads: built by one thread, then read-only.
#ifndef VOCS_CLI_FREQUENCY_RESULT_H_
#define VOCS_CLI_FREQUENCY_RESULT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/result_reader.h"

namespace vocs::cli {

struct TermStats {
  std::string term;
  int64_t frequency = 0;
  // The other columns; -1 in a result that has only the term and its
  // frequency (a run over files).
  int64_t records = -1;  // 出现行数
  int64_t max = -1;      // 最大值
  int64_t hypomin = -1;  // 次小值
  int64_t min = -1;      // 最小值
  int64_t average = -1;  // 平均值, in ten-thousandths
};

class FrequencyResult {
 public:
  // Reads every row of a frequency result. Rows without a term and a
  // frequency are counted in unreadable_rows() and left out. False with
  // *error on a read error, when the result is not a frequency result, or
  // when its frequencies add up past 64 bits (no run writes such a file).
  bool Read(ResultReader* reader, std::string* error);

  const std::string& origin() const { return origin_; }
  const std::vector<TermStats>& terms() const { return terms_; }
  std::vector<TermStats>& mutable_terms() { return terms_; }
  size_t unreadable_rows() const { return unreadable_rows_; }
  // Whether every term has all seven columns.
  bool has_records() const { return has_records_; }
  // The sum of all frequencies: the term occurrences the result holds.
  int64_t total_frequency() const { return total_frequency_; }

 private:
  std::string origin_;
  std::vector<TermStats> terms_;
  size_t unreadable_rows_ = 0;
  bool has_records_ = true;
  int64_t total_frequency_ = 0;
};

// The number of records of the run, found from the columns that depend on
// it: every average is frequency / records printed with "%0.4f", and 最小值
// is 次小值 exactly for the terms in every record. `low` == `high` when one
// number fits every row; a range when several do; both 0 when the result
// cannot tell (no averages, or rows that no number fits).
struct RecordCountRange {
  int64_t low = 0;
  int64_t high = 0;
  bool exact() const { return low > 0 && low == high; }
};
RecordCountRange DeriveRecordCount(const std::vector<TermStats>& terms);

// A least-squares line through the rank-frequency curve on log-log axes:
// log10 f = intercept - exponent * log10 r. Ranks of equal frequency make one
// point, at their middle rank, so that the long flat steps of rare
// frequencies do not outweigh the rest; frequencies of 1 are left out (the
// terms seen once lie on one step that says little of the slope).
struct ZipfFit {
  bool fitted = false;  // false: fewer than three points to fit
  double exponent = 0;
  double intercept = 0;
  double r_squared = 0;
  int64_t first_rank = 0;  // the fit range, in ranks
  int64_t last_rank = 0;
  int64_t highest_frequency = 0;  // and in frequencies
  int64_t lowest_frequency = 0;
  size_t points = 0;
};
// `frequencies` in descending order.
ZipfFit FitZipf(const std::vector<int64_t>& frequencies);

// The records a term of `frequency` occurrences would be found in, on
// average, if its occurrences fell on `records` records at random, each
// independently: records * (1 - (1 - 1/records)^frequency).
double EvenlySpreadRecords(int64_t frequency, double records);

}  // namespace vocs::cli

#endif  // VOCS_CLI_FREQUENCY_RESULT_H_
