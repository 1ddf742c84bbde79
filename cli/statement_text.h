// Statement texts as the command handles them: splitting a file of
// statements, framing a request, and the table a TO TABLE name stands for.
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

// The table name of a table output path: its last component (one trailing
// "/" ignored), as the module takes it.
std::string TableNameOfPath(std::string path);

}  // namespace vocs::cli

#endif  // VOCS_CLI_STATEMENT_TEXT_H_
