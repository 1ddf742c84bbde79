// StatementPlan: one statement as the command understands it before the
// module runs it.
//
// AnalyzeStatement converts a statement typed in UTF-8 into the module's code
// page (GB18030), cuts it into words and parses it with the statement
// language's own lexer and parser, so that the command knows exactly what the
// module will read. A statement the module would refuse or misread is
// reported with the place of the problem: one that does not parse, one whose
// quotation or comment is never closed (the language would silently drop the
// rest), a word longer than the language keeps (it would be cut and name
// something else), a fragment that is no statement, a SEGASCOL delimiter
// outside GBK (the module compares delimiters two bytes at a time), a table
// name the host cannot use.
//
// Rewrite then turns the statement into the one the command sends: the
// names of FROM files, the TO FILE name and TEMPPATH become the absolute
// paths the command chose (quoted), a TEMPPATH is added when the statement
// has none, and the TO TABLE name becomes a path in the run's load directory
// ending in the table's name. Everything else is kept byte for byte, and the
// rewritten text is parsed again to make sure the module reads the same
// statement with only those names changed.
//
// Plain functions and values; any thread.
#ifndef VOCS_CLI_STATEMENT_PLAN_H_
#define VOCS_CLI_STATEMENT_PLAN_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/text_codec.h"
#include "lang/stat_command.h"

namespace vocs::cli {

// Something wrong with a statement, at a byte offset of its UTF-8 text.
struct StatementProblem {
  std::string message;
  size_t offset = 0;
  size_t length = 0;  // bytes to mark; at least one caret is drawn
};

// A word of the statement as the language's lexer cuts it (GB18030 offsets).
struct StatementWord {
  size_t begin = 0;
  size_t end = 0;
  int code = 0;      // token code (lang/lexer.h)
  std::string text;  // the token text (a quoted string without its quotes)
};

struct StatementPlan {
  std::string utf8;     // as typed
  std::string gb18030;  // as the module reads it
  StatCommand command;  // the parse of gb18030
  std::vector<StatementWord> words;

  // Positions in `words` of the parts Rewrite changes; -1 when absent.
  int set_word = -1;        // SET
  int temp_path_word = -1;  // the last TEMPPATH value
  int output_word = -1;     // the name after TO FILE= / TO TABLE=
  std::vector<int> file_words;  // the FROM names, in order

  bool is_cooccurrence() const { return command.kind == 2; }
  bool reads_files() const { return command.sourceKind == 1; }
  bool writes_table() const { return command.outputKind == 2; }
  // The names as UTF-8 (the language's texts converted back).
  std::string OutputName(host::TextCodec* codec) const;
  std::string TempPath(host::TextCodec* codec) const;
  std::vector<std::string> FileNames(host::TextCodec* codec) const;
};

// Parses `utf8`. False with *problem set when the module would refuse or
// misread the statement.
bool AnalyzeStatement(const std::string& utf8, host::TextCodec* codec, StatementPlan* plan,
                      StatementProblem* problem);

// The names the command chose for a run of the statement (UTF-8, absolute).
struct RewriteNames {
  std::vector<std::string> files;  // one per FROM name
  std::string output;              // the file to write, or the load path of the table
  std::string temp_path;           // the work directory
};

// The statement to send, in GB18030. False with *error set when a name
// cannot be written into a statement (it holds a double quote, has no GB18030
// form, or is too long for the language).
bool Rewrite(const StatementPlan& plan, const RewriteNames& names, host::TextCodec* codec,
             std::string* gb18030, std::string* error);

// The longest text a quoted word keeps: the language cuts words to 254 bytes,
// two of them the quotes.
inline constexpr size_t kMaxQuotedBytes = 252;

// Two lines that show `problem` under the line of `statement` it is on: that
// line (tabs as spaces, control characters escaped) and carets under the
// marked bytes, lined up by display width. Each line ends in LF.
std::string ShowProblem(const std::string& statement, const StatementProblem& problem);

}  // namespace vocs::cli

#endif  // VOCS_CLI_STATEMENT_PLAN_H_
