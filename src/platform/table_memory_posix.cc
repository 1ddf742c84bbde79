#include "platform/table_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vocs {

namespace {

constexpr size_t kHeapAlignment = 64;

size_t RoundUp(size_t n, size_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

void* AllocateTableMemory(size_t bytes) {
  if (bytes < kHugePageBytes) {
    const size_t size = RoundUp(bytes == 0 ? 1 : bytes, kHeapAlignment);
    void* memory = std::aligned_alloc(kHeapAlignment, size);
    if (memory == nullptr) throw std::bad_alloc();
    std::memset(memory, 0, size);
    return memory;
  }
  // Map one huge page more than needed, then give back the unaligned head
  // and the tail, so that the table starts on a huge page boundary.
  const size_t size = RoundUp(bytes, kHugePageBytes);
  void* mapped = ::mmap(nullptr, size + kHugePageBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = RoundUp(start, kHugePageBytes);
  if (aligned > start) ::munmap(mapped, aligned - start);
  const size_t tail = start + size + kHugePageBytes - (aligned + size);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  void* memory = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  // Only advice: without huge pages the table works the same, more slowly.
  ::madvise(memory, size, MADV_HUGEPAGE);
#endif
  return memory;
}

void FreeTableMemory(void* memory, size_t bytes) noexcept {
  if (memory == nullptr) return;
  if (bytes < kHugePageBytes) {
    std::free(memory);
    return;
  }
  ::munmap(memory, RoundUp(bytes, kHugePageBytes));
}

}  // namespace vocs
