// The platform lock on Windows: a critical section, initialised with the
// object and deleted with it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/mutex.h"

namespace vocs {

namespace {
CRITICAL_SECTION* Get(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
}  // namespace

Mutex::Mutex() {
  static_assert(sizeof(CRITICAL_SECTION) <= kStorageSize &&
                alignof(CRITICAL_SECTION) <= alignof(std::max_align_t));
  InitializeCriticalSection(Get(storage_));
}

Mutex::~Mutex() { DeleteCriticalSection(Get(storage_)); }

void Mutex::lock() { EnterCriticalSection(Get(storage_)); }

void Mutex::unlock() { LeaveCriticalSection(Get(storage_)); }

}  // namespace vocs
