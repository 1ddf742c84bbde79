// Corpus readers: the input formats of "vocs import", each turning files
// into records of named values.
//
//   text     one record per file: path, title (the file name without its
//            extension), body (the whole text)
//   tsv      a header line of column names, then one record per line, values
//            separated by TAB (no quoting); every line has the header's count.
//            A column whose non-empty values are all integers (or all
//            numbers) in canonical form holds integers (reals), empty ones
//            NULL; any other column holds texts
//   jsonl    one JSON object per line (json_line.h)
//   fortune  fortune files: entries separated by lines holding only "%";
//            colour escapes removed; records of title (first line, a
//            "题目:" prefix and enclosing 《》 removed), author (a second line
//            starting with "作者:" or "作者：", dates in parentheses
//            removed; empty without such a line) and body (the remaining
//            lines, trimmed, blank lines dropped, joined by LF)
//
// Input is UTF-8 or GBK, told apart per file (valid UTF-8 is UTF-8) unless
// fixed; a UTF-8 byte order mark is skipped. Text that is neither fails the
// file. Values are UTF-8.
#ifndef VOCS_CLI_CORPUS_READER_H_
#define VOCS_CLI_CORPUS_READER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/text_codec.h"
#include "host/word_segmenter.h"

namespace vocs::cli {

// kAnyText reads like kText but stands, for a directory, for every file in
// it whose name does not begin with "." (the choice of --format text).
enum class CorpusFormat { kText, kTsv, kJsonl, kFortune, kAnyText };

bool ParseCorpusFormat(std::string_view text, CorpusFormat* out);
// The format a file name suggests: .tsv/.tab, .jsonl/.ndjson, else text.
CorpusFormat FormatOfName(std::string_view name);
// The format of a file named on the command line without --format: by its
// name, except that a file beside its strfile index (NAME.dat, the way
// fortune(6) keeps its databases) is a fortune file.
CorpusFormat FormatOfNamedFile(const std::string& path);
// The file names a directory stands for in a format (recursively, sorted):
// .txt for text, every visible file for any text, .tsv/.tab for tsv,
// .jsonl/.ndjson for jsonl; fortune files are named one by one.
bool ExpandInput(const std::string& input, CorpusFormat format, std::vector<std::string>* files,
                 std::string* error);

struct FieldValue {
  enum class Kind { kNull, kInteger, kReal, kText };
  Kind kind = Kind::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string text;  // UTF-8

  static FieldValue Text(std::string s) {
    FieldValue v;
    v.kind = Kind::kText;
    v.text = std::move(s);
    return v;
  }
};

// `text` as a value of `kind`: a number when `kind` is a numeric kind and
// the text is its canonical form ("-12", "3.25"), NULL for an empty text of
// a numeric kind, else the text.
FieldValue TypedValue(FieldValue::Kind kind, std::string_view text);

using CorpusRecord = std::vector<std::pair<std::string, FieldValue>>;
// Takes one record; false (with *error set) stops the reading.
using RecordSink = std::function<bool(const CorpusRecord& record, std::string* error)>;

// Decodes a file's bytes into UTF-8. False with *error naming the file.
bool DecodeInput(std::string_view bytes, host::TextEncoding encoding, const std::string& name,
                 host::TextCodec* codec, std::string* utf8, std::string* error);

// Reads the records of one file into `sink`. False with *error set (naming
// the file and line) when the file cannot be read or parsed.
bool ReadCorpusFile(const std::string& path, CorpusFormat format, host::TextEncoding encoding,
                    host::TextCodec* codec, const RecordSink& sink, std::string* error);

// The parsers behind ReadCorpusFile, on decoded UTF-8 text.
bool ParseFortunes(std::string_view text, const RecordSink& sink, std::string* error);
bool ParseTsv(std::string_view text, const RecordSink& sink, std::string* error);
bool ParseJsonLines(std::string_view text, const RecordSink& sink, std::string* error);

}  // namespace vocs::cli

#endif  // VOCS_CLI_CORPUS_READER_H_
