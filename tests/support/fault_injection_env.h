// FaultInjectionEnv: an Env for tests that makes chosen operations fail.
//
// Each kind of operation has a countdown in the manner of SQLite's fault
// tests: FailAfter(op, n, error) lets n calls of that kind succeed and fails
// the next one with `error` (where the operation reports an error code), once
// or, with persistent set, from then on. FailAnyAfter counts the calls of
// all kinds together, to fail the N-th platform call of a whole job. Writes can be made to fail after a
// number of bytes, as a disk that fills up in the middle of a file.
//
// It can also stand in for the executable's path, so that a test decides
// where the program directory is.
//
// It lives with the tests: the product carries no test double.
//
// Thread-safe: counters are guarded by one mutex.
#ifndef VOCS_TESTS_SUPPORT_FAULT_INJECTION_ENV_H_
#define VOCS_TESTS_SUPPORT_FAULT_INJECTION_ENV_H_

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/env.h"

namespace vocs {

enum class EnvOp {
  kGetExecutablePath,
  kGetAttributes,
  kCreateDir,
  kRemoveDir,
  kRemoveFile,
  kListDirectory,
  kRenameFile,
  kCopyFileTo,
  kCreateTempFile,
  kNewWritableFile,
  kCreateNewFile,
  kAppend,  // one WritableFile::Append
  kNewSequentialFile,
  kRead,  // one SequentialFile::Read
  kGetIdentity,
  kCount
};

class FaultInjectionEnv : public EnvWrapper {
 public:
  explicit FaultInjectionEnv(Env* target = Env::Default());

  // Lets `successes` calls of `op` through, then fails the next one (and,
  // when persistent, every later one) with `error`.
  void FailAfter(EnvOp op, int successes, int error = 5, bool persistent = false);
  // Fails every call of `op` from now on.
  void FailAlways(EnvOp op, int error = 5) { FailAfter(op, 0, error, true); }
  // The same countdown over the calls of every kind together: lets
  // `successes` platform calls through, whatever they are, then fails the
  // next one (and, when persistent, every later one).
  void FailAnyAfter(int successes, int error = 5, bool persistent = false);
  // Every file opened for writing from now on accepts `bytes` bytes in all,
  // then fails its writes ("no space left").
  void FillDiskAfter(uint64_t bytes);
  // Stops all injected faults; counters of calls are kept.
  void Reset();

  // Replaces the executable's path (for the program directory).
  void SetExecutablePath(std::string path);

  // How many calls of `op` were made, failed or not.
  int calls(EnvOp op) const;
  // How many calls of any kind were made.
  int all_calls() const;
  // Whether any injected fault fired since construction or Reset.
  bool fired() const;

  bool GetExecutablePath(std::string* path) override;
  bool GetAttributes(const std::string& path, bool* is_directory) override;
  int CreateDir(const std::string& path) override;
  bool RemoveDir(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool ListDirectory(const std::string& path,
                     std::vector<DirectoryEntry>* entries) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool CopyFileTo(const std::string& from, const std::string& to) override;
  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override;
  bool CreateNewFile(const std::string& path) override;
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override;
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override;
  bool GetIdentity(const std::string& path, FileIdentity* identity) override;

  // Used by the files this env hands out.
  bool ShouldFail(EnvOp op, int* error = nullptr);
  bool ConsumeDiskSpace(uint64_t bytes);

 private:
  struct Fault {
    bool armed = false;
    int remaining = 0;
    int error = 0;
    bool persistent = false;
  };

  // Counts one call down; true when the fault fires on it. Under mutex_.
  bool Fire(Fault* fault, int* error);

  mutable std::mutex mutex_;
  std::array<Fault, static_cast<size_t>(EnvOp::kCount)> faults_{};
  Fault any_fault_;
  std::array<int, static_cast<size_t>(EnvOp::kCount)> calls_{};
  std::optional<uint64_t> disk_space_;
  std::optional<std::string> executable_path_;
  bool fired_ = false;
};

}  // namespace vocs

#endif  // VOCS_TESTS_SUPPORT_FAULT_INJECTION_ENV_H_
