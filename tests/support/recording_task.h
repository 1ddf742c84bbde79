// RecordingTask: a StatTask for job tests that logs every operation it is
// called with, as short strings, and can fail a chosen one.
#ifndef VOCS_TESTS_SUPPORT_RECORDING_TASK_H_
#define VOCS_TESTS_SUPPORT_RECORDING_TASK_H_

#include <string>
#include <vector>

#include "job/stat_task.h"
#include "job/stat_source.h"

namespace vocs::testing {

class RecordingTask final : public StatTask {
 public:
  // Log entries: "count(3)", "begin(0)", "process(0,a,b)" (source labels),
  // "end(0)", "finish", "deliver". The label of a source is its name, or
  // "buf" for a buffer.
  std::vector<std::string> calls;
  // The content each ProcessRecord saw for its first and second source (up
  // to the first 0 byte).
  std::vector<std::string> contents;

  // The operation whose log entry begins with this text returns fail_code.
  std::string fail_on;
  int fail_code = -77;

  int SetRecordCount(int32_t count) override;
  int Finish() override;
  int BeginRecord(int32_t index) override;
  int ProcessRecord(int32_t index, StatSource* first, StatSource* second) override;
  int EndRecord(int32_t index) override;
  int DeliverResults() override;

  // The calls joined by spaces.
  std::string Trace() const;

 private:
  int Record(std::string entry);
};

}  // namespace vocs::testing

#endif  // VOCS_TESTS_SUPPORT_RECORDING_TASK_H_
