#include "support/capturing_writer.h"

namespace vocs::testing {

int CapturingWriter::open(const std::string& path) {
  path_ = path;
  calls.push_back("open(" + path + ")");
  return open_result;
}

int CapturingWriter::writeRecord(RecordView record) {
  std::string joined;
  for (size_t i = 0; i < record.size(); ++i) {
    if (i > 0) joined += '|';
    joined.append(record[i]);
  }
  if (log_records_) calls.push_back("rec(" + joined + ")");
  records.push_back(std::move(joined));
  return 0;
}

int CapturingWriter::finish() {
  calls.push_back("finish");
  return finish_result;
}

}  // namespace vocs::testing
