// Shared pieces of the vocs subcommands: exit codes, option matching, the
// program directory, file reading and the progress line.
//
// Threads: the command is single-threaded; nothing here is guarded.
#ifndef VOCS_CLI_CLI_COMMON_H_
#define VOCS_CLI_CLI_COMMON_H_

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "host/word_segmenter.h"

namespace vocs::cli {

// Exit codes of every subcommand.
enum ExitCode {
  kExitOk = 0,       // everything done
  kExitFailed = 1,   // a statement failed, or input was refused; nothing of it was kept
  kExitUsage = 2,    // bad command line
  kExitSetup = 3,    // the module cannot be loaded, the database cannot be opened
};
// 130 (kExitInterrupted, interrupt_guard.h): a signal stopped the run.

using Args = std::vector<std::string>;

// Matches args[*i] as "--name VALUE" or "--name=VALUE". Returns 1 and stores
// the value (advancing *i past it), 0 when args[*i] is another argument, -1
// when the value is missing.
int MatchOption(const Args& args, size_t* i, std::string_view name, std::string* value);

// Prints "vocs COMMAND: MESSAGE" and a pointer to the help to standard error;
// returns kExitUsage.
int UsageError(std::string_view command, std::string_view message);
// Prints "vocs: MESSAGE" to standard error and returns `code`.
int Fail(int code, std::string_view message);

// The directory of the running executable (no trailing separator): where the
// module is looked for.
std::string ProgramDirectory();
std::string AbsolutePath(const std::string& path);

bool ReadFile(const std::string& path, std::string* contents, std::string* error);

// "auto" (valid UTF-8 is UTF-8, anything else GB18030), "utf8"/"utf-8",
// "gbk"/"cp936"/"gb18030".
bool ParseEncoding(std::string_view text, host::TextEncoding* out);

bool StderrIsTerminal();

// Number of result rows in a result file: its lines less the header; -1 when
// the file cannot be read.
int64_t CountFileRows(const std::string& path);

// One line of progress on standard error, redrawn at most ten times a
// second, only when standard error is a terminal.
class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool enabled() const { return enabled_; }
  void Show(const std::string& text);
  // Removes the line.
  void Clear();

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace vocs::cli

#endif  // VOCS_CLI_CLI_COMMON_H_
