// The Win32 implementation of Env, on the kernel services of the "A" family.
//
// Paths are handed to the system exactly as the module holds them: bytes in
// the process's ANSI code page (936 on the systems the module is made for),
// which the "A" functions convert themselves. Nothing here converts names.
//
// Files are opened in binary mode: the bytes written are the bytes stored,
// as on POSIX, so temporary files read the same on both platforms.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string>

#include "platform/buffered_file.h"
#include "platform/env.h"
#include "platform/mbcs.h"

namespace vocs {

namespace {

// The longest path the "A" functions take without the "\\?\" prefix, which
// the module never uses.
constexpr DWORD kMaxSystemPath = MAX_PATH;

int MapLastError(DWORD error) {
  switch (error) {
    case ERROR_PATH_NOT_FOUND:
      return kErrorPathNotFound;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return kErrorAlreadyExists;
    default:
      return error == 0 ? -1 : static_cast<int>(error);
  }
}

// The directory part of a file name, up to and including its last
// separator (a whole character, never a trail byte); "." when there is none.
std::string DirectoryOf(const std::string& path) {
  size_t sep = FindLastMbcs(path, '\\');
  return sep == std::string::npos ? std::string(".") : path.substr(0, sep + 1);
}

class Win32WritableFile final : public BufferedWritableFile {
 public:
  explicit Win32WritableFile(HANDLE handle) : handle_(handle) {}
  ~Win32WritableFile() override { Close(); }

 private:
  bool WriteToSystem(const char* data, size_t n) override {
    while (n > 0) {
      DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
      DWORD written = 0;
      if (!::WriteFile(handle_, data, chunk, &written, nullptr) || written == 0) return false;
      data += written;
      n -= written;
    }
    return true;
  }

  bool CloseInSystem() override { return ::CloseHandle(handle_) != 0; }

  HANDLE handle_;
};

class Win32SequentialFile final : public SequentialFile {
 public:
  explicit Win32SequentialFile(HANDLE handle) : handle_(handle) {}
  ~Win32SequentialFile() override { ::CloseHandle(handle_); }

  int64_t Read(char* buffer, size_t n) override {
    DWORD chunk = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer, chunk, &got, nullptr)) return -1;
    return got;
  }

 private:
  HANDLE handle_;
};

// Other processes and runs may read, replace or delete a file while it is
// open, as on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition) {
  return ::CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

class Win32Env final : public Env {
 public:
  bool GetExecutablePath(std::string* path) override {
    // The process's executable (a null module), not this library.
    char buffer[kMaxSystemPath + 1];
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
    if (n == 0 || n >= sizeof(buffer)) return false;
    path->assign(buffer, n);
    return true;
  }

  bool GetAttributes(const std::string& path, bool* is_directory) override {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    *is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
  }

  // Volume serial number and file index; a directory is opened with backup
  // semantics, the only way CreateFile opens one, and junctions are
  // followed.
  bool GetIdentity(const std::string& path, FileIdentity* identity) override {
    HANDLE handle = ::CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    if (!ok) return false;
    identity->device = info.dwVolumeSerialNumber;
    identity->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
  }

  int CreateDir(const std::string& path) override {
    if (::CreateDirectoryA(path.c_str(), nullptr)) return 0;
    return MapLastError(::GetLastError());
  }

  bool RemoveDir(const std::string& path) override {
    return ::RemoveDirectoryA(path.c_str()) != 0;
  }

  bool RemoveFile(const std::string& path) override { return ::DeleteFileA(path.c_str()) != 0; }

  bool ListDirectory(const std::string& path,
                     std::vector<DirectoryEntry>* entries) override {
    std::string pattern = path;
    if (!pattern.empty() && !EndsWithMbcs(pattern, '\\') && !EndsWithMbcs(pattern, '/')) {
      pattern.push_back('\\');
    }
    pattern += "*.*";
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
      // Only a drive's root can hold no entry at all, not even "." and "..".
      return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    std::vector<DirectoryEntry> found;
    bool ok = true;
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      // A name with a character the code page cannot hold comes back with
      // '?' in its place, which no real name contains. Such a file cannot be
      // opened by that name: fail the listing rather than skip it silently.
      if (FindLastMbcs(name, '?') != std::string::npos) {
        ok = false;
        break;
      }
      found.push_back({std::move(name), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileA(find, &data));
    if (ok && ::GetLastError() != ERROR_NO_MORE_FILES) ok = false;
    ::FindClose(find);
    if (!ok) return false;
    entries->insert(entries->end(), std::make_move_iterator(found.begin()),
                    std::make_move_iterator(found.end()));
    return true;
  }

  bool RenameFile(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
  }

  bool CopyFileTo(const std::string& from, const std::string& to) override {
    // Copy beside the target, then move over it, so that the target is
    // either the old file or the whole new one.
    std::string temporary;
    if (!CreateTempFile(DirectoryOf(to), "cpy", &temporary)) return false;
    bool ok = ::CopyFileA(from.c_str(), temporary.c_str(), FALSE) &&
              ::MoveFileExA(temporary.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!ok) ::DeleteFileA(temporary.c_str());
    return ok;
  }

  bool CreateTempFile(const std::string& directory, const std::string& prefix,
                      std::string* path) override {
    // The system keeps the first three characters of the prefix and adds up
    // to four hexadecimal digits and ".tmp"; it creates the file.
    char buffer[kMaxSystemPath + 1];
    if (::GetTempFileNameA(directory.c_str(), prefix.c_str(), 0, buffer) == 0) return false;
    path->assign(buffer);
    return true;
  }

  bool CreateNewFile(const std::string& path) override {
    HANDLE handle = OpenFile(path, GENERIC_WRITE, CREATE_NEW);
    if (handle == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(handle);
    return true;
  }

  uint32_t TickCount() override { return ::GetTickCount(); }

  int Random() override { return NeverSeededRandom(); }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    HANDLE handle = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32WritableFile>(handle);
  }

  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
    HANDLE handle = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32SequentialFile>(handle);
  }
};

}  // namespace

Env* Env::Default() {
  static Win32Env env;
  return &env;
}

}  // namespace vocs
