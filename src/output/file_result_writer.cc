#include "output/file_result_writer.h"

#include "vocs/errors.h"

namespace vocs {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

template <size_t N>
void JoinColumnNames(const std::array<FieldVocabulary, N>& fields, std::string* line) {
  line->clear();
  for (size_t i = 0; i < N; ++i) {
    if (i > 0) line->push_back('\t');
    line->append(fields[i].column_name);
  }
  line->append(kLineEnd);
}

}  // namespace

int FileResultWriter::open(const std::string& path) {
  path_ = path;
  if (!ensureDirectory()) return VOCS_E_OUTPUT_PATH;
  if (file_) file_->Close();
  write_failed_ = false;
  file_ = CurrentEnv()->NewWritableFile(path_);
  if (!file_) return VOCS_E_NO_RESULT_FILE;
  ComposeHeader(&line_);
  if (!line_.empty() && !WriteLine()) return VOCS_E_NO_RESULT_FILE;
  return 0;
}

bool FileResultWriter::WriteLine() {
  if (!file_ || !file_->Append(line_)) write_failed_ = true;
  return !write_failed_;
}

int FileResultWriter::finish() {
  if (file_) {
    if (!file_->Close()) write_failed_ = true;
    file_.reset();
  }
  return write_failed_ ? VOCS_E_NO_RESULT_FILE : 0;
}

void FrequencyFileWriter::ComposeHeader(std::string* line) const {
  JoinColumnNames(kFrequencyFields, line);
}

int FrequencyFileWriter::writeRecord(RecordView record) {
  line_.clear();
  const size_t count = mode_ == kFrequencyOnly ? 2 : kFrequencyFieldCount;
  for (size_t i = 0; i < count && i < record.size(); ++i) {
    if (i > 0) line_.push_back('\t');
    line_.append(record[i]);
  }
  line_.append(kLineEnd);
  return WriteLine() ? 0 : VOCS_E_NO_RESULT_FILE;
}

void CooccurrenceFileWriter::ComposeHeader(std::string* line) const {
  JoinColumnNames(kCooccurrenceFields, line);
}

int CooccurrenceFileWriter::writeRecord(RecordView record) {
  line_.clear();
  for (size_t i = 0; i < kCooccurrenceFieldCount && i < record.size(); ++i) {
    if (i > 0) line_.push_back('\t');
    line_.append(record[i]);
  }
  line_.append(kLineEnd);
  return WriteLine() ? 0 : VOCS_E_NO_RESULT_FILE;
}

}  // namespace vocs
