#include "support/peak_memory.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vocs::bench {

namespace {

// The value of a "Name:   1234 kB" line of /proc/self/status, in bytes.
size_t StatusValue(const char* name) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  size_t value = 0;
  const size_t n = std::strlen(name);
  while (std::fgets(line, sizeof(line), f) != nullptr) {
    if (std::strncmp(line, name, n) == 0 && line[n] == ':') {
      unsigned long long kb = 0;
      if (std::sscanf(line + n + 1, "%llu", &kb) == 1) value = static_cast<size_t>(kb) * 1024;
      break;
    }
  }
  std::fclose(f);
  return value;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

size_t PeakResidentBytes() {
  size_t peak = StatusValue("VmHWM");
  if (peak != 0) return peak;
  struct rusage usage;
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

size_t CurrentResidentBytes() { return StatusValue("VmRSS"); }

bool ResetPeakResident() {
  int fd = ::open("/proc/self/clear_refs", O_WRONLY);
  if (fd < 0) return false;
  bool ok = ::write(fd, "5", 1) == 1;
  ::close(fd);
  return ok;
}

bool RunInChild(const std::function<std::string()>& body, std::string* output) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (pid == 0) {
    ::close(fds[0]);
    ResetPeakResident();
    bool ok = WriteAll(fds[1], body());
    ::close(fds[1]);
    std::fflush(nullptr);
    ::_exit(ok ? 0 : 1);
  }
  ::close(fds[1]);
  output->clear();
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fds[0], buffer, sizeof(buffer));
    if (n <= 0) break;
    output->append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace vocs::bench
