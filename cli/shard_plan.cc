#include "cli/shard_plan.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <charconv>
#include <chrono>
#include <set>
#include <thread>


extern char** environ;

namespace vocs::cli {

namespace {

bool ParsePositive(std::string_view text, int32_t* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size() && *value >= 1;
}

}  // namespace

bool ParseShard(const std::string& text, int32_t* shard, int32_t* shards) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return false;
  return ParsePositive(std::string_view(text).substr(0, slash), shard) &&
         ParsePositive(std::string_view(text).substr(slash + 1), shards) && *shard <= *shards;
}

bool CanShard(const RunJob& job) {
  if (!job.plan.reads_files()) return true;
  if (job.plan.is_cooccurrence()) return false;
  // A file reached twice (named and in a named directory) would count twice
  // in one run but once as a shard's file.
  std::set<std::string> seen;
  for (const InputFile& input : job.inputs) {
    if (!seen.insert(input.path).second) return false;
  }
  return true;
}

std::string StatementFingerprint(const RunJob& job) {
  const StatCommand& c = job.plan.command;
  std::string text = std::to_string(c.kind) + '\x1f' + std::to_string(c.minFrequency) + '\x1f' +
                     std::to_string(c.sourceKind) + '\x1f' + c.query;
  for (const FieldSource& field : c.fields) {
    text += '\x1f' + field.name + '\x1e' + std::to_string(field.mode) + '\x1e' + field.delimiters;
  }
  for (const std::string& file : job.files) text += '\x1f' + file;
  // 64-bit FNV-1a.
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char ch : text) {
    hash ^= static_cast<unsigned char>(ch);
    hash *= 0x100000001b3ull;
  }
  char hex[17];
  for (int i = 15, shift = 0; i >= 0; --i, shift += 4) {
    hex[i] = "0123456789abcdef"[(hash >> shift) & 15];
  }
  hex[16] = '\0';
  return hex;
}

std::vector<std::string> ShardFiles(const RunJob& job, int32_t shard, int32_t shards,
                                    host::TextCodec* codec, bool* files_given) {
  std::vector<std::string> files;
  *files_given = false;
  if (!job.plan.reads_files()) return files;  // the host splits a query's records
  if (!CanShard(job)) {
    // Shard 1 runs the statement as it is; the others count nothing.
    *files_given = shard > 1;
    return files;
  }
  *files_given = true;
  const int64_t n = static_cast<int64_t>(job.inputs.size());
  const int64_t begin = n * (shard - 1) / shards;
  const int64_t end = n * shard / shards;
  for (int64_t i = begin; i < end; ++i) {
    std::string bytes;
    codec->Utf8ToGb18030(job.inputs[static_cast<size_t>(i)].path, &bytes);
    files.push_back(std::move(bytes));
  }
  return files;
}

ShardProgress::ShardProgress() {
  const char* path = std::getenv(kShardProgressVariable);
  if (path != nullptr && *path != '\0') fd_ = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
}

ShardProgress::~ShardProgress() {
  if (fd_ >= 0) ::close(fd_);
}

void ShardProgress::OnRecord(int64_t record, int64_t count) {
  if (fd_ < 0) return;
  record_ = record;
  count_ = count;
  const auto now = std::chrono::steady_clock::now();
  if (record != count && now - last_ < std::chrono::milliseconds(50)) return;
  last_ = now;
  Write();
}

void ShardProgress::Finish(int64_t replaced_characters) {
  if (fd_ < 0) return;
  replaced_ = replaced_characters;
  Write();
}

void ShardProgress::Write() {
  // One fixed-width line written in place, so a reader never sees two.
  char line[72];
  const int n = std::snprintf(line, sizeof line, "%20lld %20lld %20lld\n",
                              static_cast<long long>(record_), static_cast<long long>(count_),
                              static_cast<long long>(replaced_));
  if (n > 0 && ::pwrite(fd_, line, static_cast<size_t>(n), 0) < 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool ShardProgress::Read(const std::string& path, int64_t* record, int64_t* count,
                         int64_t* replaced) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char line[72] = {};
  const ssize_t n = ::pread(fd, line, sizeof line - 1, 0);
  ::close(fd);
  long long r = 0;
  long long c = 0;
  long long x = 0;
  if (n <= 0 || std::sscanf(line, "%lld %lld %lld", &r, &c, &x) != 3) return false;
  *record = r;
  *count = c;
  if (replaced != nullptr) *replaced = x;
  return true;
}

bool ShardProcesses::Start(const std::vector<std::string>& arguments, int32_t shard,
                           const std::string& log, const std::string& progress,
                           std::string* error) {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    *error = "cannot find this program to start its shards";
    return false;
  }
  self[length] = '\0';
  std::vector<std::string> argv_strings = {self};
  argv_strings.insert(argv_strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argv_strings) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The environment, with the progress file.
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).rfind(std::string(kShardProgressVariable) + "=", 0) != 0) {
      env_strings.push_back(*e);
    }
  }
  env_strings.push_back(std::string(kShardProgressVariable) + "=" + progress);
  std::vector<char*> envp;
  for (std::string& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot write " + log;
    return false;
  }
  std::lock_guard lock(mutex_);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The child: its output to the log; signals as a fresh program has them.
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(self, argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(fd);
  if (pid < 0) {
    *error = "cannot start a shard process";
    return false;
  }
  children_.push_back(Child{pid, shard, log, progress, -1});
  return true;
}

bool ShardProcesses::WaitAll(Child* failed,
                             const std::function<void(int64_t, int64_t)>& poll) {
  bool ok = true;
  for (;;) {
    bool running = false;
    {
      std::lock_guard lock(mutex_);
      if (poll) {
        int64_t records = 0;
        int64_t count = 0;
        for (const Child& child : children_) {
          int64_t r = 0;
          int64_t c = 0;
          if (ShardProgress::Read(child.progress, &r, &c)) {
            records += r;
            count += c;
          }
        }
        poll(records, count);
      }
      for (Child& child : children_) {
        if (child.status >= 0) continue;
        int status = 0;
        const pid_t done = ::waitpid(child.pid, &status, WNOHANG);
        if (done == 0) {
          running = true;
          continue;
        }
        child.status = done < 0 ? 1
                       : WIFEXITED(status) ? WEXITSTATUS(status)
                                           : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        if (child.status != 0 && ok) {
          ok = false;
          *failed = child;
          // No shard's partial is of use without this one.
          for (const Child& other : children_) {
            if (other.status < 0) ::kill(other.pid, SIGTERM);
          }
        }
      }
    }
    if (!running) return ok;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void ShardProcesses::Stop() {
  std::lock_guard lock(mutex_);
  for (const Child& child : children_) {
    if (child.status < 0) ::kill(child.pid, SIGTERM);
  }
}

}  // namespace vocs::cli
