#include "host/table_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace vocs::host {

namespace {

// The byte that stands for a table: a 64-bit FNV-1a hash of the name with
// ASCII letters folded, kept below 2^62 so that it is a valid positive offset.
off_t LockOffset(std::string_view table) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : table) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
    hash = (hash ^ byte) * 1099511628211ull;
  }
  return static_cast<off_t>(hash & ((uint64_t{1} << 62) - 1));
}

struct flock ByteAt(off_t offset, short type) {
  struct flock lock;
  std::memset(&lock, 0, sizeof lock);
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  return lock;
}

}  // namespace

std::unique_ptr<TableLockFile> TableLockFile::Open(const std::string& database_path,
                                                   std::string* error) {
  // The real path, so that every name of one database finds one lock file.
  char resolved[PATH_MAX];
  const std::string base =
      realpath(database_path.c_str(), resolved) != nullptr ? resolved : database_path;
  const std::string path = base + "-vocslock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = "cannot open the lock file " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<TableLockFile>(new TableLockFile(fd, path));
}

TableLockFile::~TableLockFile() { ::close(fd_); }

bool TableLockFile::TryLock(std::string_view table) {
  struct flock lock = ByteAt(LockOffset(table), F_WRLCK);
  while (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void TableLockFile::Unlock(std::string_view table) {
  struct flock lock = ByteAt(LockOffset(table), F_UNLCK);
  ::fcntl(fd_, F_OFD_SETLK, &lock);
}

}  // namespace vocs::host
