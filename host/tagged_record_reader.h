// ReadTaggedRecords: the reader of the module's tagged-record files, which
// the bulk load statement names.
//
// Format: records one after another. A record is the line "<REC>" followed by
// one line per field, "<" tag ">" "=" value, where the tag is the column name
// and the value runs to the end of the line (it may hold "=", "<" or TAB;
// nothing is escaped). Lines end in CR LF (a lone LF is accepted too); the
// text is GBK. Empty lines are ignored. A field line before the first "<REC>",
// a line of any other shape, a record without fields and a tag repeated within
// one record make the file malformed.
//
// The reader streams the file: one record is held at a time.
#ifndef VOCS_HOST_TAGGED_RECORD_READER_H_
#define VOCS_HOST_TAGGED_RECORD_READER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vocs::host {

struct TaggedField {
  std::string tag;    // GBK, without the angle brackets
  std::string value;  // GBK
};

// Called once per record with its fields in file order and the line number of
// its "<REC>". Returns false (with *error set) to stop the reading.
using TaggedRecordSink =
    std::function<bool(const std::vector<TaggedField>& fields, int64_t line, std::string* error)>;

// Reads every record of the file at `path` (raw file-system bytes) into
// `sink`. False with *error set when the file cannot be read, is malformed,
// or the sink refused a record; *records tells how many records the sink
// accepted.
bool ReadTaggedRecords(const std::string& path, const TaggedRecordSink& sink, int64_t* records,
                       std::string* error);

}  // namespace vocs::host

#endif  // VOCS_HOST_TAGGED_RECORD_READER_H_
