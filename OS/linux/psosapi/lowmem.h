// Memory whose address fits in 32 bits.
//
// Task ids and tick-timer ids are the addresses of their control blocks,
// carried in UInt32 by every caller of the library. On the appliance
// (32-bit) any address qualifies; on a 64-bit build the blocks come from
// mappings below 4 GiB so that the same ids keep working.
#pragma once

#include <cstddef>
#include <cstdint>

// Zeroed block of `size` bytes, null when none is left.
void* lowmem_alloc(size_t size);
// Gives a block back; `size` must be the size it was allocated with.
void lowmem_free(void* p, size_t size);

inline uint32_t lowmem_id(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename T>
T* lowmem_ptr(uint32_t id) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(id));
}
