// ResultWriter: where an engine's results go.
//
// The creator of a run (an export or a module command) makes the writer, may
// set its output mode and host, and attaches it to the task; the task's
// delivery calls open with the output path, writeRecord once per result and
// finish, in that order, and stops when open fails. The creator destroys the
// writer after the run. A writer serves one run on one thread.
//
// Output mode kFrequencyOnly makes frequency writers emit only the term and
// its frequency. Co-occurrence writers ignore the mode.
#ifndef VOCS_OUTPUT_RESULT_WRITER_H_
#define VOCS_OUTPUT_RESULT_WRITER_H_

#include <cstdint>
#include <string>

#include "output/result_record.h"

class HostInterface;

namespace vocs {

// The output modes of setMode.
enum WriterMode : int32_t {
  kAllFields = 0,      // every field of the record; a new writer's mode
  kFrequencyOnly = 1,  // frequency records: the term and its frequency
};

class ResultWriter {
 public:
  ResultWriter() = default;
  virtual ~ResultWriter() = default;
  ResultWriter(const ResultWriter&) = delete;
  ResultWriter& operator=(const ResultWriter&) = delete;

  virtual void setMode(int32_t mode) { mode_ = mode; }
  // File writers ignore the host.
  virtual void setHost(HostInterface* host) { (void)host; }
  // Stores the path; 0 or a negative code.
  virtual int open(const std::string& path) {
    path_ = path;
    return 0;
  }
  // One record of the writer's kind; 0 or a negative code.
  virtual int writeRecord(RecordView record) {
    (void)record;
    return 0;
  }
  virtual int finish() { return 0; }
  // Makes sure the directory part of the output path (up to and including its
  // last separator) exists, creating missing parents; false when the path has
  // no separator or the directory cannot be made.
  virtual bool ensureDirectory();

  int32_t mode() const { return mode_; }
  const std::string& path() const { return path_; }

 protected:
  std::string path_;
  int32_t mode_ = kAllFields;
  std::string line_;  // one output line or statement, composed before it is written
};

}  // namespace vocs

#endif  // VOCS_OUTPUT_RESULT_WRITER_H_
