// LineBuffer: the lines of a run file being composed before they are written.
//
// A growing byte buffer written through a pointer: a codec asks for room
// (Extend), writes its fields with Put and PutDecimal and commits the end, so
// that composing a line costs no library call per field; spills and merges
// compose millions of short lines. The storage is kept across clear(), so a
// writer allocates it once. One thread.
#ifndef VOCS_SORTED_RUN_LINE_BUFFER_H_
#define VOCS_SORTED_RUN_LINE_BUFFER_H_

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vocs {

class LineBuffer {
 public:
  // Bytes PutDecimal may write: a sign and 19 digits.
  static constexpr size_t kMaxDecimal = 20;

  // Room for `n` more bytes at the end; the pointer stays valid until the
  // next Extend. Commit tells where the written bytes end.
  char* Extend(size_t n) {
    const size_t need = size_ + n;
    if (need > data_.size()) data_.resize(need > 2 * data_.size() ? need : 2 * data_.size());
    return data_.data() + size_;
  }
  void Commit(const char* end) { size_ = static_cast<size_t>(end - data_.data()); }

  // Copies `s` to `out` and returns the end. Short texts, the usual terms,
  // are copied with fixed-size moves that may overlap.
  static char* Put(char* out, std::string_view s) {
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
  // Writes `value` in decimal (a sign only when negative, no leading zeros)
  // and returns the end; at most kMaxDecimal bytes.
  static char* PutDecimal(char* out, int64_t value) {
    if (value >= 0 && value < 10) {
      *out = static_cast<char>('0' + value);
      return out + 1;
    }
    return std::to_chars(out, out + kMaxDecimal, value).ptr;
  }

  std::string_view view() const { return std::string_view(data_.data(), size_); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear() { size_ = 0; }

 private:
  std::string data_;
  size_t size_ = 0;
};

}  // namespace vocs

#endif  // VOCS_SORTED_RUN_LINE_BUFFER_H_
