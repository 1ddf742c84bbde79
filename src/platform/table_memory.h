// Table memory: zero-filled storage for the engines' large hash tables, whose
// lookups land at random across the whole table.
//
// A request of kHugePageBytes or more is mapped from the system on its own,
// aligned to kHugePageBytes and marked for transparent huge pages, so that
// random lookups miss the address translation cache far less often and a
// fresh table faults its memory in a few large pages instead of many small
// ones. Its pages are only made resident as they are touched. Smaller
// requests come from the heap (aligned to 64 bytes) and are cleared.
//
// TableArray<T> owns such storage for n values of T; the values are not
// constructed (T must be trivially default constructible and destructible,
// so that the zero bytes, or whatever is written over them, are its values).
// Any thread may allocate and free; an array has one owner.
#ifndef VOCS_PLATFORM_TABLE_MEMORY_H_
#define VOCS_PLATFORM_TABLE_MEMORY_H_

#include <cstddef>
#include <memory>
#include <type_traits>

namespace vocs {

inline constexpr size_t kHugePageBytes = size_t{2} << 20;

// Zero-filled memory of at least `bytes` bytes (1 or more), aligned to 64
// bytes at least. Throws std::bad_alloc when the system refuses.
void* AllocateTableMemory(size_t bytes);
// Gives back memory from AllocateTableMemory with the same `bytes`.
void FreeTableMemory(void* memory, size_t bytes) noexcept;

struct TableMemoryDeleter {
  size_t bytes = 0;
  void operator()(void* memory) const noexcept { FreeTableMemory(memory, bytes); }
};

template <typename T>
using TableArray = std::unique_ptr<T[], TableMemoryDeleter>;

template <typename T>
TableArray<T> MakeTableArray(size_t n) {
  static_assert(std::is_trivially_default_constructible_v<T> &&
                std::is_trivially_destructible_v<T>);
  static_assert(alignof(T) <= 64);
  const size_t bytes = (n == 0 ? 1 : n) * sizeof(T);
  return TableArray<T>(static_cast<T*>(AllocateTableMemory(bytes)), TableMemoryDeleter{bytes});
}

}  // namespace vocs

#endif  // VOCS_PLATFORM_TABLE_MEMORY_H_
