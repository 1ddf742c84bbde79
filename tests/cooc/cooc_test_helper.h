// Helpers of the co-occurrence tests: sources, a writer that keeps what it is
// given, and a plain model of the engine's results.
#ifndef VOCS_TESTS_COOC_COOC_TEST_HELPER_H_
#define VOCS_TESTS_COOC_COOC_TEST_HELPER_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "job/stat_source.h"
#include "output/result_writer.h"
#include "support/capturing_writer.h"

namespace vocs::testing {

// A source as the job leaves it for the task: content padded with 0 bytes.
StatSource MakeSource(int32_t mode, std::string content, std::string mode_text = "");

// The co-occurrence results computed the obvious way: an ordered map of
// string pairs and a map of term counts, fed with the pairs of each record.
class CooccurrenceModel {
 public:
  // Adds the pairs of one record of a single source whose terms are given.
  void AddRecord(const std::vector<std::string>& terms);
  // Adds the cross product of two sources' terms.
  void AddRecordPair(const std::vector<std::string>& first, const std::vector<std::string>& second);

  // The expected result file of a CooccurrenceFileWriter: header and one
  // line per pair with at least min_frequency occurrences, values formatted
  // with snprintf.
  std::string ResultFile(int64_t min_frequency = 0) const;

 private:
  void Add(const std::string& a, const std::string& b);

  std::map<std::pair<std::string, std::string>, int64_t> pairs_;
  std::map<std::string, int64_t> term_counts_;
  int64_t total_ = 0;
};

// The header line of a co-occurrence result file, CR LF included.
extern const char kCooccurrenceHeader[];

// The cut of a term to 256 bytes as the engine counts it, written out
// independently of CutTerm.
std::string CutLikeEngine(const std::string& term);

}  // namespace vocs::testing

#endif  // VOCS_TESTS_COOC_COOC_TEST_HELPER_H_
