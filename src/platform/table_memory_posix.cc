// Table memory on POSIX: the aligned heap of the C library, and anonymous
// mappings marked for transparent huge pages.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "platform/table_memory.h"
#include "platform/table_memory_system.h"

namespace vocs::table_memory_system {

void* AllocateAligned(size_t bytes, size_t alignment) {
  return std::aligned_alloc(alignment, bytes);
}

void FreeAligned(void* memory) noexcept { std::free(memory); }

void* MapHugeAligned(size_t bytes) {
  // Map one huge page more than needed, then give back the unaligned head
  // and the tail, so that the region starts on a huge page boundary.
  void* mapped = ::mmap(nullptr, bytes + kHugePageBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  if (aligned > start) ::munmap(mapped, aligned - start);
  const size_t tail = start + bytes + kHugePageBytes - (aligned + bytes);
  if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
  void* memory = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  // Only advice: without huge pages the table works the same, more slowly.
  ::madvise(memory, bytes, MADV_HUGEPAGE);
#endif
  return memory;
}

void UnmapHugeAligned(void* memory, size_t bytes) noexcept { ::munmap(memory, bytes); }

}  // namespace vocs::table_memory_system
