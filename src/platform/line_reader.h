// LineReader: reads a SequentialFile line by line through one refillable
// buffer, without an allocation per line.
//
// A line ends at a line feed; the line feed and a carriage return right before
// it are not part of the line, so files written with LF or CR LF read the same.
// A last line without a line feed is still a line. A read error ends the input
// as end of file does; error() tells the two apart.
//
// Lines come one at a time (ReadLine) or in batches (ReadLines), for a caller
// that works on several lines together. The views returned stay valid until
// the next call. The buffer starts at `chunk` bytes (one read's size) and
// doubles when a single line fills it.
//
// A reader is used by one thread.
#ifndef VOCS_PLATFORM_LINE_READER_H_
#define VOCS_PLATFORM_LINE_READER_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace vocs {

class LineReader {
 public:
  static constexpr size_t kDefaultChunk = 64 * 1024;

  explicit LineReader(std::unique_ptr<SequentialFile> file, size_t chunk = kDefaultChunk);

  // The next line, or false at the end of the input.
  bool ReadLine(std::string_view* line) { return ReadLines(line, 1) == 1; }
  // Up to `max` lines into lines[0..max): the number read, 0 at the end of
  // the input. Fewer than `max` are returned when the buffer holds no more
  // whole lines; the next call reads on.
  size_t ReadLines(std::string_view* lines, size_t max);
  bool error() const { return error_; }

 private:
  bool Refill();
  // The line from begin_ to `stop` (a line feed or the end of the input),
  // without a carriage return before `stop`; moves begin_ past `stop`.
  std::string_view TakeLine(size_t stop, size_t next);

  std::unique_ptr<SequentialFile> file_;
  std::string buffer_;
  size_t begin_ = 0;  // first unread byte in buffer_
  size_t end_ = 0;    // one past the last valid byte in buffer_
  bool eof_ = false;
  bool error_ = false;
};

}  // namespace vocs

#endif  // VOCS_PLATFORM_LINE_READER_H_
