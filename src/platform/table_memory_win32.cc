// Table memory on Windows: small requests from the aligned heap of the C
// runtime, large ones reserved with one huge page to spare and committed from
// the first huge page boundary in the reservation. Committed pages read as
// zeros and are made resident as they are touched, as on POSIX. Windows gives
// large pages only to processes holding a privilege that servers rarely
// have, so the alignment is all that is asked for.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <malloc.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "platform/table_memory.h"

namespace vocs {

namespace {

constexpr size_t kHeapAlignment = 64;

size_t RoundUp(size_t n, size_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

void* AllocateTableMemory(size_t bytes) {
  if (bytes < kHugePageBytes) {
    const size_t size = RoundUp(bytes == 0 ? 1 : bytes, kHeapAlignment);
    void* memory = ::_aligned_malloc(size, kHeapAlignment);
    if (memory == nullptr) throw std::bad_alloc();
    std::memset(memory, 0, size);
    return memory;
  }
  const size_t size = RoundUp(bytes, kHugePageBytes);
  if (size + kHugePageBytes < size) throw std::bad_alloc();
  void* reserved = ::VirtualAlloc(nullptr, size + kHugePageBytes, MEM_RESERVE, PAGE_NOACCESS);
  if (reserved == nullptr) throw std::bad_alloc();
  const uintptr_t aligned = RoundUp(reinterpret_cast<uintptr_t>(reserved), kHugePageBytes);
  void* memory = ::VirtualAlloc(reinterpret_cast<void*>(aligned), size, MEM_COMMIT, PAGE_READWRITE);
  if (memory == nullptr) {
    ::VirtualFree(reserved, 0, MEM_RELEASE);
    throw std::bad_alloc();
  }
  return memory;
}

void FreeTableMemory(void* memory, size_t bytes) noexcept {
  if (memory == nullptr) return;
  if (bytes < kHugePageBytes) {
    ::_aligned_free(memory);
    return;
  }
  // The whole reservation goes, from its own start.
  MEMORY_BASIC_INFORMATION info;
  if (::VirtualQuery(memory, &info, sizeof(info)) == 0) return;
  ::VirtualFree(info.AllocationBase, 0, MEM_RELEASE);
}

}  // namespace vocs
