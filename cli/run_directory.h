// RunDirectory: the private directory of one statement run of the command,
// where the module's work files and load files go.
//
// The module writes its spill and merge files into the statement's TEMPPATH
// and a table's load files beside the table's output path; the command points
// both into a directory of its own, ".vocs-run-<pid>-<n>" below a parent it
// chooses (beside the database or the result file, or --work-dir), so that
// they land where the user may write, on the disk that receives the result,
// and can be removed whole when the run ends, fails or is interrupted.
//
// While a run lives its directory holds a locked file ("lock", flock). A
// directory whose lock is free belongs to a run that died without cleaning up
// (killed, power lost); SweepDeadRuns removes those.
//
// Threads: Remove may be called from another thread than the one that made
// the directory (the command's interrupt handling does).
#ifndef VOCS_CLI_RUN_DIRECTORY_H_
#define VOCS_CLI_RUN_DIRECTORY_H_

#include <atomic>
#include <memory>
#include <string>

namespace vocs::cli {

class RunDirectory {
 public:
  // Makes a new run directory below `parent` (made when missing) and locks
  // it. Null with *error set when that fails.
  static std::unique_ptr<RunDirectory> Make(const std::string& parent, std::string* error);
  // Removes the directory and everything in it.
  ~RunDirectory();
  RunDirectory(const RunDirectory&) = delete;
  RunDirectory& operator=(const RunDirectory&) = delete;

  const std::string& path() const { return path_; }
  // Where the module's spill and merge files go (made by the module).
  std::string work() const { return path_ + "/work"; }
  // Where a table's load files go (made by the module).
  std::string load() const { return path_ + "/load"; }

  // Removes the directory and everything in it now; the parent directories
  // Make had to create go too when they are left empty. Idempotent.
  void Remove();

 private:
  RunDirectory(std::string parent, std::string path, int lock_fd, std::string made)
      : parent_(std::move(parent)), path_(std::move(path)), lock_fd_(lock_fd),
        made_(std::move(made)) {}

  std::string parent_;
  std::string path_;
  int lock_fd_;
  std::string made_;  // the outermost parent directory Make created, or ""
  std::atomic<bool> removed_{false};
};

// Removes the run directories below `parent` whose runs are gone. Returns
// how many it removed.
int SweepDeadRuns(const std::string& parent);

}  // namespace vocs::cli

#endif  // VOCS_CLI_RUN_DIRECTORY_H_
