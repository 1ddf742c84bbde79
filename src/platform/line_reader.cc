#include "platform/line_reader.h"

#include <cstring>

namespace vocs {

namespace {
constexpr size_t kChunk = 64 * 1024;
}

LineReader::LineReader(std::unique_ptr<SequentialFile> file)
    : file_(std::move(file)), buffer_(kChunk, '\0') {}

bool LineReader::Refill() {
  if (eof_) return false;
  // Keep the unread tail at the front, and grow when one line fills it all.
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  int64_t n = file_ ? file_->Read(buffer_.data() + end_, buffer_.size() - end_) : 0;
  if (n < 0) {
    error_ = true;
    n = 0;
  }
  if (n == 0) {
    eof_ = true;
    return false;
  }
  end_ += static_cast<size_t>(n);
  return true;
}

bool LineReader::ReadLine(std::string_view* line) {
  size_t scanned = begin_;
  for (;;) {
    const char* start = buffer_.data() + scanned;
    const void* lf = std::memchr(start, '\n', end_ - scanned);
    if (lf != nullptr) {
      size_t stop = static_cast<const char*>(lf) - buffer_.data();
      size_t length = stop - begin_;
      if (length > 0 && buffer_[stop - 1] == '\r') --length;
      *line = std::string_view(buffer_.data() + begin_, length);
      begin_ = stop + 1;
      return true;
    }
    size_t consumed = end_ - begin_;
    if (!Refill()) {
      if (end_ == begin_) return false;
      size_t length = end_ - begin_;
      if (buffer_[begin_ + length - 1] == '\r') --length;
      *line = std::string_view(buffer_.data() + begin_, length);
      begin_ = end_;
      return true;
    }
    scanned = begin_ + consumed;  // Refill moved the tail to the front
  }
}

}  // namespace vocs
