// LineReader: reads a SequentialFile line by line through one refillable
// buffer, without an allocation per line.
//
// A line ends at a line feed; the line feed and a carriage return right before
// it are not part of the line, so files written with LF or CR LF read the same.
// A last line without a line feed is still a line. A read error ends the input
// as end of file does; error() tells the two apart.
//
// The view returned by ReadLine stays valid until the next call.
#ifndef VOCS_PLATFORM_LINE_READER_H_
#define VOCS_PLATFORM_LINE_READER_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace vocs {

class LineReader {
 public:
  explicit LineReader(std::unique_ptr<SequentialFile> file);

  // The next line, or false at the end of the input.
  bool ReadLine(std::string_view* line);
  bool error() const { return error_; }

 private:
  bool Refill();

  std::unique_ptr<SequentialFile> file_;
  std::string buffer_;
  size_t begin_ = 0;  // first unread byte in buffer_
  size_t end_ = 0;    // one past the last valid byte in buffer_
  bool eof_ = false;
  bool error_ = false;
};

}  // namespace vocs

#endif  // VOCS_PLATFORM_LINE_READER_H_
