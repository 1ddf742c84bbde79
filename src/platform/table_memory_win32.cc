// Table memory on Windows: the aligned heap of the C runtime, and regions
// reserved with one huge page to spare and committed from the first huge
// page boundary in the reservation. Committed pages read as zeros and are
// made resident as they are touched, as on POSIX. Windows gives large pages
// only to processes holding a privilege that servers rarely have, so the
// alignment is all that is asked for.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <malloc.h>
#include <windows.h>

#include <cstdint>

#include "platform/table_memory.h"
#include "platform/table_memory_system.h"

namespace vocs::table_memory_system {

void* AllocateAligned(size_t bytes, size_t alignment) {
  return ::_aligned_malloc(bytes, alignment);
}

void FreeAligned(void* memory) noexcept { ::_aligned_free(memory); }

void* MapHugeAligned(size_t bytes) {
  void* reserved = ::VirtualAlloc(nullptr, bytes + kHugePageBytes, MEM_RESERVE, PAGE_NOACCESS);
  if (reserved == nullptr) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(reserved);
  const uintptr_t aligned = (start + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  void* memory =
      ::VirtualAlloc(reinterpret_cast<void*>(aligned), bytes, MEM_COMMIT, PAGE_READWRITE);
  if (memory == nullptr) ::VirtualFree(reserved, 0, MEM_RELEASE);
  return memory;
}

void UnmapHugeAligned(void* memory, size_t) noexcept {
  // The whole reservation goes, from its own start.
  MEMORY_BASIC_INFORMATION info;
  if (::VirtualQuery(memory, &info, sizeof(info)) == 0) return;
  ::VirtualFree(info.AllocationBase, 0, MEM_RELEASE);
}

}  // namespace vocs::table_memory_system
