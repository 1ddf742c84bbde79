// ResultReader: a result of the module read back row by row, from a result
// file or from a result table of the database, as UTF-8 texts.
//
// A result file is what the module writes: GB18030 (GBK for GBK characters),
// TAB-separated, CR LF, a header line of the Chinese column names. A file
// whose header line is a result's header in UTF-8 (someone converted it) is
// read as UTF-8. A line that is not in the file's encoding is taken in the
// other one when it is valid there, else decoded from GB18030 with U+FFFD
// for what does not convert. A
// table's REAL values read as "%.4f" texts, the form the file has them in, so
// a result reads the same from either place.
//
// The reader owns its file or database connection; one thread uses it.
#ifndef VOCS_CLI_RESULT_READER_H_
#define VOCS_CLI_RESULT_READER_H_

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/database.h"
#include "host/text_codec.h"

namespace vocs::cli {

// A count as results print it: decimal digits only. False for anything else.
bool ParseCount(std::string_view text, int64_t* out);
// A value printed with "%0.4f" (digits, a point, four digits) as a number
// of ten-thousandths: "16.6667" is 166667. False for anything else.
bool ParseFixed4(std::string_view text, int64_t* ten_thousandths);

// Which engine wrote a result, by the name of its first column.
enum class ResultKind { kFrequency, kCooccurrence, kOther };

ResultKind KindOfHeader(const std::vector<std::string>& header);

// Opens the database of a result table for reading; *exit_code and *error
// say why not (kExitSetup: no database or it cannot be opened, kExitFailed:
// no such table). Read-write when allowed: the last connection of a
// database in write-ahead mode removes its log files when it closes, a
// read-only one cannot.
bool OpenResultDatabase(const std::string& db_path, const std::string& table, host::Database* db,
                        int* exit_code, std::string* error);

class ResultReader {
 public:
  ResultReader();
  ~ResultReader();
  ResultReader(const ResultReader&) = delete;
  ResultReader& operator=(const ResultReader&) = delete;

  // Opens a result file and reads its header. False with *error naming the
  // file when it cannot be read or is empty.
  bool OpenFile(const std::string& path, std::string* error);
  // Opens a table of the database at `db_path` (see OpenResultDatabase; the
  // exit code is left in exit_code()).
  bool OpenTable(const std::string& db_path, const std::string& table, std::string* error);

  const std::vector<std::string>& header() const { return header_; }
  ResultKind kind() const { return KindOfHeader(header_); }
  // "file /abs/name.txt" or "table t of /abs/db": for messages and pages.
  const std::string& origin() const { return origin_; }
  // The exit code for a failed OpenTable.
  int exit_code() const { return exit_code_; }

  // The next row's cells (empty lines are passed over; a row may have fewer
  // or more cells than the header). The views stay valid until the next
  // call. False at the end, or on a read error (error() then says what).
  bool Next(std::vector<std::string_view>* cells);
  const std::string& error() const { return error_; }

 private:
  // Reads the next non-empty line of the file into text_.
  bool NextLine();
  void Decode(const std::string& bytes);

  std::vector<std::string> header_;
  std::string origin_;
  std::string error_;
  int exit_code_ = 0;

  std::ifstream file_;
  std::string path_;
  host::TextCodec codec_;
  bool utf8_ = false;  // the file is UTF-8, not GB18030
  std::string bytes_;
  std::string text_;  // the current line in UTF-8

  host::Database db_;
  host::Statement select_;
  std::vector<std::string> cells_;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_RESULT_READER_H_
