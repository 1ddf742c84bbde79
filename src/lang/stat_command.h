// StatCommand: a statistics statement after parsing.
//
// The parser's actions fill one StatCommand while they reduce a statement
// (see grammar.y); the command runners read it afterwards. The record is a
// plain value: it is created empty (every number 0, every text and list
// empty), owned by whoever asked for the parse, and never shared. A parse
// that fails may leave it partly filled; such a record is to be discarded.
//
// The names of the host's record layout live in 256-byte fields, so every
// text kept here obeys the same cut: `tempPath`, `outputName` and the texts of
// a FieldSource hold at most kCommandFieldBytes bytes, every entry of `files`
// at most kCommandFileNameBytes bytes (its field keeps room for the 0 byte).
// Token texts never exceed 254 bytes, so the cut fires only for callers that
// build records by hand.
#ifndef VOCS_LANG_STAT_COMMAND_H_
#define VOCS_LANG_STAT_COMMAND_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vocs {

inline constexpr size_t kCommandFieldBytes = 256;
inline constexpr size_t kCommandFileNameBytes = 255;

// The first `limit` bytes of `text` (all of it when shorter). The cut is by
// bytes: a two-byte character at the limit may lose its second byte, as it
// would in the fixed field.
inline std::string CutToField(std::string_view text, size_t limit) {
  return std::string(text.substr(0, limit));
}

// `kind` of a command: which statistic the statement asks for.
enum StatementKind : int32_t {
  kNotAStatement = 0,  // an accepted fragment
  kWordFrequency = 1,  // STAT WORDFREQ
  kAssociatedFrequency = 2,  // STAT ASSOCIATEDFREQ
};

// `sourceKind` of a command: where its text comes from.
enum CommandSourceKind : int32_t {
  kNoSourceList = 0,
  kFileList = 1,   // FROM names of files and directories
  kFieldList = 2,  // AT fields of the WHERE query's records
};

// `outputKind` of a command, and of a packed request (which sends any other
// value for a file).
enum CommandOutputKind : int32_t {
  kNoOutput = 0,
  kFileOutput = 1,   // TO FILE=
  kTableOutput = 2,  // TO TABLE=
};

// One field of the queried records that a statement reads.
struct FieldSource {
  std::string name;        // the field's name, at most 256 bytes
  int32_t mode = 0;        // a SegmentationMode: NONE, SEGASCOL or NORMAL
  std::string delimiters;  // mode SEGASCOL only: the delimiter characters; else empty
};

struct StatCommand {
  int32_t kind = kNotAStatement;  // a StatementKind
  int32_t minFrequency = 0;       // MINFREQ; may be negative
  std::string tempPath;           // TEMPPATH as written, unresolved; empty = none
  int32_t sourceKind = kNoSourceList;  // a CommandSourceKind
  std::vector<std::string> files;      // FROM names, in statement order
  std::vector<FieldSource> fields;     // AT fields, in statement order
  int32_t outputKind = kNoOutput;      // a CommandOutputKind
  std::string outputName;              // the word after TO FILE= or TO TABLE=
  std::string query;                   // the WHERE clause rebuilt from its tokens
};

}  // namespace vocs

#endif  // VOCS_LANG_STAT_COMMAND_H_
