// The pair line: the one format of the co-occurrence spill files, the
// intermediate merge files and the result file, and the codec through which
// the sorted-run machinery writes, reads, orders and folds it.
//
//   term1 TAB term2 TAB count LF
//
// term1 and term2 are the bytes of the two terms (code page 936, at most 256
// bytes each after the engine's cut; no tab or line feed expected in them);
// count is a decimal integer without sign, leading zeros or grouping, up to
// 64 bits. Lines are in ascending order of (term1, term2), each compared as
// unsigned bytes with a proper prefix first; within one file every key
// occurs once. Lines of equal keys fold into one with the sum of the
// counts (held at the 64-bit limits, see AddCounts). Writers end lines in
// LF; readers (LineReader) also accept CR LF, so files written either way
// read the same.
//
// A line is read by scanning its bytes: a byte of 0x80 or above is passed over
// together with the byte after it (so the trail byte of a two-byte character
// is never taken for a tab), a tab marks a field end, and a 0 byte ends the
// scan. A line parses when the scan finds exactly two tabs. The count is read
// as strtoll reads it (leading blanks and a sign accepted, reading stops at
// the first non-digit, no digits give 0, values beyond 64 bits saturate).
//
// Plain functions and a stateless codec; any thread.
#ifndef VOCS_COOC_PAIR_LINE_H_
#define VOCS_COOC_PAIR_LINE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "sorted_run/line_buffer.h"
#include "sorted_run/run_codec.h"
#include "text/order_prefix.h"

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

struct PairLineCodec {
  // The terms with their order prefixes (OrderPrefix), which decide most
  // comparisons without touching the bytes.
  struct Entry {
    std::string_view term1;
    std::string_view term2;
    uint64_t prefix1 = 0;
    uint64_t prefix2 = 0;
    int64_t count = 0;
  };
  struct Held {
    std::string term1;
    std::string term2;
    uint64_t prefix1 = 0;
    uint64_t prefix2 = 0;
    int64_t count = 0;
  };

  // An entry of two terms whose prefixes are not known yet.
  static Entry Make(std::string_view term1, std::string_view term2, int64_t count) {
    return Entry{term1, term2, OrderPrefix(term1), OrderPrefix(term2), count};
  }
  // ParsePairLine, each term cut to 1023 bytes as a fixed field of the
  // merge would hold it. False for a line that does not parse.
  static bool Parse(std::string_view line, Entry* entry);
  static int Compare(const Entry& a, const Entry& b) {
    if (a.prefix1 != b.prefix1) return a.prefix1 < b.prefix1 ? -1 : 1;
    // Equal prefixes need the bytes; a spill passes the same term1 line after
    // line, which is then known equal without reading it.
    if (a.term1.data() != b.term1.data() || a.term1.size() != b.term1.size()) {
      const int c = a.term1.compare(b.term1);
      if (c != 0) return c;
    }
    if (a.prefix2 != b.prefix2) return a.prefix2 < b.prefix2 ? -1 : 1;
    return a.term2.compare(b.term2);
  }
  static void Hold(const Entry& entry, Held* held) {
    held->term1.assign(entry.term1);
    held->term2.assign(entry.term2);
    held->prefix1 = entry.prefix1;
    held->prefix2 = entry.prefix2;
    held->count = entry.count;
  }
  static void Fold(const Entry& entry, Held* held) {
    held->count = AddCounts(held->count, entry.count);
  }
  static Entry View(const Held& held) {
    return Entry{held.term1, held.term2, held.prefix1, held.prefix2, held.count};
  }
  static void Append(const Entry& entry, LineBuffer* out) {
    char* p = out->Extend(entry.term1.size() + entry.term2.size() + LineBuffer::kMaxDecimal + 3);
    p = LineBuffer::Put(p, entry.term1);
    *p++ = '\t';
    p = LineBuffer::Put(p, entry.term2);
    *p++ = '\t';
    p = LineBuffer::PutDecimal(p, entry.count);
    *p++ = '\n';
    out->Commit(p);
  }
};

}  // namespace vocs

#endif  // VOCS_COOC_PAIR_LINE_H_
