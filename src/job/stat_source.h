// StatSource: one input of a statistics job, and its kinds.
//
// A source is a field of the records the host's query returns, a buffer from
// the caller, a text file, or a directory of text files. The job owns its
// sources and fills `content` for the record being processed; the tasks read
// `mode`, `modeText` and `content` (and may trim `content` in place).
#ifndef VOCS_JOB_STAT_SOURCE_H_
#define VOCS_JOB_STAT_SOURCE_H_

#include <cstdint>
#include <string>

#include "text/text_primitives.h"

namespace vocs {

// `kind` of a source. A field is kField until the job resolves it; it then
// holds the host's field number (0 or more).
enum SourceKind : int32_t {
  kField = -1,
  kBuffer = -2,
  kFile = -3,
  kDirectory = -4,
};

struct StatSource {
  std::string name;      // field name, file or directory path; empty for a buffer
  int32_t kind = kField;
  int32_t mode = kModeNone;  // a SegmentationMode
  std::string modeText;  // the delimiter characters of mode 1
  std::string content;   // the text of the current record
  int32_t loaded = 0;    // 1 once content is loaded and prepared for the record

  bool is_field() const { return kind >= 0 || kind == kField; }
};

}  // namespace vocs

#endif  // VOCS_JOB_STAT_SOURCE_H_
