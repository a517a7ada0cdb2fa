// Operating-system memory blocks for the memory manager: reserve-and-commit,
// release, the allocation unit and the address space still available.
#pragma once

#include <cstdint>

// The record handed to the memory manager's OS hooks: the alignment (32) and
// the area kind of the call in progress.
struct lv_mem_hook_record {
  uint64_t alignment;
  uint64_t area_kind;
  uint64_t reserved[2];
};
static_assert(sizeof(lv_mem_hook_record) == 32);

// Area kinds.
enum : uint64_t {
  LV_AREA_RETURNING = 0,     // an ordinary area being returned
  LV_AREA_ORDINARY = 1,
  LV_AREA_TRAIL_CHOICE = 2,
  LV_AREA_HEAP_STACK = 4,
  LV_AREA_EXECUTABLE = 8,    // bit: pages are readable, writable and executable
  LV_AREA_NO_HIGH_HALF = 6,  // bits: the block must not straddle 2^63
};

// Sets the allocation unit to the largest of 65536, the page size and the
// alignment. Returns 1.
int lv_os_init_alloc_unit(uint64_t alignment);

// The allocation unit set by lv_os_init_alloc_unit.
uint64_t lv_os_alloc_unit();

// Reserves and commits a block of size rounded up to the allocation unit,
// read-write (read-write-execute when the record's area kind has bit 3).
// A block that straddles 2^63 is released and refused when the area kind has
// bit 1 or 2. Stores the actual size; returns the block or null.
void* lv_os_virtual_alloc(uint64_t size, uint64_t* actual, const lv_mem_hook_record* record);

// Releases a block of the given size obtained from lv_os_virtual_alloc.
// Returns 0 on success, non-zero when the system refuses.
int lv_os_virtual_free(void* block, uint64_t size);

// Bytes of virtual address space still available to the process.
uint64_t lv_os_avail_virtual();
