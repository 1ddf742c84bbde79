// Statement texts as the command handles them before and after the module
// runs them: splitting a file of statements, framing a request, and finding
// where a statement's results go (to report it; the module itself resolves
// the output name, by the same rule).
//
// Plain functions, safe on any thread.
#ifndef VOCS_CLI_STATEMENT_TEXT_H_
#define VOCS_CLI_STATEMENT_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace vocs::cli {

// Statements of a file: separated by empty lines (or lines of blanks); a
// line whose first non-blank character is "#" is a comment. CR LF line ends
// become LF.
std::vector<std::string> SplitStatements(std::string_view text);

// "sql!", a 0 byte, the statement and a 0 byte.
std::string StatementRequest(std::string_view gbk_statement);

struct OutputClause {
  bool found = false;
  bool table = false;  // TO TABLE=...; else TO FILE=...
  std::string name;    // as written, quotes removed
};

// The last "TO FILE = name" or "TO TABLE = name" of the statement, with words
// cut as the statement language cuts them (blanks and "(", ")", ",", "="
// separate; quoted text is one word; comments are skipped).
OutputClause FindOutputClause(std::string_view statement);

// The absolute path the module writes for an output clause: names beginning
// with "/" as they are, others below `program_directory`, tables below its
// "LOCAL_HS_DB/"; one trailing "/" removed.
std::string ResolveOutputPath(const OutputClause& clause, const std::string& program_directory);

// The table name of a table output path: its last component.
std::string TableNameOfPath(const std::string& path);

}  // namespace vocs::cli

#endif  // VOCS_CLI_STATEMENT_TEXT_H_
