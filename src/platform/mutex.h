// Mutex: the lock of the platform, a critical section on Windows and a
// std::mutex elsewhere (chosen by the build: mutex_win32.cc, mutex_posix.cc).
//
// Not recursive. lock() and unlock() are spelled as the standard library
// expects, so that std::lock_guard and std::unique_lock hold it. The lock
// lives inside the object (no allocation), which must not be moved or copied.
#ifndef VOCS_PLATFORM_MUTEX_H_
#define VOCS_PLATFORM_MUTEX_H_

#include <cstddef>

namespace vocs {

class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock();
  void unlock();

 private:
  // Room for the platform's lock object: a CRITICAL_SECTION is 24 bytes on
  // 32-bit Windows and 40 on 64-bit; a std::mutex is at most 40 on the
  // platforms we build for. The implementations check that theirs fits.
  static constexpr size_t kStorageSize = 64;
  alignas(alignof(std::max_align_t)) unsigned char storage_[kStorageSize];
};

}  // namespace vocs

#endif  // VOCS_PLATFORM_MUTEX_H_
