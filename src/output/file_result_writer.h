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
// truncates the file and writes the header. A write that fails (a full disk)
// is reported by writeRecord and, for good, by finish, so a truncated result
// is never reported as a success.
#ifndef VOCS_OUTPUT_FILE_RESULT_WRITER_H_
#define VOCS_OUTPUT_FILE_RESULT_WRITER_H_

#include <memory>
#include <string>

#include "output/result_writer.h"
#include "platform/env.h"

namespace vocs {

class FileResultWriter : public ResultWriter {
 public:
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

  std::unique_ptr<WritableFile> file_;
  bool write_failed_ = false;
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
