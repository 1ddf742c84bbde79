// The system's half of table memory (table_memory.h): the few calls that
// differ between POSIX and Windows. table_memory.cc holds the policy (which
// requests go to the heap, rounding, clearing) once; table_memory_posix.cc
// and table_memory_win32.cc implement these. Any thread may call them.
#ifndef VOCS_PLATFORM_TABLE_MEMORY_SYSTEM_H_
#define VOCS_PLATFORM_TABLE_MEMORY_SYSTEM_H_

#include <cstddef>

namespace vocs::table_memory_system {

// Heap memory of `bytes` (a multiple of `alignment`), aligned to `alignment`;
// not cleared. Null when the heap refuses.
void* AllocateAligned(size_t bytes, size_t alignment);
void FreeAligned(void* memory) noexcept;

// `bytes` (a multiple of kHugePageBytes) of fresh zero pages from the system,
// starting on a kHugePageBytes boundary, made resident only as they are
// touched. Null when the system refuses.
void* MapHugeAligned(size_t bytes);
// Gives back a region from MapHugeAligned with the same `bytes`.
void UnmapHugeAligned(void* memory, size_t bytes) noexcept;

}  // namespace vocs::table_memory_system

#endif  // VOCS_PLATFORM_TABLE_MEMORY_SYSTEM_H_
