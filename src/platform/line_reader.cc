#include "platform/line_reader.h"

#include <cstring>

namespace vocs {

LineReader::LineReader(std::unique_ptr<SequentialFile> file, size_t chunk)
    : file_(std::move(file)), buffer_(chunk > 0 ? chunk : kDefaultChunk, '\0') {}

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

std::string_view LineReader::TakeLine(size_t stop, size_t next) {
  size_t length = stop - begin_;
  if (length > 0 && buffer_[stop - 1] == '\r') --length;
  const std::string_view line(buffer_.data() + begin_, length);
  begin_ = next;
  return line;
}

size_t LineReader::ReadLines(std::string_view* lines, size_t max) {
  size_t n = 0;
  size_t scanned = begin_;  // no line feed in [begin_, scanned)
  for (;;) {
    while (n < max) {
      const void* lf = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
      if (lf == nullptr) break;
      const size_t stop = static_cast<size_t>(static_cast<const char*>(lf) - buffer_.data());
      lines[n++] = TakeLine(stop, stop + 1);
      scanned = begin_;
    }
    // Lines handed out must stay where they are until the next call, so the
    // buffer is refilled only when none was found.
    if (n > 0 || max == 0) return n;
    const size_t consumed = end_ - begin_;
    if (!Refill()) {
      if (end_ == begin_) return 0;
      lines[0] = TakeLine(end_, end_);
      return 1;
    }
    scanned = begin_ + consumed;  // Refill moved the tail to the front
  }
}

}  // namespace vocs
