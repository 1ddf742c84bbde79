// Platform-neutral parts of the platform layer.
#include <atomic>
#include <mutex>

#include "platform/env.h"
#include "platform/mutex.h"

namespace vocs {

namespace {
std::atomic<Env*> current_env{nullptr};
}  // namespace

Env* CurrentEnv() {
  Env* env = current_env.load(std::memory_order_acquire);
  return env != nullptr ? env : Env::Default();
}

ScopedEnvForTesting::ScopedEnvForTesting(Env* env) : previous_(CurrentEnv()) {
  current_env.store(env, std::memory_order_release);
}

ScopedEnvForTesting::~ScopedEnvForTesting() {
  current_env.store(previous_, std::memory_order_release);
}

int NeverSeededRandom() {
  static Mutex mutex;
  static uint32_t state = 1;
  std::lock_guard<Mutex> lock(mutex);
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7FFF);
}

bool ReadFileToString(Env* env, const std::string& path, std::string* contents) {
  auto file = env->NewSequentialFile(path);
  if (!file) return false;
  contents->clear();
  char buffer[64 * 1024];
  for (;;) {
    int64_t n = file->Read(buffer, sizeof(buffer));
    if (n < 0) return false;
    if (n == 0) return true;
    contents->append(buffer, static_cast<size_t>(n));
  }
}

bool WriteStringToFile(Env* env, const std::string& path, std::string_view contents) {
  auto file = env->NewWritableFile(path);
  if (!file) return false;
  bool ok = file->Append(contents);
  return file->Close() && ok;
}

}  // namespace vocs
