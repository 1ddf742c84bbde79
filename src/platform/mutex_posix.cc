// The platform lock on POSIX systems: a std::mutex.
#include <mutex>
#include <new>

#include "platform/mutex.h"

namespace vocs {

namespace {
std::mutex* Get(unsigned char* storage) {
  return std::launder(reinterpret_cast<std::mutex*>(storage));
}
}  // namespace

Mutex::Mutex() {
  static_assert(sizeof(std::mutex) <= kStorageSize &&
                alignof(std::mutex) <= alignof(std::max_align_t));
  new (storage_) std::mutex();
}

Mutex::~Mutex() { Get(storage_)->~mutex(); }

void Mutex::lock() { Get(storage_)->lock(); }

void Mutex::unlock() { Get(storage_)->unlock(); }

}  // namespace vocs
