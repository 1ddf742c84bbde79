// The POSIX implementation of Env.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/buffered_file.h"
#include "platform/env.h"
#include "platform/path_codec.h"

namespace vocs {

namespace {

int MapErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case EEXIST:
      return kErrorAlreadyExists;
    default:
      return e == 0 ? -1 : e;
  }
}

class PosixWritableFile final : public BufferedWritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override { Close(); }

 private:
  bool WriteToSystem(const char* data, size_t n) override {
    while (n > 0) {
      ssize_t written = ::write(fd_, data, n);
      if (written < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data += written;
      n -= static_cast<size_t>(written);
    }
    return true;
  }

  bool CloseInSystem() override { return ::close(fd_) == 0; }

  int fd_;
};

class PosixSequentialFile final : public SequentialFile {
 public:
  explicit PosixSequentialFile(int fd) : fd_(fd) {}
  ~PosixSequentialFile() override { ::close(fd_); }

  int64_t Read(char* buffer, size_t n) override {
    for (;;) {
      ssize_t got = ::read(fd_, buffer, n);
      if (got < 0 && errno == EINTR) continue;
      return got;
    }
  }

 private:
  int fd_;
};

class PosixEnv final : public Env {
 public:
  bool GetExecutablePath(std::string* path) override {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer));
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(buffer)) return false;
    path->assign(buffer, static_cast<size_t>(n));
    return true;
  }

  bool GetAttributes(const std::string& path, bool* is_directory) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    *is_directory = S_ISDIR(st.st_mode);
    return true;
  }

  int CreateDir(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) == 0) return 0;
    return MapErrno(errno);
  }

  bool RemoveDir(const std::string& path) override {
    return ::rmdir(path.c_str()) == 0;
  }

  bool RemoveFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool ListDirectory(const std::string& path,
                     std::vector<DirectoryEntry>* entries) override {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return false;
    std::string prefix = path;
    if (!prefix.empty() && prefix.back() != '/') prefix.push_back('/');
    while (struct dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      DirectoryEntry found;
      if (entry->d_type == DT_DIR) {
        found.is_directory = true;
      } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
        const std::string entry_path = prefix + name;
        struct stat st;
        found.is_link = entry->d_type == DT_LNK ||
                        (::lstat(entry_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        found.is_directory = ::stat(entry_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      }
      found.name = std::move(name);
      entries->push_back(std::move(found));
    }
    ::closedir(dir);
    return true;
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    if (!CopyFileTo(from, to)) return false;
    ::unlink(from.c_str());
    return true;
  }

  bool CopyFileTo(const std::string& from, const std::string& to) override {
    // Copy beside the target, then rename over it, so that the target is
    // either the old file or the whole new one.
    std::string directory = to.substr(0, to.rfind('/') + 1);
    std::string temporary;
    if (!CreateTempFile(directory.empty() ? "./" : directory, "cpy", &temporary)) {
      return false;
    }
    bool ok = CopyContents(from, temporary) && ::rename(temporary.c_str(), to.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
  }

  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override {
    static std::atomic<uint32_t> sequence{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      uint32_t unique = (static_cast<uint32_t>(::getpid()) << 16) ^
                        sequence.fetch_add(1, std::memory_order_relaxed) ^ TickCount();
      char part[16];
      std::snprintf(part, sizeof(part), "%X", unique & 0xFFFFFFu);
      std::string candidate = directory + prefix + part + ".tmp";
      int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        *path = std::move(candidate);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  bool CreateNewFile(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }

  uint32_t TickCount() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
  }

  int Random() override { return NeverSeededRandom(); }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixWritableFile>(fd);
  }

  bool GetIdentity(const std::string& path, FileIdentity* identity) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    identity->device = static_cast<uint64_t>(st.st_dev);
    identity->inode = static_cast<uint64_t>(st.st_ino);
    return true;
  }

  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixSequentialFile>(fd);
  }

 private:
  bool CopyContents(const std::string& from, const std::string& to) {
    auto in = NewSequentialFile(from);
    if (!in) return false;
    auto out = NewWritableFile(to);
    if (!out) return false;
    std::string buffer(kWriteBufferSize, '\0');
    for (;;) {
      int64_t n = in->Read(buffer.data(), buffer.size());
      if (n < 0) return false;
      if (n == 0) break;
      if (!out->Append(std::string_view(buffer.data(), static_cast<size_t>(n)))) return false;
    }
    return out->Close();
  }

};

}  // namespace

Env* Env::Default() {
  // The module names files in its code page; the file system in UTF-8.
  static PosixEnv system_env;
  static const std::unique_ptr<Env> env = NewModulePathEnv(&system_env);
  return env.get();
}

}  // namespace vocs
