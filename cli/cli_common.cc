#include "cli/cli_common.h"

#include "cli/commands.h"
#include "cli/text_table.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace vocs::cli {

int MatchOption(const Args& args, size_t* i, std::string_view name, std::string* value) {
  const std::string& arg = args[*i];
  if (arg == name) {
    if (*i + 1 >= args.size()) return -1;
    *value = args[*i + 1];
    *i += 1;
    return 1;
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
      arg[name.size()] == '=') {
    *value = arg.substr(name.size() + 1);
    return 1;
  }
  return 0;
}

int UsageError(std::string_view command, std::string_view message) {
  std::cerr << "vocs " << command << ": " << message << "\n"
            << "Try 'vocs " << command << " --help'.\n";
  return kExitUsage;
}

int Fail(int code, std::string_view message) {
  std::cerr << "vocs: " << message << "\n";
  return code;
}

std::string ProgramDirectory() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return exe.parent_path().string();
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

bool ReadFile(const std::string& path, std::string* contents, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  *contents = text.str();
  return true;
}

bool ParseEncoding(std::string_view text, host::TextEncoding* out) {
  if (text == "auto") {
    *out = host::TextEncoding::kUtf8WhenValid;
  } else if (text == "utf8" || text == "utf-8" || text == "UTF-8") {
    *out = host::TextEncoding::kUtf8;
  } else if (text == "gbk" || text == "GBK" || text == "cp936" || text == "gb18030" ||
             text == "GB18030") {
    *out = host::TextEncoding::kGb18030;
  } else {
    return false;
  }
  return true;
}

const char* Version() { return VOCS_VERSION; }

const char* MainHelp() {
  return R"(Usage: vocs COMMAND [OPTIONS] [ARGUMENTS]

vocs runs the term-frequency and co-occurrence statistics of the vocs module
(libvocs.so) over a record database kept in an SQLite file, or over text
files.

Commands:
  import   load text files, TSV, JSON Lines or fortune files into a table
  run      run STAT WORDFREQ / STAT ASSOCIATEDFREQ statements (--jobs N: in N
           processes; --shard K/N --partial FILE: one shard's counts)
  merge    deliver the partial results of a statement's shards as its result
  show     print a result file or table, most frequent first, or its pairs
           ranked by an association measure
  report   write a page of charts and tables about results (HTML, offline)

  vocs COMMAND --help   the options of a command
  vocs --version        the version

File names in statements are taken in the current directory, as by any
command; every run prints the absolute path it wrote. The module's work files
go to a hidden directory beside the database or the result file, removed when
the run ends. Names and texts in any script are kept: vocs hands the module
GB18030, which holds every Unicode character. The statement language is
described in 'vocs run --help' and docs/statements.md; 'vocs show --legend'
explains the result columns.

Exit codes: 0 success; 1 a statement or an input failed; 2 bad command
line; 3 the module or the database cannot be opened; 130 interrupted.
)";
}

int64_t CountFileRows(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  int64_t lines = 0;
  char buffer[65536];
  size_t n = 0;
  bool last_newline = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    for (size_t i = 0; i < n; ++i) lines += buffer[i] == '\n';
    last_newline = buffer[n - 1] == '\n';
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return -1;
  if (!last_newline) ++lines;
  return lines > 0 ? lines - 1 : 0;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

ProgressLine::ProgressLine() : enabled_(StderrIsTerminal()) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Show(const std::string& text) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  shown_ = true;
  // A line longer than the terminal would wrap and could not be redrawn.
  struct winsize size;
  const int columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1
                          ? size.ws_col - 1
                          : 79;
  std::fprintf(stderr, "\r\033[K%s", TruncateToWidth(text, columns).c_str());
  std::fflush(stderr);
}

void ProgressLine::Clear() {
  if (!shown_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace vocs::cli
