#include "output/file_result_writer.h"

#include <algorithm>
#include <cstring>

#include "platform/buffered_file.h"
#include "vocs/errors.h"

namespace vocs {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Composed lines are handed over once they pass the file's own buffer size,
// so the file writes them through instead of copying them into its buffer;
// the room above that takes the line that passes it.
constexpr size_t kHandOverSize = kWriteBufferSize;
constexpr size_t kPendingCapacity = 2 * kWriteBufferSize;

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

FileResultWriter::~FileResultWriter() {
  // A run that stops before finish keeps what it wrote, as the file would.
  if (file_) FlushPending();
}

int FileResultWriter::open(const std::string& path) {
  path_ = path;
  if (!ensureDirectory()) return VOCS_E_OUTPUT_PATH;
  if (file_) {
    FlushPending();
    file_->Close();
  }
  write_failed_ = false;
  pending_length_ = 0;
  if (pending_.size() < kPendingCapacity) pending_.resize(kPendingCapacity);
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

bool FileResultWriter::FlushPending() {
  if (pending_length_ > 0) {
    if (!file_ || !file_->Append(std::string_view(pending_.data(), pending_length_))) {
      write_failed_ = true;
    }
    pending_length_ = 0;
  }
  return !write_failed_;
}

int FileResultWriter::WriteFields(RecordView record, size_t count) {
  if (!file_) write_failed_ = true;
  if (write_failed_) return VOCS_E_NO_RESULT_FILE;
  count = std::min(count, record.size());
  size_t length = kLineEnd.size() + (count > 0 ? count - 1 : 0);
  for (size_t i = 0; i < count; ++i) length += record[i].size();
  if (pending_length_ + length > pending_.size()) {
    if (!FlushPending()) return VOCS_E_NO_RESULT_FILE;
    if (length > pending_.size()) {
      // A line longer than the whole buffer goes to the file piece by piece.
      for (size_t i = 0; i < count; ++i) {
        if (i > 0 && !file_->Append("\t")) write_failed_ = true;
        if (!file_->Append(record[i])) write_failed_ = true;
      }
      if (!file_->Append(kLineEnd)) write_failed_ = true;
      return write_failed_ ? VOCS_E_NO_RESULT_FILE : 0;
    }
  }
  char* out = pending_.data() + pending_length_;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) *out++ = '\t';
    std::memcpy(out, record[i].data(), record[i].size());
    out += record[i].size();
  }
  std::memcpy(out, kLineEnd.data(), kLineEnd.size());
  pending_length_ += length;
  if (pending_length_ > kHandOverSize && !FlushPending()) return VOCS_E_NO_RESULT_FILE;
  return 0;
}

int FileResultWriter::finish() {
  if (file_) {
    FlushPending();
    if (!file_->Close()) write_failed_ = true;
    file_.reset();
  }
  return write_failed_ ? VOCS_E_NO_RESULT_FILE : 0;
}

void FrequencyFileWriter::ComposeHeader(std::string* line) const {
  JoinColumnNames(kFrequencyFields, line);
}

int FrequencyFileWriter::writeRecord(RecordView record) {
  return WriteFields(record, mode_ == kFrequencyOnly ? 2 : kFrequencyFieldCount);
}

void CooccurrenceFileWriter::ComposeHeader(std::string* line) const {
  JoinColumnNames(kCooccurrenceFields, line);
}

int CooccurrenceFileWriter::writeRecord(RecordView record) {
  return WriteFields(record, kCooccurrenceFieldCount);
}

}  // namespace vocs
