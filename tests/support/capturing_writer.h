// CapturingWriter: a result writer for engine tests that keeps every record
// it is given, as its fields joined by "|", and logs its calls as
// "open(<path>)", "rec(<fields>)" (unless record logging is off) and
// "finish". open and finish answer with the configured results.
#ifndef VOCS_TESTS_SUPPORT_CAPTURING_WRITER_H_
#define VOCS_TESTS_SUPPORT_CAPTURING_WRITER_H_

#include <string>
#include <vector>

#include "output/result_writer.h"

namespace vocs::testing {

class CapturingWriter final : public ResultWriter {
 public:
  explicit CapturingWriter(bool log_records = true) : log_records_(log_records) {}

  int open(const std::string& path) override;
  int writeRecord(RecordView record) override;
  int finish() override;

  std::vector<std::string> calls;
  std::vector<std::string> records;  // records only, as "f0|f1|..."
  int open_result = 0;
  int finish_result = 0;

 private:
  bool log_records_;
};

}  // namespace vocs::testing

#endif  // VOCS_TESTS_SUPPORT_CAPTURING_WRITER_H_
