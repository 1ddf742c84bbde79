// Env: every operating-system service the module uses, behind one interface.
//
// Nothing else in the module calls the operating system. The POSIX
// implementation (env_posix.cc) is the default; a Win32 one can replace it
// without touching any caller. Tests wrap the current Env (EnvWrapper) to make
// chosen operations fail or to move the program directory (their
// FaultInjectionEnv lives in tests/support) and install it for the process
// with ScopedEnvForTesting.
//
// The operations are not named after the Win32 functions behind them
// (GetFileAttributesA, CreateDirectoryA, DeleteFileA, MoveFileExA, ...):
// <windows.h> defines those names as macros, which would rename the methods
// in any file that includes it.
//
// System errors are reported as the Win32 last-error values the path rules
// test for: kErrorPathNotFound and kErrorAlreadyExists; anything else is passed
// on as the platform's own error number.
//
// Threads: an Env is shared by all runs of the process and must be safe to
// call from several threads. Files are used by one thread at a time.
#ifndef VOCS_PLATFORM_ENV_H_
#define VOCS_PLATFORM_ENV_H_

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vocs {

inline constexpr int kErrorPathNotFound = 3;     // ERROR_PATH_NOT_FOUND
inline constexpr int kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS

// A file being written sequentially. Writes are buffered (about 64 KiB); a
// failed write or flush makes every later operation fail too, so a caller may
// check once, at Close.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual bool Append(std::string_view data) = 0;
  virtual bool Flush() = 0;
  // Flushes and closes; false when any write since opening failed. The
  // destructor closes an open file, ignoring errors.
  virtual bool Close() = 0;
  // Bytes appended since the file was opened (the write position).
  virtual uint64_t Position() const = 0;
};

// A file being read sequentially.
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;
  // Reads up to n bytes into buffer: the count read, 0 at end of file, or -1
  // on error.
  virtual int64_t Read(char* buffer, size_t n) = 0;
};

struct DirectoryEntry {
  std::string name;
  // What the entry leads to: for a symbolic link, what the link points at.
  bool is_directory = false;
  // The entry is a symbolic link (or another kind of reparse point).
  bool is_link = false;
};

// What tells one file or directory from every other on the machine, whatever
// name it is reached by: device and inode on POSIX, volume serial number
// and file index on Windows.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

class Env {
 public:
  virtual ~Env() = default;

  // The process-wide POSIX environment. Never deleted. Its paths are in the
  // module's code page; it converts them to the file system's UTF-8 names
  // and back (path_codec.h).
  static Env* Default();

  // Path of the running process's executable (not of this library).
  virtual bool GetExecutablePath(std::string* path) = 0;
  // False when the path's attributes cannot be read (it does not exist).
  virtual bool GetAttributes(const std::string& path, bool* is_directory) = 0;
  // 0 on success, else kErrorPathNotFound, kErrorAlreadyExists or another code.
  virtual int CreateDir(const std::string& path) = 0;
  virtual bool RemoveDir(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // The entries of a directory in the order the file system returns them,
  // without "." and "..". False when the directory cannot be listed.
  virtual bool ListDirectory(const std::string& path,
                             std::vector<DirectoryEntry>* entries) = 0;
  // Moves a file, replacing an existing target, copying across volumes.
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // Copies a file over an existing one, atomically replacing the target.
  virtual bool CopyFileTo(const std::string& from, const std::string& to) = 0;
  // Creates a new empty file named directory + prefix + a unique part + ".tmp"
  // and returns its name, as GetTempFileName does.
  virtual bool CreateTempFile(const std::string& directory,
                              const std::string& prefix, std::string* path) = 0;
  // Milliseconds since an arbitrary start, wrapping at 32 bits.
  virtual uint32_t TickCount() = 0;
  // One draw of the process-wide, never-seeded generator: 0 to 32767.
  virtual int Random() = 0;

  // Creates a new empty file; false when it exists already or cannot be made.
  virtual bool CreateNewFile(const std::string& path) = 0;
  // Creates or truncates a file for writing; null when it cannot be opened.
  virtual std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) = 0;
  // Opens a file for reading; null when it cannot be opened.
  virtual std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) = 0;

  // The identity of the file or directory at `path` (links followed). False
  // when it cannot be read, or on a platform that cannot tell, which is what
  // this default says; callers then go on without it.
  virtual bool GetIdentity(const std::string& path, FileIdentity* identity) {
    (void)path;
    (void)identity;
    return false;
  }
};

// Forwards every operation to another Env, so that a test environment
// overrides only what it changes.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  bool GetExecutablePath(std::string* path) override {
    return target_->GetExecutablePath(path);
  }
  bool GetAttributes(const std::string& path, bool* is_directory) override {
    return target_->GetAttributes(path, is_directory);
  }
  int CreateDir(const std::string& path) override {
    return target_->CreateDir(path);
  }
  bool RemoveDir(const std::string& path) override {
    return target_->RemoveDir(path);
  }
  bool RemoveFile(const std::string& path) override { return target_->RemoveFile(path); }
  bool ListDirectory(const std::string& path,
                     std::vector<DirectoryEntry>* entries) override {
    return target_->ListDirectory(path, entries);
  }
  bool RenameFile(const std::string& from, const std::string& to) override {
    return target_->RenameFile(from, to);
  }
  bool CopyFileTo(const std::string& from, const std::string& to) override {
    return target_->CopyFileTo(from, to);
  }
  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override {
    return target_->CreateTempFile(directory, prefix, path);
  }
  bool CreateNewFile(const std::string& path) override { return target_->CreateNewFile(path); }
  uint32_t TickCount() override { return target_->TickCount(); }
  int Random() override { return target_->Random(); }
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    return target_->NewWritableFile(path);
  }
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    return target_->NewSequentialFile(path);
  }
  bool GetIdentity(const std::string& path, FileIdentity* identity) override {
    return target_->GetIdentity(path, identity);
  }

 private:
  Env* target_;
};

// The Env the module uses: Env::Default() unless a test installed another.
Env* CurrentEnv();

// Installs `env` as CurrentEnv() for the lifetime of this object. Test-only:
// the module's own code never replaces the environment. Not to be used while
// runs are in progress on other threads.
class ScopedEnvForTesting {
 public:
  explicit ScopedEnvForTesting(Env* env);
  ~ScopedEnvForTesting();
  ScopedEnvForTesting(const ScopedEnvForTesting&) = delete;
  ScopedEnvForTesting& operator=(const ScopedEnvForTesting&) = delete;

 private:
  Env* previous_;
};

// The generator behind Env::Random of the platform Envs: one process-wide
// sequence, that of the C runtime's generator when it is never seeded (the
// same in every process), 0 to 32767. Any thread.
int NeverSeededRandom();

// Reads a whole file into *contents, replacing it. False when the file cannot
// be opened or read.
bool ReadFileToString(Env* env, const std::string& path, std::string* contents);

// Writes `contents` to a new file at path (truncating). False on any failure.
bool WriteStringToFile(Env* env, const std::string& path, std::string_view contents);

}  // namespace vocs

#endif  // VOCS_PLATFORM_ENV_H_
