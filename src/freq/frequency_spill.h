// The frequency engine's line format, shared by spill files, intermediate
// merge files and the result file, with its writer and its parser.
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
// Lines end in LF, the text line end of POSIX; readers ignore a CR before
// the LF, so files with CR LF line ends read the same. A reader takes the last four TABs of a line as the field
// separators, so a term holding TABs reads back whole. Numbers are read as
// the C library's atoll reads them (leading blanks, an optional sign, digits
// up to the first other byte). A line with fewer than four TABs is not a
// spill line.
//
// Thread-compatible: a SpillWriter is used by one thread.
#ifndef VOCS_FREQ_FREQUENCY_SPILL_H_
#define VOCS_FREQ_FREQUENCY_SPILL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace vocs {

// The numbers of one line.
struct SpillCounts {
  int64_t total = 0;
  int64_t records = 0;
  int64_t maxCount = 0;
  int64_t minCount = 0;
};

// Appends one line (with its LF) to *out.
void AppendSpillLine(std::string_view term, const SpillCounts& counts, std::string* out);

// Positions of the last four TABs of a line, in order; false when it has
// fewer. The delivery reads result lines with the same rule.
bool FindLastFourTabs(std::string_view line, size_t tabs[4]);

// Splits a line (without its line end) into term and numbers. False when the
// line has fewer than four TABs. *term points into `line`.
bool ParseSpillLine(std::string_view line, std::string_view* term, SpillCounts* counts);

// The value of a decimal field as atoll reads it: leading blanks skipped, an
// optional sign, digits up to the first other byte; 0 when there are none.
int64_t ParseSpillNumber(std::string_view text);

// Writes one spill or merge file: Open, Add in ascending term order, Finish.
// Lines are gathered in a buffer of about 64 KiB before they reach the file.
class SpillWriter {
 public:
  SpillWriter() = default;
  SpillWriter(const SpillWriter&) = delete;
  SpillWriter& operator=(const SpillWriter&) = delete;

  // Creates or truncates the file. False when it cannot be opened.
  bool Open(const std::string& path);
  // Appends one line. Terms must come in ascending unsigned byte order
  // (checked in debug builds).
  void Add(std::string_view term, const SpillCounts& counts);
  // Writes what is buffered and closes the file. False when any write or the
  // close failed: the file then does not hold all the lines.
  bool Finish();

 private:
  std::unique_ptr<WritableFile> file_;
  std::string buffer_;
  bool ok_ = true;
#ifndef NDEBUG
  std::string last_term_;
#endif
};

}  // namespace vocs

#endif  // VOCS_FREQ_FREQUENCY_SPILL_H_
