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

#include <cstdint>
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

// Appends one pair line, line feed included.
void AppendPairLine(std::string_view term1, std::string_view term2, int64_t count,
                    std::string* out);

}  // namespace vocs

#endif  // VOCS_COOC_PAIR_LINE_H_
