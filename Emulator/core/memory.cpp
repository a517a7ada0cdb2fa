// The memory manager.
//
// Ordinary blocks: every block starts on a 16-byte boundary with a two-word
// header {size | flags, physically preceding block}; a free block also holds
// the links of its size class's circular list. Free blocks are found through
// a 32-bit first-level bitmap and 32 second-level bitmaps over 1024 size
// classes, so allocation and release take constant time. Blocks live in
// operating-system areas framed by a 32-byte header and a 32-byte end record;
// the headers form a ring. The engine's two stack areas have the same frame
// but no inner blocks.
#include "core/memory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/clock.h"
#include "core/fault.h"
#include "core/os_memory.h"
#include "core/settings.h"
#include "core/thread_time.h"

namespace {

constexpr uint64_t IN_USE = 1;
constexpr uint64_t EDGE = 2;
constexpr uint64_t FLAG_MASK = 15;
constexpr uint64_t MIN_BLOCK = 32;
constexpr unsigned CLASS_COUNT = 1024;
// Requests above this size cannot be satisfied and would overflow the
// rounding arithmetic.
constexpr uint64_t MAX_REQUEST = uint64_t{1} << 62;

const char* const NO_BLOCK_MESSAGE = "Memory allocation failed (could not get memory-block)";
const char* const STACK_LIMIT_MESSAGE = "Memory allocation failed (exceeded max stack size)";

struct block {
  uint64_t head;  // size in bytes | IN_USE | EDGE
  block* prev_phys;
  block* prev_free;  // only while free
  block* next_free;  // only while free
};

struct end_record;

struct area_header {
  uint64_t head;  // (end record - start) | IN_USE | EDGE
  end_record* end;
  area_header* prev;
  area_header* next;
};

struct end_record {
  uint64_t head;  // (end record - start) | IN_USE | EDGE
  block* last;
  uint64_t os_base;
  uint64_t os_length;
};

static_assert(sizeof(block) == 32 && sizeof(area_header) == 32 && sizeof(end_record) == 32);

struct mem_state {
  uint32_t fl_bitmap;
  uint32_t sl_bitmap[32];
  block* free_heads[CLASS_COUNT];
  uint64_t class_min[CLASS_COUNT];
  area_header* area_ring;
  end_record* tc_area;
  end_record* hs_area;
  int32_t culprit;
  uint64_t bytes_in_use;
  uint64_t bytes_free;
  uint64_t category_bytes[LV_CAT_COUNT];
};

mem_state st;

// Operating-system block hooks.
struct os_hooks {
  int (*init)(uint64_t alignment, lv_mem_hook_record* record);
  void (*deinit)(lv_mem_hook_record* record);
  void* (*alloc)(uint64_t size, uint64_t* actual, lv_mem_hook_record* record);
  int (*free)(void* block, uint64_t size, int forced, lv_mem_hook_record* record);
};

constexpr uint32_t HOOKS_BUILTIN = 2;

os_hooks hooks;
uint32_t hook_mode;  // 0: none installed; HOOKS_BUILTIN: the built-in set
lv_mem_hook_record hook_record = {32, 0, {0, 0}};

bool started;
bool plain_malloc;    // LV_CHECKALLOC_MALLOCS: everything through the C library
bool malloc_mallocs;  // LV_MALLOC_MALLOCS: LV_malloc and friends through the C library
int32_t use_malloc = -1;
uint64_t ordinary_kind = LV_AREA_ORDINARY;
uint64_t start_cpu_ms;
uint64_t start_wall_ms;

uint64_t* growth_entries;
size_t growth_count;

lv_trim_step trim_steps[LV_TRIM_STEP_COUNT];
lv_mem_context_reporter context_reporter;

const char* const category_names[LV_CAT_COUNT] = {
    "LV_malloc:",        "miscellaneous:", "atom buffer:",       "BDD hash table:",
    "atom:",             "atom table:",    "foreign resource:",  "try_node:",
    "sw_on_key:",        "aatree:",        "predicate:",         "compiled code:",
    "incore_info:",      "int_info:",      "garbage:",           "module:",
    "interpreted code:", "num. module table:", "module data:",   "source info:",
    "all solutions:",    "qlinfo:",        "FLI stack:",         "event queue:",
    "LV_stream:",        "numstack:",      "JIT code:",          "stack:",
};

// ---------------------------------------------------------------------------
// Built-in operating-system hooks.

struct builtin_hook_state {
  uint64_t inc_size;
  uint64_t init_size;
  uint64_t keep_size;
  uint64_t max_size;
  uint64_t taken;
  bool first_done;
};

builtin_hook_state builtin;

uint64_t round_up_16(uint64_t n) { return n > UINT64_MAX - 15 ? UINT64_MAX & ~uint64_t{15} : (n + 15) & ~uint64_t{15}; }

int builtin_init(uint64_t alignment, lv_mem_hook_record*) {
  lv_os_init_alloc_unit(alignment);
  builtin.inc_size = round_up_16(lv_getenv_int_suffixed("PROLOGINCSIZE", 1048576, 65536));
  builtin.init_size = round_up_16(lv_getenv_int_suffixed("PROLOGINITSIZE", 4194304, 20480));
  builtin.keep_size = round_up_16(lv_getenv_int_suffixed("PROLOGKEEPSIZE", 4194304, 0));
  builtin.max_size = round_up_16(lv_getenv_int_suffixed("PROLOGMAXSIZE", lv_os_avail_virtual(), 1048576));
  if (builtin.max_size != 0 && builtin.init_size > builtin.max_size) builtin.init_size = builtin.max_size;
  builtin.taken = 0;
  builtin.first_done = false;
  return 1;
}

void builtin_deinit(lv_mem_hook_record*) {}

void* builtin_alloc(uint64_t size, uint64_t* actual, lv_mem_hook_record* record) {
  uint64_t n = std::max(size, builtin.inc_size);
  if (!builtin.first_done) n = std::max(n, builtin.init_size);
  if (builtin.max_size != 0 && (n > builtin.max_size || builtin.taken > builtin.max_size - n)) return nullptr;
  uint64_t got = 0;
  void* p = lv_os_virtual_alloc(n, &got, record);
  if (p == nullptr) return nullptr;
  if (builtin.max_size != 0 && (got > builtin.max_size || builtin.taken > builtin.max_size - got)) {
    lv_os_virtual_free(p, got);
    return nullptr;
  }
  builtin.taken += got;
  builtin.first_done = true;
  *actual = got;
  return p;
}

int builtin_free(void* p, uint64_t size, int forced, lv_mem_hook_record*) {
  if (!forced && (builtin.taken < size || builtin.taken - size < builtin.keep_size)) return 0;
  if (lv_os_virtual_free(p, size) == 0) {
    builtin.taken -= size;
    return 1;
  }
  return forced;
}

// ---------------------------------------------------------------------------
// Size classes and free lists.

uint64_t size_of(const block* b) { return b->head & ~FLAG_MASK; }
block* next_phys(block* b) { return reinterpret_cast<block*>(reinterpret_cast<char*>(b) + size_of(b)); }
block* block_at(void* p, uint64_t offset) { return reinterpret_cast<block*>(static_cast<char*>(p) + offset); }
block* block_of(void* user) { return reinterpret_cast<block*>(static_cast<char*>(user) - 16); }
void* user_of(block* b) { return reinterpret_cast<char*>(b) + 16; }

unsigned size_class(uint64_t s) {
  uint64_t u = s >> 4;
  unsigned f = 63 - static_cast<unsigned>(__builtin_clzll(u));
  if (f < 5) return f * 32 + static_cast<unsigned>((u << (5 - f)) & 31);
  if (f < 32) return f * 32 + static_cast<unsigned>((u >> (f - 5)) & 31);
  return CLASS_COUNT - 1;
}

uint64_t class_min_size(unsigned i) {
  unsigned f = i / 32;
  uint64_t t = i % 32;
  return 16 * ((uint64_t{1} << f) + (f >= 5 ? t << (f - 5) : t >> (5 - f)));
}

// The block size for a request: the 16-byte header plus the request, rounded
// up to 16, at least 32.
uint64_t block_size_for(uint64_t size) { return std::max(MIN_BLOCK, (size + 31) & ~uint64_t{15}); }

void list_insert(block* b) {
  unsigned c = size_class(size_of(b));
  block* head = st.free_heads[c];
  if (head == nullptr) {
    b->prev_free = b->next_free = b;
    st.sl_bitmap[c / 32] |= 1u << (c % 32);
    st.fl_bitmap |= 1u << (c / 32);
  } else {
    b->next_free = head;
    b->prev_free = head->prev_free;
    head->prev_free->next_free = b;
    head->prev_free = b;
  }
  st.free_heads[c] = b;
  st.bytes_free += size_of(b);
}

void list_remove(block* b) {
  unsigned c = size_class(size_of(b));
  if (b->next_free == b) {
    st.free_heads[c] = nullptr;
    st.sl_bitmap[c / 32] &= ~(1u << (c % 32));
    if (st.sl_bitmap[c / 32] == 0) st.fl_bitmap &= ~(1u << (c / 32));
  } else {
    b->prev_free->next_free = b->next_free;
    b->next_free->prev_free = b->prev_free;
    if (st.free_heads[c] == b) st.free_heads[c] = b->next_free;
  }
  st.bytes_free -= size_of(b);
}

// The class to take a block of size b from, or -1 when no free block is
// large enough.
int find_class(uint64_t b) {
  unsigned c = size_class(b);
  if (st.class_min[c] >= b && st.free_heads[c] != nullptr) return static_cast<int>(c);
  unsigned f = c / 32;
  unsigned s = c % 32;
  if (s != 31) {
    uint32_t bits = st.sl_bitmap[f] & (~0u << (s + 1));
    if (bits != 0) return static_cast<int>(f * 32 + static_cast<unsigned>(__builtin_ctz(bits)));
  }
  if (f != 31) {
    uint32_t levels = st.fl_bitmap & (~0u << (f + 1));
    if (levels != 0) {
      unsigned f2 = static_cast<unsigned>(__builtin_ctz(levels));
      return static_cast<int>(f2 * 32 + static_cast<unsigned>(__builtin_ctz(st.sl_bitmap[f2])));
    }
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Areas.

// Asks the alloc hook for an operating-system block; refuses one that is
// smaller than asked, ends at the top of the address space or, for the
// stack areas, straddles 2^63.
void* area_get(uint64_t size, uint64_t kind, uint64_t* length) {
  hook_record.area_kind = kind;
  uint64_t got = 0;
  void* p = hooks.alloc(size, &got, &hook_record);
  if (p != nullptr) {
    uint64_t a = reinterpret_cast<uint64_t>(p);
    bool ends_at_top = got > 0 && a + got == 0;
    bool wraps = a + got < a && !ends_at_top;
    constexpr uint64_t HIGH = uint64_t{1} << 63;
    bool straddles = (kind & LV_AREA_NO_HIGH_HALF) != 0 && a < HIGH && a + got > HIGH;
    if (got < size || ends_at_top || wraps || straddles) {
      hooks.free(p, got, 1, &hook_record);
      p = nullptr;
    }
  }
  hook_record.area_kind = 0;
  *length = got;
  return p;
}

int area_release(uint64_t base, uint64_t length, int forced, uint64_t kind) {
  hook_record.area_kind = kind;
  int r = hooks.free(reinterpret_cast<void*>(base), length, forced, &hook_record);
  hook_record.area_kind = 0;
  return r;
}

// Lays out the frame of an area in an OS block: returns the start and sets
// the end record.
char* frame_area(void* base, uint64_t length, end_record** end) {
  uint64_t b = reinterpret_cast<uint64_t>(base);
  uint64_t start = (b + 15) & ~uint64_t{15};
  uint64_t e = (b + length - 32) & ~uint64_t{15};
  end_record* rec = reinterpret_cast<end_record*>(e);
  rec->head = (e - start) | IN_USE | EDGE;
  rec->last = reinterpret_cast<block*>(start);
  rec->os_base = b;
  rec->os_length = length;
  *end = rec;
  return reinterpret_cast<char*>(start);
}

void ring_insert(area_header* h) {
  area_header* head = st.area_ring;
  if (head == nullptr) {
    h->prev = h->next = h;
  } else {
    h->next = head;
    h->prev = head->prev;
    head->prev->next = h;
    head->prev = h;
  }
  st.area_ring = h;
}

void ring_unlink(area_header* h) {
  if (h->next == h) {
    st.area_ring = nullptr;
    return;
  }
  h->prev->next = h->next;
  h->next->prev = h->prev;
  if (st.area_ring == h) st.area_ring = h->next;
}

// Puts an unlinked area back where it was in the ring.
void ring_relink(area_header* h, bool was_head) {
  if (h->next == h) {
    st.area_ring = h;
    return;
  }
  h->prev->next = h;
  h->next->prev = h;
  if (was_head) st.area_ring = h;
}

// A new ordinary area holding one free block of at least b bytes; returns
// that block, not yet on a free list.
block* new_area(uint64_t b) {
  uint64_t length = 0;
  void* base = area_get(b + 64, ordinary_kind, &length);
  if (base == nullptr) return nullptr;
  end_record* end;
  char* start = frame_area(base, length, &end);
  area_header* h = reinterpret_cast<area_header*>(start);
  h->head = end->head;
  h->end = end;
  block* first = block_at(start, 32);
  first->head = (reinterpret_cast<char*>(end) - start) - 32;
  first->prev_phys = reinterpret_cast<block*>(h);
  end->last = first;
  ring_insert(h);
  return first;
}

// Takes a block of at least b bytes (steps 3 to 7 of allocation); null when
// no memory can be had. The block is marked in use; nothing is charged.
block* take_block(uint64_t b) {
  block* blk;
  int k = find_class(b);
  if (k >= 0) {
    block* h = st.free_heads[k];
    uint64_t s = size_of(h);
    if (s - b >= st.class_min[k]) {
      // The remainder stays in the same class: it takes the head's place.
      block* u = block_at(h, b);
      u->head = s - b;
      u->prev_phys = h;
      if (h->next_free == h) {
        u->prev_free = u->next_free = u;
      } else {
        u->next_free = h->next_free;
        u->prev_free = h->prev_free;
        u->prev_free->next_free = u;
        u->next_free->prev_free = u;
      }
      st.free_heads[k] = u;
      next_phys(u)->prev_phys = u;
      h->head = b | IN_USE;
      st.bytes_free -= b;
      return h;
    }
    list_remove(h);
    blk = h;
  } else {
    blk = new_area(b);
    if (blk == nullptr) return nullptr;
  }
  uint64_t s = size_of(blk);
  if (s - b >= MIN_BLOCK) {
    block* r = block_at(blk, b);
    r->head = s - b;
    r->prev_phys = blk;
    next_phys(r)->prev_phys = r;
    list_insert(r);
  } else {
    b = s;
  }
  blk->head = b | IN_USE;
  return blk;
}

void charge(uint32_t category, int64_t delta) {
  st.category_bytes[category] += static_cast<uint64_t>(delta);
  st.bytes_in_use += static_cast<uint64_t>(delta);
}

void* alloc_failed(uint32_t flags) {
  if ((flags & LV_MEM_MAY_FAIL) != 0) return nullptr;
  lv_memory_fault(NO_BLOCK_MESSAGE, static_cast<int32_t>(lv_mem_flags_category(flags)));
}

void* plain_alloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }

// realloc for the plain-malloc modes: size 0 replaces the block by a fresh
// minimal one.
void* plain_realloc(void* p, size_t size) {
  if (size != 0) return std::realloc(p, size);
  void* fresh = std::malloc(0);
  if (fresh == nullptr) fresh = std::malloc(1);
  if (fresh != nullptr) std::free(p);
  return fresh;
}

void release_block(block* b, uint32_t category) {
  uint64_t size = size_of(b);
  b->head = size;
  block* merged = b;
  uint64_t merged_size = size;
  block* succ = next_phys(b);
  if ((succ->head & IN_USE) == 0) {
    list_remove(succ);
    merged_size += size_of(succ);
  }
  block* pred = b->prev_phys;
  if ((pred->head & IN_USE) == 0) {
    list_remove(pred);
    merged_size += size_of(pred);
    merged = pred;
  }
  merged->head = merged_size;
  block* after = next_phys(merged);
  after->prev_phys = merged;
  charge(category, -static_cast<int64_t>(size));
  if ((merged->prev_phys->head & EDGE) != 0 && (after->head & EDGE) != 0) {
    // The area is wholly free: offer it back to the system.
    area_header* h = reinterpret_cast<area_header*>(merged->prev_phys);
    end_record* end = h->end;
    uint64_t base = end->os_base;
    uint64_t length = end->os_length;
    bool was_head = st.area_ring == h;
    ring_unlink(h);
    if (area_release(base, length, 0, LV_AREA_RETURNING)) return;
    ring_relink(h, was_head);
  }
  list_insert(merged);
}

// Stack areas ---------------------------------------------------------------

end_record*& stack_area_slot(int heap_stack) { return heap_stack ? st.hs_area : st.tc_area; }
uint64_t stack_area_kind(int heap_stack) { return heap_stack ? LV_AREA_HEAP_STACK : LV_AREA_TRAIL_CHOICE; }

bool plain_area_acceptable(void* p, uint64_t length) {
  uint64_t a = reinterpret_cast<uint64_t>(p);
  constexpr uint64_t HIGH = uint64_t{1} << 63;
  return a + length != 0 && !(a < HIGH && a + length > HIGH);
}

void* plain_area_alloc(uint64_t size) {
  void* p = std::malloc(size);
  if (p != nullptr && !plain_area_acceptable(p, size)) {
    std::free(p);
    p = nullptr;
  }
  return p;
}

[[noreturn]] void stack_fault(const char* message) { lv_memory_fault(message, LV_CAT_STACK); }

}  // namespace

// ---------------------------------------------------------------------------
// Start and stop.

const char* lv_mem_category_name(uint32_t category) {
  return category < LV_CAT_COUNT ? category_names[category] : "";
}

void lv_mem_default_hooks() {
  if (hook_mode != 0) return;
  hooks = {builtin_init, builtin_deinit, builtin_alloc, builtin_free};
  hook_mode = HOOKS_BUILTIN;
}

int lv_mem_init(uint32_t options) {
  if (started) return 0;
  malloc_mallocs = lv_getenv_yes_no("LV_MALLOC_MALLOCS", 0) == 1;
  plain_malloc = lv_getenv_yes_no("LV_CHECKALLOC_MALLOCS", 0) == 1;
  if (use_malloc <= 0) use_malloc = lv_getenv_yes_no("LV_USE_MALLOC", -1);
  ordinary_kind = (options & 1) != 0 ? LV_AREA_ORDINARY | LV_AREA_EXECUTABLE : LV_AREA_ORDINARY;
  std::memset(&st, 0, sizeof st);
  st.culprit = -1;
  for (unsigned i = 0; i < CLASS_COUNT; i++) st.class_min[i] = class_min_size(i);
  growth_entries = nullptr;
  growth_count = 0;
  if (!plain_malloc) {
    if (hook_mode == 0) lv_mem_default_hooks();
    if (!hooks.init(16, &hook_record)) return 1;
  }
  start_cpu_ms = lv_thread_cpu_ms();
  start_wall_ms = lv_clock_ms();
  started = true;
  return 0;
}

void lv_mem_deinit() {
  if (!started) return;
  if (plain_malloc) {
    std::free(growth_entries);
  } else {
    while (st.area_ring != nullptr) {
      area_header* h = st.area_ring;
      end_record* end = h->end;
      ring_unlink(h);
      area_release(end->os_base, end->os_length, 1, LV_AREA_RETURNING);
    }
    hooks.deinit(&hook_record);
  }
  growth_entries = nullptr;
  growth_count = 0;
  st.bytes_free = 0;
  started = false;
}

bool lv_mem_started() { return started; }
bool lv_mem_builtin_hooks_in_use() { return (hook_mode & HOOKS_BUILTIN) != 0; }
bool lv_mem_plain_malloc_mode() { return plain_malloc; }
int32_t lv_mem_use_malloc_setting() { return use_malloc; }

// ---------------------------------------------------------------------------
// Blocks.

void* lv_mem_alloc(size_t size, uint32_t flags) {
  if (plain_malloc) {
    if ((flags & LV_MEM_NO_MALLOC) != 0) return alloc_failed(flags);
    void* p = plain_alloc(size);
    return p != nullptr ? p : alloc_failed(flags);
  }
  if (size > MAX_REQUEST) return alloc_failed(flags);
  block* b = take_block(block_size_for(size));
  if (b == nullptr) return alloc_failed(flags);
  charge(lv_mem_flags_category(flags), static_cast<int64_t>(size_of(b)));
  return user_of(b);
}

void lv_mem_free(void* pointer, size_t, uint32_t flags) {
  if (pointer == nullptr) return;
  if (plain_malloc) {
    std::free(pointer);
    return;
  }
  release_block(block_of(pointer), lv_mem_flags_category(flags));
}

void* lv_mem_realloc(void* pointer, size_t, size_t new_size, uint32_t flags) {
  if (plain_malloc) {
    if ((flags & LV_MEM_IN_PLACE) != 0) return alloc_failed(flags);
    void* p = plain_realloc(pointer, new_size);
    return p != nullptr ? p : alloc_failed(flags);
  }
  if (new_size > MAX_REQUEST) return alloc_failed(flags);
  uint32_t category = lv_mem_flags_category(flags);
  block* b = block_of(pointer);
  uint64_t a = size_of(b);
  uint64_t d = block_size_for(new_size);
  if ((flags & LV_MEM_IN_PLACE) != 0 && a < d) return alloc_failed(flags);
  if (a == d) return pointer;
  uint64_t total = a;
  block* succ = next_phys(b);
  uint64_t succ_free = (succ->head & IN_USE) == 0 ? size_of(succ) : 0;
  if (d < a || a + succ_free >= d) {
    if (succ_free != 0) list_remove(succ);
    total += succ_free;
  } else {
    block* pred = b->prev_phys;
    uint64_t pred_free = (pred->head & IN_USE) == 0 ? size_of(pred) : 0;
    if (pred_free == 0 || pred_free + a + succ_free < d) {
      // Move: a new block (charged), the bytes copied, the old one released.
      void* fresh = lv_mem_alloc(new_size, flags | LV_MEM_MAY_FAIL);
      if (fresh == nullptr) return alloc_failed(flags);
      std::memcpy(fresh, pointer, a - 16);
      release_block(b, category);
      return fresh;
    }
    list_remove(pred);
    if (succ_free != 0) list_remove(succ);
    std::memmove(user_of(pred), pointer, a - 16);
    b = pred;
    total = pred_free + a + succ_free;
  }
  uint64_t remainder = total - d;
  uint64_t final_size = total;
  if (remainder >= MIN_BLOCK) {
    final_size = d;
    block* r = block_at(b, d);
    r->head = remainder;
    r->prev_phys = b;
    next_phys(r)->prev_phys = r;
    list_insert(r);
  } else {
    block_at(b, total)->prev_phys = b;
  }
  b->head = final_size | IN_USE;
  charge(category, static_cast<int64_t>(final_size) - static_cast<int64_t>(a));
  return user_of(b);
}

void* LV_malloc(size_t size) {
  if (!started) return nullptr;
  if (malloc_mallocs) return plain_alloc(size);
  return lv_mem_alloc(size, lv_mem_flags(LV_CAT_LV_MALLOC, LV_MEM_MAY_FAIL | LV_MEM_CAPI));
}

void* LV_realloc(void* pointer, size_t size) {
  if (malloc_mallocs) return plain_realloc(pointer, size);
  return lv_mem_realloc(pointer, 0, size, lv_mem_flags(LV_CAT_LV_MALLOC, LV_MEM_MAY_FAIL | LV_MEM_CAPI));
}

void LV_free(void* pointer) {
  if (pointer == nullptr) return;
  if (malloc_mallocs) {
    std::free(pointer);
    return;
  }
  lv_mem_free(pointer, 0, lv_mem_flags(LV_CAT_LV_MALLOC, LV_MEM_MAY_FAIL | LV_MEM_CAPI));
}

static uint32_t checked_flags(int flag) { return lv_mem_flags(flag ? LV_CAT_FLI_STACK : LV_CAT_MISC); }

void* lv_checkalloc(size_t size, int flag) { return lv_mem_alloc(size, checked_flags(flag)); }

void lv_checkdealloc(void* pointer, size_t size, int flag) { lv_mem_free(pointer, size, checked_flags(flag)); }

void* lv_checkrealloc(void* pointer, size_t old_size, size_t new_size, int flag) {
  return lv_mem_realloc(pointer, old_size, new_size, checked_flags(flag));
}

// ---------------------------------------------------------------------------
// Stack areas.

void* lv_mem_area_new(uint64_t size, uint64_t* length, int heap_stack) {
  if (plain_malloc) {
    uint64_t s = lv_mem_area_size_round(size);
    void* p = plain_area_alloc(s);
    if (p == nullptr) stack_fault(NO_BLOCK_MESSAGE);
    *length = s;
    return p;
  }
  uint64_t s = lv_mem_area_size_round(size + 32);
  uint64_t os_length = 0;
  void* base = area_get(s, stack_area_kind(heap_stack), &os_length);
  if (base == nullptr) stack_fault(NO_BLOCK_MESSAGE);
  end_record* end;
  char* start = frame_area(base, os_length, &end);
  uint64_t span = static_cast<uint64_t>(reinterpret_cast<char*>(end) - start);
  charge(LV_CAT_STACK, static_cast<int64_t>(span));
  stack_area_slot(heap_stack) = end;
  *length = span;
  return start;
}

namespace {

// Resizes a stack area; with fresh set the contents always go to a new area,
// even when the rounded size is unchanged.
void* area_resize(void* start, uint64_t old_length, uint64_t new_length, uint64_t* length, int heap_stack,
                  bool fresh) {
  if (plain_malloc) {
    uint64_t s = lv_mem_area_size_round(new_length);
    if (s == old_length && !fresh) {
      *length = old_length;
      return start;
    }
    void* p = plain_area_alloc(s);
    if (p == nullptr) {
      if (new_length < old_length) {
        *length = old_length;
        return start;
      }
      stack_fault(NO_BLOCK_MESSAGE);
    }
    std::memcpy(p, start, std::min(old_length, new_length));
    std::free(start);
    *length = s;
    return p;
  }
  uint64_t d = lv_mem_area_size_round(new_length + 32);
  if (d == old_length + 32 && !fresh) {
    *length = old_length;
    return start;
  }
  uint64_t kind = stack_area_kind(heap_stack);
  uint64_t os_length = 0;
  void* base = area_get(d, kind, &os_length);
  if (base == nullptr) {
    if (new_length < old_length) {
      *length = old_length;
      return start;
    }
    stack_fault(NO_BLOCK_MESSAGE);
  }
  end_record* end;
  char* moved = frame_area(base, os_length, &end);
  uint64_t span = static_cast<uint64_t>(reinterpret_cast<char*>(end) - moved);
  if (span == old_length && !fresh) {
    // Same size after rounding: keep the old area and its contents.
    area_release(end->os_base, end->os_length, 1, kind);
    *length = old_length;
    return start;
  }
  std::memcpy(moved, start, std::min(old_length, new_length));
  charge(LV_CAT_STACK, static_cast<int64_t>(span) - static_cast<int64_t>(old_length));
  end_record* old_end = reinterpret_cast<end_record*>(static_cast<char*>(start) + old_length);
  area_release(old_end->os_base, old_end->os_length, 1, kind);
  stack_area_slot(heap_stack) = end;
  *length = span;
  return moved;
}

}  // namespace

void* lv_mem_area_resize(void* start, uint64_t old_length, uint64_t new_length, uint64_t* length,
                         int heap_stack) {
  return area_resize(start, old_length, new_length, length, heap_stack, false);
}

void* lv_mem_area_move(void* start, uint64_t old_length, uint64_t new_length, uint64_t* length, int heap_stack) {
  return area_resize(start, old_length, new_length, length, heap_stack, true);
}

void lv_mem_area_free(void* start, uint64_t length, int heap_stack) {
  if (start == nullptr) return;
  if (plain_malloc) {
    std::free(start);
    return;
  }
  charge(LV_CAT_STACK, -static_cast<int64_t>(length));
  stack_area_slot(heap_stack) = nullptr;
  end_record* end = reinterpret_cast<end_record*>(static_cast<char*>(start) + length);
  area_release(end->os_base, end->os_length, 1, stack_area_kind(heap_stack));
}

// ---------------------------------------------------------------------------
// Growth table.

void lv_mem_growth_table(uint32_t percent) {
  if (percent == 0) percent = 1;
  double factor = (percent + 100.0) / 100.0;
  size_t n = static_cast<size_t>(std::ceil((63 - 15) / std::log2(factor)));
  if (n < 1) n = 1;
  size_t bytes = n * sizeof(uint64_t);
  uint64_t* table = static_cast<uint64_t*>(plain_malloc ? std::malloc(bytes) : lv_mem_alloc(bytes, lv_mem_flags(LV_CAT_MISC)));
  if (table == nullptr) lv_memory_fault(NO_BLOCK_MESSAGE, LV_CAT_MISC);
  // Entries stop at 2^63 so that the table stays finite and increasing for
  // every factor.
  constexpr uint64_t CAP = uint64_t{1} << 63;
  table[0] = 65536;
  size_t count = 1;
  while (count < n) {
    double next = std::ceil(static_cast<double>(table[count - 1]) * factor);
    if (next >= static_cast<double>(CAP)) {
      table[count++] = CAP;
      break;
    }
    table[count] = (static_cast<uint64_t>(next) + 63) & ~uint64_t{63};
    count++;
  }
  if (growth_entries != nullptr) {
    if (plain_malloc)
      std::free(growth_entries);
    else
      lv_mem_free(growth_entries, growth_count * sizeof(uint64_t), lv_mem_flags(LV_CAT_MISC));
  }
  growth_entries = table;
  growth_count = count;
}

uint64_t lv_mem_area_size_round(uint64_t bytes) {
  if (growth_entries == nullptr) lv_mem_growth_table(62);
  const uint64_t* begin = growth_entries;
  const uint64_t* end = begin + growth_count;
  const uint64_t* p = std::lower_bound(begin, end, bytes);
  if (p == end) stack_fault(STACK_LIMIT_MESSAGE);
  return *p;
}

const uint64_t* lv_mem_growth_entries(size_t* count) {
  *count = growth_count;
  return growth_entries;
}

// ---------------------------------------------------------------------------
// State.

uint64_t lv_mem_used_bytes() { return st.bytes_in_use; }
uint64_t lv_mem_free_bytes() { return st.bytes_free; }
uint64_t lv_mem_category_bytes(uint32_t category) {
  return category < LV_CAT_COUNT ? st.category_bytes[category] : 0;
}
int32_t lv_mem_culprit() { return st.culprit; }
void lv_mem_set_culprit(int32_t category) { st.culprit = category; }
uint64_t lv_mem_start_cpu_ms() { return start_cpu_ms; }
uint64_t lv_mem_start_wall_ms() { return start_wall_ms; }

void lv_mem_set_context_reporter(lv_mem_context_reporter reporter) { context_reporter = reporter; }

void lv_mem_debug_check(lv_worker*) {}

// ---------------------------------------------------------------------------
// Trimming.

void lv_mem_set_trim_step(lv_trim_step_id id, lv_trim_step step) {
  if (id < LV_TRIM_STEP_COUNT) trim_steps[id] = step;
}

void lv_trim_memory(lv_worker* w, int mode) {
  if (mode == 2 && trim_steps[LV_TRIM_STACKS] != nullptr) trim_steps[LV_TRIM_STACKS](w, mode);
  for (unsigned id = LV_TRIM_ERASED_CLAUSES; id < LV_TRIM_STEP_COUNT; id++)
    if (trim_steps[id] != nullptr) trim_steps[id](w, mode);
}

// ---------------------------------------------------------------------------
// Consistency check and dump.

namespace {

// Checks the free list of class i; returns false after reporting the first
// bad block.
bool check_class(unsigned i, int quiet, uint64_t* total_blocks) {
  block* head = st.free_heads[i];
  if (head == nullptr) return true;
  uint64_t lo = st.class_min[i];
  uint64_t hi = i + 1 < CLASS_COUNT ? st.class_min[i + 1] : UINT64_MAX;
  int count = 0;
  block* b = head;
  do {
    uint64_t s = size_of(b);
    const char* problem = nullptr;
    if ((b->head & 15) != 0)
      problem = "size not aligned";
    else if (s < lo || s > hi || (s == hi && s > lo))
      problem = "size not in range";
    if (problem != nullptr) {
      std::fprintf(stderr, "ERROR: list %u, block at %p of size %zu, expected %d-aligned size in [%zu,%zu), %s\n", i,
                   static_cast<void*>(b), static_cast<size_t>(b->head), 16, static_cast<size_t>(lo),
                   static_cast<size_t>(hi), problem);
      return false;
    }
    count++;
    b = b->next_free;
  } while (b != head);
  *total_blocks += static_cast<uint64_t>(count);
  if (!quiet) std::fprintf(stderr, "        %10zu:    %8d\n", static_cast<size_t>(lo), count);
  return true;
}

bool aligned16(const void* p) { return (reinterpret_cast<uint64_t>(p) & 15) == 0; }

// Walks an area backwards from its end record; returns false after
// reporting the first bad block.
bool check_area(area_header* h, int quiet) {
  end_record* end = h->end;
  uint64_t free_bytes = 0, busy_bytes = 0;
  int free_blocks = 0, busy_blocks = 0;
  char* successor = reinterpret_cast<char*>(end);
  block* b = end->last;
  while (reinterpret_cast<area_header*>(b) != h) {
    const char* problem = nullptr;
    if (reinterpret_cast<char*>(b) + size_of(b) != successor)
      problem = "wrong size";
    else if (!aligned16(b->prev_phys))
      problem = "unaligned prev_phys_block";
    else if ((b->head & IN_USE) == 0 && !aligned16(b->prev_free))
      problem = "unaligned prev_in_list";
    else if ((b->head & IN_USE) == 0 && !aligned16(b->next_free))
      problem = "unaligned next_in_list";
    if (problem != nullptr) {
      std::fprintf(stderr, "ERROR: block at %p: %s\n", static_cast<void*>(b), problem);
      return false;
    }
    if ((b->head & IN_USE) != 0) {
      busy_bytes += size_of(b);
      busy_blocks++;
    } else {
      free_bytes += size_of(b);
      free_blocks++;
    }
    successor = reinterpret_cast<char*>(b);
    b = b->prev_phys;
  }
  if (!quiet)
    std::fprintf(stderr, "%12s [%p,%p), %zd bytes in %d free blocks, %zd bytes in %d busy blocks\n", "bigmem",
                 static_cast<void*>(h), static_cast<void*>(reinterpret_cast<char*>(end) + 32),
                 static_cast<ssize_t>(free_bytes), free_blocks, static_cast<ssize_t>(busy_bytes), busy_blocks);
  return true;
}

uint64_t stack_span(const end_record* end) { return end->head & ~FLAG_MASK; }

void report_stack_area(const char* name, end_record* end, int heap_stack) {
  uint64_t span = stack_span(end);
  char* start = reinterpret_cast<char*>(end) - span;
  std::fprintf(stderr, "%12s [%p,%p), %zd bytes\n", name, static_cast<void*>(start),
               static_cast<void*>(reinterpret_cast<char*>(end) + 32), static_cast<ssize_t>(span));
  if (context_reporter != nullptr) context_reporter(heap_stack);
  std::fprintf(stderr, "\n");
}

}  // namespace

int lv_mem_info(int quiet) {
  if (plain_malloc || !started) return 0;
  if (!quiet) std::fprintf(stderr, "\nMemory Manager Info\n*******************\n        Size Class  Free blocks\n");
  bool ok = true;
  uint64_t total_blocks = 0;
  for (unsigned i = 0; i < CLASS_COUNT && ok; i++) ok = check_class(i, quiet, &total_blocks);
  bool stacks = st.hs_area != nullptr && st.tc_area != nullptr;
  if (!quiet && stacks) {
    std::fprintf(stderr, "Total nr of blocks:  %10d\n", static_cast<int>(total_blocks));
    uint64_t busy = st.bytes_in_use - stack_span(st.hs_area) - stack_span(st.tc_area);
    std::fprintf(stderr, "Total space:       %12zu bytes free,   %10zu bytes busy\n\n", static_cast<size_t>(st.bytes_free),
                 static_cast<size_t>(busy));
  }
  if (!quiet) {
    unsigned order[LV_CAT_COUNT];
    unsigned n = 0;
    for (unsigned c = 0; c < LV_CAT_COUNT; c++)
      if (st.category_bytes[c] != 0) order[n++] = c;
    std::stable_sort(order, order + n, [](unsigned x, unsigned y) { return st.category_bytes[x] > st.category_bytes[y]; });
    for (unsigned k = 0; k < n; k++) {
      uint64_t bytes = st.category_bytes[order[k]];
      double percent = st.bytes_in_use != 0 ? 100.0 * static_cast<double>(bytes) / static_cast<double>(st.bytes_in_use) : 0.0;
      std::fprintf(stderr, "%24s %8zd (%4.1f%%)\n", category_names[order[k]], static_cast<ssize_t>(bytes), percent);
    }
    std::fprintf(stderr, "\n");
  }
  if (ok && st.area_ring != nullptr) {
    area_header* h = st.area_ring;
    do {
      ok = check_area(h, quiet);
      h = h->next;
    } while (ok && h != st.area_ring);
  }
  if (!quiet) {
    std::fprintf(stderr, "\n");
    if (stacks) {
      report_stack_area("heap/stack:", st.hs_area, 1);
      report_stack_area("trail/choice:", st.tc_area, 0);
    }
  }
  return ok ? 0 : 1;
}
