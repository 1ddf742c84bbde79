#include "cli/run_directory.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace vocs::cli {

namespace {

constexpr const char* kPrefix = ".vocs-run-";

// Removes `directory` and its parents up to `top` as long as they are empty;
// nothing when `top` is empty.
void RemoveEmptyUpTo(const std::filesystem::path& directory, const std::filesystem::path& top) {
  if (top.empty()) return;
  std::error_code ec;
  for (std::filesystem::path p = directory; !p.empty(); p = p.parent_path()) {
    if (!std::filesystem::remove(p, ec) || p == top) return;  // remove() keeps full ones
  }
}

}  // namespace

std::unique_ptr<RunDirectory> RunDirectory::Make(const std::string& parent, std::string* error) {
  namespace fs = std::filesystem;
  static std::atomic<unsigned> sequence{0};
  std::error_code ec;
  // The outermost directory made here, removed again when left empty.
  fs::path made;
  for (fs::path p = parent; !p.empty() && p != p.parent_path() && !fs::exists(p, ec);
       p = p.parent_path()) {
    made = p;
  }
  fs::create_directories(parent, ec);
  if (ec) {
    *error = "cannot make the directory " + parent + " for the work files: " + ec.message();
    RemoveEmptyUpTo(parent, made);
    return nullptr;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = parent + "/" + kPrefix + std::to_string(::getpid()) + "-" +
                             std::to_string(sequence.fetch_add(1));
    if (::mkdir(path.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      *error = "cannot make a work directory in " + parent + ": " + std::strerror(errno);
      RemoveEmptyUpTo(parent, made);
      return nullptr;
    }
    const std::string lock = path + "/lock";
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      *error = "cannot lock the work directory " + path + ": " + std::strerror(errno);
      if (fd >= 0) ::close(fd);
      fs::remove_all(path, ec);
      RemoveEmptyUpTo(parent, made);
      return nullptr;
    }
    return std::unique_ptr<RunDirectory>(new RunDirectory(parent, path, fd, made.string()));
  }
  *error = "cannot make a work directory in " + parent + ": every name is taken";
  return nullptr;
}

RunDirectory::~RunDirectory() { Remove(); }

void RunDirectory::Remove() {
  if (removed_.exchange(true)) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  ::close(lock_fd_);  // after the removal: the directory stays claimed until it is gone
  RemoveEmptyUpTo(parent_, made_);
}

int SweepDeadRuns(const std::string& parent) {
  namespace fs = std::filesystem;
  std::error_code ec;
  int removed = 0;
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(kPrefix, 0) != 0 || !it->is_directory(ec)) continue;
    // A directory made moments ago may not hold its locked file yet.
    const auto age = fs::file_time_type::clock::now() - it->last_write_time(ec);
    if (ec || age < std::chrono::seconds(10)) continue;
    const std::string lock = it->path().string() + "/lock";
    const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;  // being made or being removed
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      std::error_code ignored;
      fs::remove_all(it->path(), ignored);
      ++removed;
    }
    ::close(fd);
  }
  return removed;
}

}  // namespace vocs::cli
