// Text primitives shared by the splitters of both engines: finding
// delimiters, skipping and trimming blanks, the term rule and the term cut.
// Plain functions over byte strings; any thread.
//
// Text is code page 936: a byte from 0x81 to 0xFE and the byte after it are
// one two-byte character, every other byte is a one-byte character. A
// character set is a byte string read the same way; a two-byte member matches
// only the same two bytes.
#ifndef VOCS_TEXT_TEXT_PRIMITIVES_H_
#define VOCS_TEXT_TEXT_PRIMITIVES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vocs {

// Segmentation modes: the whole trimmed text is one term (NONE), the text is
// cut at the characters of modeText (SEGASCOL), or the host converts the text
// and the result is cut at "/" (NORMAL).
enum SegmentationMode : int32_t {
  kModeNone = 0,
  kModeDelimited = 1,
  kModeNormal = 2,
};

// Space, tab, carriage return, line feed and the full-width space A1 A1: the
// set used for all trimming in both engines.
inline constexpr std::string_view BlankSet{" \t\r\n\xA1\xA1", 6};
// The two-byte characters SkipBlanks treats as blanks: the full-width space.
inline constexpr std::string_view kWideBlanks{"\xA1\xA1", 2};

// Position of the first character of `text` that belongs to `set`, or npos.
size_t FindDelimiter(std::string_view text, std::string_view set);
// The same, one character at a time whatever the set.
size_t FindDelimiterStepping(std::string_view text, std::string_view set);

// The delimiters of one text found in turn by a splitter that moves forward
// through it, reading each byte once: a one-byte delimiter below 0x80 is
// found 64 bytes at a time where the processor allows, and the found
// delimiters of a block serve the calls that follow. Owns nothing (the text
// and the set must outlive it); one thread.
class DelimiterScan {
 public:
  DelimiterScan(std::string_view text, std::string_view set);
  // Starts the scan anew at `from`, which Next then reads as FindDelimiter
  // reads the text from there.
  void Restart(size_t from);
  // FindDelimiter(text.substr(from), set) + from, or npos: the first
  // delimiter at or after `from`. `from` is at or after the last position
  // given (to Restart or Next) and a character boundary of the scan from
  // the last Restart (0 at first): the position after a delimiter or after
  // a whole character.
  size_t Next(size_t from);

 private:
  void ReadBlock();

  std::string_view text_;
  std::string_view set_;
  bool blocks_ = false;     // whether the block scan serves this set
  size_t block_start_ = 0;  // the block read last: [block_start_, block_end_)
  size_t block_end_ = 0;
  uint64_t found_ = 0;      // its delimiters, bit i for byte block_start_ + i
  uint64_t carry_ = 0;      // whether the next block starts with a trail byte
};

// Number of leading bytes of `token` that are one-byte characters 0x01..0x20
// or two-byte characters of `wide_blanks`; never more than the token's length.
size_t SkipBlanks(std::string_view token, std::string_view wide_blanks = kWideBlanks);

// Removes the longest run of leading characters of `set`, then the longest run
// of trailing ones. In the trailing half a 0 byte counts as a member of every
// set, so the zero padding of source contents goes too; the leading half
// removes no 0 byte.
void TrimSet(std::string* s, std::string_view set);
// The trailing half of TrimSet only.
void TrimRightSet(std::string* s, std::string_view set);
// TrimSet on a view, for callers that do not own the bytes.
std::string_view TrimSetView(std::string_view s, std::string_view set);

// The term rule of both engines: at least 4 bytes and a first byte of 0x41
// ("A") or above, the bytes 0x80..0xFF counting as above.
inline bool MeetsTermRule(std::string_view term) {
  return term.size() >= 4 && static_cast<unsigned char>(term[0]) >= 0x41;
}

// Cuts a term to at most 256 bytes, and then removes a last byte that would be
// half of a two-byte character: with L lead bytes (0x81..0xFE) directly before
// the last byte, the last byte goes when L is even and it is 0x80 or above. A four-byte
// character of the host's code page (GB18030: lead byte, digit, lead byte,
// digit) that the cut leaves incomplete goes as well. Both engines count
// terms only in this form.
inline constexpr size_t kMaxTermLength = 256;
std::string_view CutTerm(std::string_view term);

}  // namespace vocs

#endif  // VOCS_TEXT_TEXT_PRIMITIVES_H_
