// The memory manager: every dynamic allocation of the runtime, charged to a
// usage category. Ordinary blocks come from a two-level segregated-fit
// allocator over operating-system areas; the engine's two stack areas are
// separate areas of their own.
#pragma once

#include <cstddef>
#include <cstdint>

struct lv_worker;

// Usage categories; their printed names are in lv_mem_category_name.
enum lv_mem_category : uint32_t {
  LV_CAT_LV_MALLOC = 0,
  LV_CAT_MISC = 1,
  LV_CAT_ATOM_BUFFER = 2,
  LV_CAT_BDD_HASH = 3,
  LV_CAT_ATOM = 4,
  LV_CAT_ATOM_TABLE = 5,
  LV_CAT_FOREIGN_RESOURCE = 6,
  LV_CAT_TRY_NODE = 7,
  LV_CAT_SW_ON_KEY = 8,
  LV_CAT_AATREE = 9,
  LV_CAT_PREDICATE = 10,
  LV_CAT_COMPILED_CODE = 11,
  LV_CAT_INCORE_INFO = 12,
  LV_CAT_INT_INFO = 13,
  LV_CAT_GARBAGE = 14,
  LV_CAT_MODULE = 15,
  LV_CAT_INTERPRETED_CODE = 16,
  LV_CAT_NUM_MODULE_TABLE = 17,
  LV_CAT_MODULE_DATA = 18,
  LV_CAT_SOURCE_INFO = 19,
  LV_CAT_ALL_SOLUTIONS = 20,
  LV_CAT_QLINFO = 21,
  LV_CAT_FLI_STACK = 22,
  LV_CAT_EVENT_QUEUE = 23,
  LV_CAT_LV_STREAM = 24,
  LV_CAT_NUMSTACK = 25,
  LV_CAT_JIT_CODE = 26,
  LV_CAT_STACK = 27,
};
constexpr uint32_t LV_CAT_COUNT = 28;

// Allocation flags: bits 4 and up hold the category.
enum : uint32_t {
  LV_MEM_MAY_FAIL = 1,  // answer null instead of the fatal memory error
  LV_MEM_CAPI = 2,      // carried by the C-interface calls; no effect
  LV_MEM_NO_MALLOC = 4, // never from plain malloc (native code)
  LV_MEM_IN_PLACE = 8,  // resize in place only
};
constexpr uint32_t lv_mem_flags(lv_mem_category category, uint32_t bits = 0) {
  return (static_cast<uint32_t>(category) << 4) | bits;
}
constexpr lv_mem_category lv_mem_flags_category(uint32_t flags) {
  return static_cast<lv_mem_category>(flags >> 4);
}

const char* lv_mem_category_name(uint32_t category);

// Start and stop.
void lv_mem_default_hooks();
int lv_mem_init(uint32_t options);  // options bit 0: ordinary areas get executable pages
void lv_mem_deinit();
bool lv_mem_started();
bool lv_mem_builtin_hooks_in_use();
bool lv_mem_plain_malloc_mode();
int32_t lv_mem_use_malloc_setting();

// Blocks.
void* lv_mem_alloc(size_t size, uint32_t flags);
void lv_mem_free(void* pointer, size_t size, uint32_t flags);
void* lv_mem_realloc(void* pointer, size_t old_size, size_t new_size, uint32_t flags);

// The C interface's allocation calls.
void* LV_malloc(size_t size);
void* LV_realloc(void* pointer, size_t size);
void LV_free(void* pointer);

// Checked calls: category "FLI stack:" when flag is non-zero, else
// "miscellaneous:"; fatal on failure.
void* lv_checkalloc(size_t size, int flag);
void lv_checkdealloc(void* pointer, size_t size, int flag);
void* lv_checkrealloc(void* pointer, size_t old_size, size_t new_size, int flag);

// Stack areas (heap_stack 1: the heap/stack area; 0: the trail/choice area).
void* lv_mem_area_new(uint64_t size, uint64_t* length, int heap_stack);
void* lv_mem_area_resize(void* start, uint64_t old_length, uint64_t new_length, uint64_t* length,
                         int heap_stack);
// The same as lv_mem_area_resize, but the contents always move to a new area,
// even when the rounded size is unchanged.
void* lv_mem_area_move(void* start, uint64_t old_length, uint64_t new_length, uint64_t* length, int heap_stack);
void lv_mem_area_free(void* start, uint64_t length, int heap_stack);

// The growth table that rounds stack-area sizes.
void lv_mem_growth_table(uint32_t percent);
uint64_t lv_mem_area_size_round(uint64_t bytes);
const uint64_t* lv_mem_growth_entries(size_t* count);

// State.
uint64_t lv_mem_used_bytes();
uint64_t lv_mem_free_bytes();
uint64_t lv_mem_category_bytes(uint32_t category);
int32_t lv_mem_culprit();
void lv_mem_set_culprit(int32_t category);
uint64_t lv_mem_start_cpu_ms();
uint64_t lv_mem_start_wall_ms();

// Consistency check and dump on the standard error stream. Returns 0 when
// consistent, 1 otherwise; quiet prints only errors.
int lv_mem_info(int quiet);
void lv_mem_debug_check(lv_worker* w);

// The engine context prints its stack pointers in the dump through this
// hook (heap_stack as for the stack areas).
typedef void (*lv_mem_context_reporter)(int heap_stack);
void lv_mem_set_context_reporter(lv_mem_context_reporter reporter);

// Trimming. The reclaim steps belong to other parts of the engine, which
// install them here.
enum lv_trim_step_id : uint32_t {
  LV_TRIM_STACKS,          // mode 2 only: shrink both stack areas to what is used
  LV_TRIM_ERASED_CLAUSES,  // reclaim erased dynamic clauses
  LV_TRIM_ERASED_CODE,     // reclaim erased static code
  LV_TRIM_NUMSTACK,        // release the number-stack chunks beyond the first
  LV_TRIM_STEP_COUNT,
};
typedef void (*lv_trim_step)(lv_worker* w, int mode);
void lv_mem_set_trim_step(lv_trim_step_id id, lv_trim_step step);
void lv_trim_memory(lv_worker* w, int mode);
