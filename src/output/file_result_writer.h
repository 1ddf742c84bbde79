// Result files: tab-separated text in code page 936.
//
// Format (both record kinds): line 1 is the header of Chinese column names
// joined by TABs; every further line is one record, its fields joined by
// TABs, with no quoting or escaping of any kind (a field holding a TAB shifts
// the columns). Every line ends in CR LF, on every platform. Records appear in
// the order the engine delivers them.
//
//   frequency:     词条名称 词频 出现行数 最大值 次小值 最小值 平均值
//                  (mode 1: the header names all seven, lines hold the
//                  term and its frequency only)
//   co-occurrence: 词条1名称 词条2名称 共现频率 支持度1 支持度2 置信度
//
// open creates the directory part of the path with its parents, creates or
// truncates the file and writes the header. Records are composed straight
// into a buffer of the writer's own, which goes to the file in pieces larger
// than the file's buffer (so they reach the system without another copy). A
// write that fails (a full disk) is reported by the writeRecord that hands
// the buffer over and by every later one, and for good by finish, so a
// truncated result is never reported as a success.
#ifndef VOCS_OUTPUT_FILE_RESULT_WRITER_H_
#define VOCS_OUTPUT_FILE_RESULT_WRITER_H_

#include <memory>
#include <string>

#include "output/result_writer.h"
#include "platform/env.h"

namespace vocs {

class FileResultWriter : public ResultWriter {
 public:
  ~FileResultWriter() override;  // hands over composed lines; finish reports
  // VOCS_E_OUTPUT_PATH when the path has no separator or its directory cannot
  // be made; VOCS_E_NO_RESULT_FILE when the file cannot be created or the
  // header cannot be written.
  int open(const std::string& path) override;
  // Closes the file; VOCS_E_NO_RESULT_FILE when any write or the close failed.
  int finish() override;

 protected:
  // The header line for the writer's kind; empty for the plain file writer.
  virtual void ComposeHeader(std::string* line) const { line->clear(); }
  // Appends line_ to the file; false when the write failed.
  bool WriteLine();
  // Appends the first `count` fields of the record (fewer when it has fewer)
  // joined by TABs, and CR LF; 0 or VOCS_E_NO_RESULT_FILE once a write has
  // failed.
  int WriteFields(RecordView record, size_t count);

  std::unique_ptr<WritableFile> file_;
  bool write_failed_ = false;

 private:
  // Hands the composed lines to the file; false when the write failed.
  bool FlushPending();

  std::string pending_;        // composed lines; its size is its capacity
  size_t pending_length_ = 0;  // the bytes of pending_ not yet handed over
};

class FrequencyFileWriter final : public FileResultWriter {
 public:
  int writeRecord(RecordView record) override;

 protected:
  void ComposeHeader(std::string* line) const override;
};

class CooccurrenceFileWriter final : public FileResultWriter {
 public:
  int writeRecord(RecordView record) override;

 protected:
  void ComposeHeader(std::string* line) const override;
};

}  // namespace vocs

#endif  // VOCS_OUTPUT_FILE_RESULT_WRITER_H_
