// The frequency engine's line: the one format of its spill files, its
// intermediate merge files and its result file, and the codec through which
// the sorted-run machinery writes, reads, orders and folds it.
//
// One line per term, in ascending unsigned byte order of the term:
//
//   term TAB total TAB records TAB maxCount TAB minCount LF
//
// term      the term's bytes (code page 936); at most 256 bytes, since terms are
//           cut before they are counted. It may itself hold TABs.
// total     occurrences of the term (decimal, 64-bit)
// records   records that contain it
// maxCount  largest count in one record
// minCount  smallest count among the records that contain it
//
// Lines end in LF, the text line end of POSIX; readers ignore a CR before the
// LF, so files with CR LF line ends read the same. A reader takes the last
// four TABs of a line as the field separators, so a term holding TABs reads
// back whole. Numbers are read as the C library's atoll reads them (leading
// blanks, an optional sign, digits up to the first other byte, the low 64
// bits of a longer number). A line with fewer than four TABs is not a term
// line.
//
// Lines of equal terms fold into one: totals and records are summed (held at
// the 64-bit limits, see AddCounts), the larger maxCount and the smaller
// minCount are kept.
//
// Plain functions and a stateless codec; any thread.
#ifndef VOCS_FREQ_TERM_LINE_H_
#define VOCS_FREQ_TERM_LINE_H_

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "freq/term_run.h"
#include "sorted_run/line_buffer.h"
#include "sorted_run/run_codec.h"
#include "text/order_prefix.h"

namespace vocs {

// Positions of the last four TABs of a line, in order; false when it has
// fewer. The delivery reads result lines with the same rule.
bool FindLastFourTabs(std::string_view line, size_t tabs[4]);

// The value of a number field.
int64_t ParseTermLineNumber(std::string_view text);

struct TermLineCodec {
  using Entry = TermEntry;
  struct Held {
    std::string term;
    SpillCounts counts;
  };

  // The runs' binary form (freq/term_run.h), for spill and intermediate
  // files; result files and partials stay lines.
  using BinaryReader = TermRunReader;
  using BinaryWriter = TermRunWriter;

  // The term's first eight bytes as one number: keys that differ order
  // their entries as Compare does.
  static uint64_t Key(const Entry& entry) { return OrderPrefix(entry.term); }
  // Splits a line (without its line end) into term and numbers. False when
  // the line has fewer than four TABs. The term points into `line`.
  static bool Parse(std::string_view line, Entry* entry);
  // The merge compares every line with several others: most pairs differ in
  // their first eight bytes, which two word loads decide.
  static int Compare(const Entry& a, const Entry& b) {
    const uint64_t pa = OrderPrefix(a.term);
    const uint64_t pb = OrderPrefix(b.term);
    if (pa != pb) return pa < pb ? -1 : 1;
    return CompareAfterEqualPrefixes(a.term, b.term);
  }
  // The order of two terms whose OrderPrefix is equal. When either has at
  // most eight bytes it is a prefix of the other (the other's bytes past it,
  // up to the eighth, are zeros), so the lengths decide; the same term met
  // in several runs, the merge's usual tie, costs no byte comparison.
  static int CompareAfterEqualPrefixes(std::string_view a, std::string_view b) {
    if (a.size() <= 8 || b.size() <= 8) return (a.size() > b.size()) - (a.size() < b.size());
    return a.substr(8).compare(b.substr(8));
  }
  static void Hold(const Entry& entry, Held* held) {
    held->term.assign(entry.term);
    held->counts = entry.counts;
  }
  static void Fold(const Entry& entry, Held* held) {
    held->counts.total = AddCounts(held->counts.total, entry.counts.total);
    held->counts.records = AddCounts(held->counts.records, entry.counts.records);
    held->counts.maxCount = std::max(held->counts.maxCount, entry.counts.maxCount);
    held->counts.minCount = std::min(held->counts.minCount, entry.counts.minCount);
  }
  static Entry View(const Held& held) { return Entry{held.term, held.counts}; }
  static void Append(const Entry& entry, LineBuffer* out) {
    char* p = out->Extend(entry.term.size() + 4 * (LineBuffer::kMaxDecimal + 1) + 1);
    p = LineBuffer::Put(p, entry.term);
    *p++ = '\t';
    p = LineBuffer::PutDecimal(p, entry.counts.total);
    *p++ = '\t';
    p = LineBuffer::PutDecimal(p, entry.counts.records);
    *p++ = '\t';
    p = LineBuffer::PutDecimal(p, entry.counts.maxCount);
    *p++ = '\t';
    p = LineBuffer::PutDecimal(p, entry.counts.minCount);
    *p++ = '\n';
    out->Commit(p);
  }
};

}  // namespace vocs

#endif  // VOCS_FREQ_TERM_LINE_H_
