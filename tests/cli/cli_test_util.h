// Running the built vocs command in tests: a scratch home directory holding
// copies of the command and the module (the module resolves relative names
// beside the executable), and a runner that captures output and exit code.
#ifndef VOCS_TESTS_CLI_CLI_TEST_UTIL_H_
#define VOCS_TESTS_CLI_CLI_TEST_UTIL_H_

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/module_loader.h"
#include "host/host_test_util.h"

namespace vocs::cli::testing {

using host::testing::ReadWholeFile;
using host::testing::TempDir;

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Starts `program` with `args` in `cwd`, its standard streams on the given
// descriptors (the child closes `close_fd` when it is not -1).
inline pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
                   const std::string& cwd, int in, int out, int err, int close_fd = -1) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (close_fd >= 0) close(close_fd);
    if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Exit code of a finished child: its own, or 128 + the signal that ended it.
inline int WaitFor(pid_t pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Output files for a child, opened for writing.
struct OutputFiles {
  TempDir io;
  std::string out_path = io.Sub("out");
  std::string err_path = io.Sub("err");
  int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ~OutputFiles() {
    close(out);
    close(err);
  }
};

// Runs `program` with `args` in `cwd`, `input` on standard input.
inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& cwd, const std::string& input = "") {
  OutputFiles files;
  const std::string in_path = files.io.Write("in", input);
  const int in = open(in_path.c_str(), O_RDONLY | O_CLOEXEC);
  RunResult result;
  result.exit_code = WaitFor(Spawn(program, args, cwd, in, files.out, files.err));
  close(in);
  result.out = ReadWholeFile(files.out_path);
  result.err = ReadWholeFile(files.err_path);
  return result;
}

// A program started in the background, its output going to files.
class Started {
 public:
  Started(const std::string& program, const std::vector<std::string>& args,
          const std::string& cwd) {
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = Spawn(program, args, cwd, in, files_.out, files_.err);
    close(in);
  }
  ~Started() {
    if (!waited_ && pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }

  pid_t pid() const { return pid_; }
  void Signal(int signal) const { kill(pid_, signal); }
  // Whether the program still runs.
  bool Running() const { return !waited_ && waitpid(pid_, nullptr, WNOHANG) == 0; }

  RunResult Wait() {
    if (!waited_ && pid_ > 0) {
      waited_ = true;
      result_.exit_code = WaitFor(pid_);
      result_.out = ReadWholeFile(files_.out_path);
      result_.err = ReadWholeFile(files_.err_path);
    }
    return result_;
  }

 private:
  OutputFiles files_;
  pid_t pid_ = -1;
  bool waited_ = false;
  RunResult result_;
};

// Runs `program` with standard error on a pseudo-terminal (standard output
// in a file); returns everything written to the terminal.
inline RunResult RunOnTerminal(const std::string& program, const std::vector<std::string>& args,
                               const std::string& cwd) {
  RunResult result;
  int master = -1;
  int slave = -1;
  struct winsize size = {};
  size.ws_col = 200;
  size.ws_row = 24;
  if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) return result;
  OutputFiles files;
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn(program, args, cwd, in, files.out, slave, master);
  close(in);
  close(slave);
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the program has closed the terminal
    result.err.append(buffer, static_cast<size_t>(n));
  }
  close(master);
  result.exit_code = WaitFor(pid);
  result.out = ReadWholeFile(files.out_path);
  return result;
}

// Polls `ready` every 2 ms for up to `seconds`; whether it became true.
template <typename Ready>
bool WaitUntil(Ready ready, double seconds = 60) {
  for (int i = 0; i < seconds * 500; ++i) {
    if (ready()) return true;
    usleep(2000);
  }
  return false;
}

// A home directory with the command and the module copied into it, and a
// working directory beside it.
class CommandHome {
 public:
  CommandHome() {
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(work());
    std::filesystem::copy_file(VOCS_CLI_BINARY, vocs());
    std::filesystem::copy_file(std::filesystem::canonical(VOCS_MODULE_LIBRARY),
                               home() + "/libvocs.so");
  }

  std::string home() const { return dir_.Sub("home"); }
  std::string work() const { return dir_.Sub("work"); }
  std::string vocs() const { return home() + "/vocs"; }
  std::string db() const { return work() + "/test.db"; }
  const TempDir& dir() const { return dir_; }

  bool has_factory() const { return HasModuleFactory(home() + "/libvocs.so"); }

  RunResult Vocs(const std::vector<std::string>& args, const std::string& input = "") const {
    return RunProgram(vocs(), args, work(), input);
  }

 private:
  TempDir dir_;
};

// Rows of an SQL query on a database file as "a|b;c|d" (REAL values with four
// decimals, NULL as "null"), or "error: ...".
inline std::string QueryDb(const std::string& db_path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "error: cannot open " + db_path;
  }
  sqlite3_stmt* stmt = nullptr;
  std::string out;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    out = std::string("error: ") + sqlite3_errmsg(db);
  } else {
    bool first = true;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      if (!first) out += ";";
      first = false;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (i > 0) out += "|";
        switch (sqlite3_column_type(stmt, i)) {
          case SQLITE_NULL: out += "null"; break;
          case SQLITE_FLOAT: {
            char number[64];
            snprintf(number, sizeof number, "%.4f", sqlite3_column_double(stmt, i));
            out += number;
            break;
          }
          default: out += reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        }
      }
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return out;
}

}  // namespace vocs::cli::testing

#endif  // VOCS_TESTS_CLI_CLI_TEST_UTIL_H_
