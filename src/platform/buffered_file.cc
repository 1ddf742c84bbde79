#include "platform/buffered_file.h"

namespace vocs {

bool BufferedWritableFile::Append(std::string_view data) {
  if (failed_ || !open_) return false;
  position_ += data.size();
  if (buffer_.size() + data.size() <= kWriteBufferSize) {
    buffer_.append(data);
    return true;
  }
  if (!FlushBuffer()) return false;
  if (data.size() >= kWriteBufferSize) return Write(data.data(), data.size());
  buffer_.append(data);
  return true;
}

bool BufferedWritableFile::Flush() { return !failed_ && open_ && FlushBuffer(); }

bool BufferedWritableFile::Close() {
  if (!open_) return !failed_;
  bool ok = FlushBuffer();
  if (!CloseInSystem()) ok = false;
  open_ = false;
  if (!ok) failed_ = true;
  return !failed_;
}

bool BufferedWritableFile::FlushBuffer() {
  if (buffer_.empty()) return !failed_;
  bool ok = Write(buffer_.data(), buffer_.size());
  buffer_.clear();
  return ok;
}

bool BufferedWritableFile::Write(const char* data, size_t n) {
  if (WriteToSystem(data, n)) return true;
  failed_ = true;
  return false;
}

}  // namespace vocs
