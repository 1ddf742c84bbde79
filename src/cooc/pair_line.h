// The pair line: the one format of the co-occurrence spill files, the
// intermediate merge files and the result file.
//
//   term1 TAB term2 TAB count LF
//
// term1 and term2 are the bytes of the two terms (code page 936, at most 256
// bytes each after the engine's cut; no tab or line feed expected in them);
// count is a decimal integer without sign, leading zeros or grouping, up to
// 64 bits. Lines are in ascending order of (term1, term2), each compared as
// unsigned bytes with a proper prefix first; within one spill file every key
// occurs once. Writers end lines in LF; readers (LineReader) also accept CR
// LF, so files written either way read the same.
//
// A line is read by scanning its bytes: a byte of 0x80 or above is passed over
// together with the byte after it (so the trail byte of a two-byte character
// is never taken for a tab), a tab marks a field end, and a 0 byte ends the
// scan. A line parses when the scan finds exactly two tabs.
#ifndef VOCS_COOC_PAIR_LINE_H_
#define VOCS_COOC_PAIR_LINE_H_

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vocs {

struct PairLine {
  std::string_view term1;
  std::string_view term2;
  // The bytes after the second tab up to the end of the line, as read.
  std::string_view count_text;
  int64_t count = 0;
};

// Splits one line (without its line end). False, leaving *out unspecified,
// when the line is empty or the scan does not find exactly two tabs. The
// views point into `line`.
bool ParsePairLine(std::string_view line, PairLine* out);

// The decimal value at the start of `text` as strtoll reads it: leading
// blanks and a sign accepted, reading stops at the first non-digit, no digits
// give 0, values beyond 64 bits saturate.
int64_t ParseDecimal(std::string_view text);

// Pair lines being composed for a file, line feed included: a growing
// buffer written through a pointer, without a library call per field, since
// spills and merges compose millions of short lines.
class PairLineBuffer {
 public:
  void Append(std::string_view term1, std::string_view term2, int64_t count) {
    const size_t need = size_ + term1.size() + term2.size() + 24;
    if (need > data_.size()) data_.resize(need > 2 * data_.size() ? need : 2 * data_.size());
    char* p = data_.data() + size_;
    p = Copy(p, term1);
    *p++ = '\t';
    p = Copy(p, term2);
    *p++ = '\t';
    if (count >= 0 && count < 10) {
      *p++ = static_cast<char>('0' + count);
    } else {
      p = std::to_chars(p, p + 21, count).ptr;
    }
    *p++ = '\n';
    size_ = static_cast<size_t>(p - data_.data());
  }

  std::string_view view() const { return std::string_view(data_.data(), size_); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear() { size_ = 0; }

 private:
  // Short terms are copied with fixed-size moves that may overlap.
  static char* Copy(char* out, std::string_view s) {
    const size_t n = s.size();
    const char* in = s.data();
    if (n >= 8 && n <= 16) {
      std::memcpy(out, in, 8);
      std::memcpy(out + n - 8, in + n - 8, 8);
    } else if (n >= 4 && n < 8) {
      std::memcpy(out, in, 4);
      std::memcpy(out + n - 4, in + n - 4, 4);
    } else if (n > 0) {
      std::memcpy(out, in, n);
    }
    return out + n;
  }

  std::string data_;
  size_t size_ = 0;
};

}  // namespace vocs

#endif  // VOCS_COOC_PAIR_LINE_H_
