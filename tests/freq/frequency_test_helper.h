// Helpers for the frequency engine's tests: a writer that captures what it is
// given, renderings of tables and files as short strings, a reference counter
// written the obvious way, and a driver that runs a task over records without
// a job.
#ifndef VOCS_TESTS_FREQ_FREQUENCY_TEST_HELPER_H_
#define VOCS_TESTS_FREQ_FREQUENCY_TEST_HELPER_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "freq/frequency_task.h"
#include "output/result_writer.h"
#include "support/capturing_writer.h"

namespace vocs::testing {

// "term=total,records,max,min" per term in unsigned byte order, joined by
// spaces; the table must have been folded.
std::string DumpTable(const TermTable& table);

// The counts of a reference counter written the obvious way.
struct ModelStats {
  int64_t total = 0;
  int64_t records = 0;
  int64_t maxCount = 0;
  int64_t minCount = 0;
};
using Model = std::map<std::string, ModelStats>;
// Adds one record, given as its terms.
void AddToModel(const std::vector<std::string>& terms, Model* model);
// The result file the engine must deliver for `model` over `record_count`
// records: the header and one CR LF line per term.
std::string ExpectedResultFile(const Model& model, int32_t record_count,
                               int64_t min_frequency = 0);

// Runs `task` over records of one source of the given mode without a job:
// SetRecordCount, Begin/Process/EndRecord per record, Finish, DeliverResults.
// Returns the first non-zero code, or 0.
int RunRecords(FrequencyTask* task, const std::vector<std::string>& records, int32_t mode,
               const std::string& mode_text = "");

// Lines of a file, each without its LF; "<missing>" when it does not open.
std::vector<std::string> FileLines(const std::string& path);

}  // namespace vocs::testing

#endif  // VOCS_TESTS_FREQ_FREQUENCY_TEST_HELPER_H_
