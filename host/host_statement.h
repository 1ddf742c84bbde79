// HostStatement: the statements the module sends to build a result table, and
// their parser.
//
// The language (keywords in any letter case, GB18030 text):
//
//   CREATE TABLE t PATH 'path' (c TYPE[(n)] [aliasname 'a'] [displayname 'd'], ...)
//   DROP TABLE t
//   bulkload table t"file"                 (a space before the quote is allowed)
//   ALTER TABLE t ALTER c AS c TYPE[(n)] ATTRIBUTE
//   INDEX t ALL
//
// TYPE is CHAR, VARCHAR or TEXT (stored as text), INTEGER or INT (integer), NUM,
// NUMERIC, REAL, FLOAT or DOUBLE (real). A name is a run of letters, digits,
// "_", "$", "-", "." and non-ASCII characters (at most kMaxNameLength bytes
// of UTF-8); anything else (a quote, ";", a space, a parenthesis) ends it, so
// a name can never carry SQL. Quoted texts ('...') may hold '' for a quote.
//
// Names and quoted texts are converted to UTF-8. The PATH text and the bulk
// load file name are paths in the module's code page, kept as they are (the
// host converts them when it opens a file); the module does not escape them,
// so the PATH text ends at the first "'" followed by "(" and the file name at
// the last double quote of the statement.
//
// The parser is a plain function, safe on any thread.
#ifndef VOCS_HOST_HOST_STATEMENT_H_
#define VOCS_HOST_HOST_STATEMENT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/text_codec.h"

namespace vocs::host {

inline constexpr size_t kMaxNameLength = 128;

enum class StorageClass { kText, kInteger, kReal };

// The storage class of a type word, false for an unknown one.
bool StorageClassOf(std::string_view type_word, StorageClass* out);

struct ColumnSpec {
  std::string name;          // UTF-8
  std::string type_text;     // upper case: "CHAR", "INTEGER", "NUM", ...
  int32_t length = 0;        // the (n) after the type; 0 when absent
  std::string alias;         // UTF-8, may be empty
  std::string display_name;  // UTF-8, may be empty
  StorageClass storage = StorageClass::kText;
};

struct HostStatement {
  enum class Kind { kCreateTable, kDropTable, kBulkLoad, kAlterColumn, kIndex };
  Kind kind = Kind::kCreateTable;
  std::string table;                // UTF-8
  std::string path;                 // CREATE TABLE's PATH, bulkload's file (raw bytes)
  std::vector<ColumnSpec> columns;  // CREATE TABLE; ALTER: the new declaration
  std::string column;               // ALTER: the column altered
  std::string attribute;            // ALTER: upper case ("NORMAL")
};

// Parses one statement. False with a message naming the offending place.
bool ParseHostStatement(std::string_view text, TextCodec* codec, HostStatement* out,
                        std::string* error);

// True when `name` (UTF-8) is made only of name characters and fits
// kMaxNameLength; the CLI checks table names it is given with it.
bool IsValidName(std::string_view name);

// Names are equal without regard to the case of ASCII letters, as SQLite
// compares identifiers.
bool SameName(std::string_view a, std::string_view b);

// `text` without leading and trailing spaces, TABs, CRs and LFs.
std::string_view TrimSpace(std::string_view text);

}  // namespace vocs::host

#endif  // VOCS_HOST_HOST_STATEMENT_H_
