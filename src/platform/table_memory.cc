#include "platform/table_memory.h"

#include <cstring>
#include <new>

#include "platform/table_memory_system.h"

namespace vocs {

namespace {

constexpr size_t kHeapAlignment = 64;

size_t RoundUp(size_t n, size_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

void* AllocateTableMemory(size_t bytes) {
  if (bytes < kHugePageBytes) {
    const size_t size = RoundUp(bytes == 0 ? 1 : bytes, kHeapAlignment);
    void* memory = table_memory_system::AllocateAligned(size, kHeapAlignment);
    if (memory == nullptr) throw std::bad_alloc();
    std::memset(memory, 0, size);
    return memory;
  }
  const size_t size = RoundUp(bytes, kHugePageBytes);
  // The region is asked for with one huge page to spare for its alignment.
  if (size < bytes || size + kHugePageBytes < size) throw std::bad_alloc();
  void* memory = table_memory_system::MapHugeAligned(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void FreeTableMemory(void* memory, size_t bytes) noexcept {
  if (memory == nullptr) return;
  if (bytes < kHugePageBytes) {
    table_memory_system::FreeAligned(memory);
    return;
  }
  table_memory_system::UnmapHugeAligned(memory, RoundUp(bytes, kHugePageBytes));
}

}  // namespace vocs
