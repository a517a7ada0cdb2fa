// Deferred reclamation of erased code.
#include "store/reclaim.h"

#include <algorithm>

#include "core/memory.h"
#include "core/thread_time.h"
#include "core/worker.h"
#include "store/code_block.h"

namespace {

constexpr uint32_t ZOMBIE_FLAGS = lv_mem_flags(LV_CAT_GARBAGE);
constexpr uint32_t LIST_FLAGS = lv_mem_flags(LV_CAT_INCORE_INFO);
constexpr uint32_t SINGLE_BLOCK = 0xFFFF;

struct zombie {
  zombie* next;
  uint32_t type;  // the definition type, or SINGLE_BLOCK
  bool in_use;
  void* code;     // the clause list, or the single block
};

struct item {
  uintptr_t start;
  uint64_t size;
  zombie* owner;
};
static_assert(sizeof(item) == 24);

zombie* zombies;
uint64_t zombie_count;
uint64_t item_count;  // blocks and try records of all zombies
item* items;
uint64_t item_capacity;
uint64_t runs;
uint64_t run_ms;

uint64_t next_power_of_two(uint64_t n) {
  uint64_t p = 1;
  while (p < n) p *= 2;
  return p;
}

void resize_items(uint64_t capacity) {
  if (capacity == item_capacity) return;
  if (capacity == 0) {
    lv_mem_free(items, item_capacity * sizeof(item), ZOMBIE_FLAGS);
    items = nullptr;
  } else if (items == nullptr) {
    items = static_cast<item*>(lv_mem_alloc(capacity * sizeof(item), ZOMBIE_FLAGS));
  } else {
    items = static_cast<item*>(lv_mem_realloc(items, item_capacity * sizeof(item), capacity * sizeof(item), ZOMBIE_FLAGS));
  }
  item_capacity = capacity;
}

struct item_fill {
  zombie* owner;
  uint64_t* n;
};

void add_block_item(lv_code_block* b, void* arg) {
  auto* f = static_cast<item_fill*>(arg);
  items[(*f->n)++] = {reinterpret_cast<uintptr_t>(b), lv_code_block_size(b), f->owner};
}

void add_record_item(lv_try_record* r, void* arg) {
  auto* f = static_cast<item_fill*>(arg);
  items[(*f->n)++] = {reinterpret_cast<uintptr_t>(r), sizeof(lv_try_record), f->owner};
}

void count_item(lv_code_block*, void* arg) { ++*static_cast<uint64_t*>(arg); }
void count_record(lv_try_record*, void* arg) { ++*static_cast<uint64_t*>(arg); }

// Calls the visitors for every block and try record of a clause list's index.
template <typename BlockVisit, typename RecordVisit>
void for_each_part(lv_clause_list* list, BlockVisit block, RecordVisit record, void* arg) {
  lv_for_each_clause(list, block, arg);
  lv_for_each_try_record(list->all_chain, record, arg);
  lv_for_each_try_record(list->list_chain, record, arg);
  if (list->key_table != nullptr) {
    lv_hash_entry* e = lv_keytab_entries(list->key_table);
    bool default_seen = false;
    for (uint64_t i = 0; i < lv_keytab_capacity(list->key_table); i++) {
      if (e[i].key == 0) {
        if (default_seen) continue;
        default_seen = true;
      }
      lv_for_each_try_record(reinterpret_cast<const uint32_t*>(e[i].value), record, arg);
    }
  }
  if (list->large_table != nullptr) {
    lv_hash_gentry* g = lv_hash_entries(list->large_table);
    for (uint64_t i = 0; i <= list->large_table->mask; i++)
      if (g[i].key != nullptr && g[i].value != nullptr)
        lv_for_each_try_record(static_cast<const uint32_t*>(g[i].value), record, arg);
  }
}

uint64_t parts_of(zombie* z) {
  uint64_t n = 0;
  if (z->type == SINGLE_BLOCK) return 1;
  for_each_part(static_cast<lv_clause_list*>(z->code), count_item, count_record, &n);
  return n;
}

void push_zombie(uint32_t type, void* code) {
  zombie* z = static_cast<zombie*>(lv_mem_alloc(sizeof(zombie), ZOMBIE_FLAGS));
  *z = {zombies, type, false, code};
  zombies = z;
  zombie_count++;
  item_count += parts_of(z);
  resize_items(next_power_of_two(item_count));
}

void free_block(lv_code_block* b, void*) {
  lv_code_block_unregister(b);
  if (b->side_table != nullptr) lv_mem_free(b->side_table, b->side_table[0], lv_mem_flags(LV_CAT_SOURCE_INFO));
  lv_code_block_free(b);
}

void free_zombie(zombie* z) {
  if (z->type == SINGLE_BLOCK) {
    free_block(static_cast<lv_code_block*>(z->code), nullptr);
  } else {
    lv_clause_list* list = static_cast<lv_clause_list*>(z->code);
    lv_for_each_clause(list, free_block, nullptr);
    lv_free_clause_index(list);
    lv_mem_free(list, sizeof *list, LIST_FLAGS);
  }
  lv_mem_free(z, sizeof *z, ZOMBIE_FLAGS);
}

// Marks the zombie that holds a code address, if any.
void mark_address(uint64_t address, uint64_t n) {
  uintptr_t a = static_cast<uintptr_t>(address & ~uint64_t{1});
  item* end = items + n;
  item* it = std::upper_bound(items, end, a, [](uintptr_t x, const item& i) { return x < i.start; });
  if (it == items) return;
  --it;
  if (a < it->start + it->size) it->owner->in_use = true;
}

// The continuations of the frames from e down the environment chain.
void mark_frames(const lv_worker* w, const lv_term* e, uint64_t n) {
  while (e != nullptr && e >= w->local_base && e < w->local_end) {
    mark_address(lv_frame_view(e)->cp, n);
    const lv_term* previous = lv_frame_view(e)->previous();
    if (previous >= e) break;
    e = previous;
  }
}

}  // namespace

void lv_queue_erased_code(uint32_t type, lv_clause_list* list) { push_zombie(type, list); }

void lv_queue_erased_block(lv_code_block* block) { push_zombie(SINGLE_BLOCK, block); }

void lv_reclaim_erased_code(lv_worker* w, int keep) {
  if (zombie_count == 0) return;
  uint64_t start = lv_thread_cpu_ms();
  uint64_t n = 0;
  for (zombie* z = zombies; z != nullptr; z = z->next) {
    z->in_use = false;
    item_fill fill = {z, &n};
    if (z->type == SINGLE_BLOCK)
      add_block_item(static_cast<lv_code_block*>(z->code), &fill);
    else
      for_each_part(static_cast<lv_clause_list*>(z->code), add_block_item, add_record_item, &fill);
  }
  std::sort(items, items + n, [](const item& a, const item& b) { return a.start < b.start; });
  if (w != nullptr) {
    // The code running now and its continuation, every frame's continuation,
    // every choicepoint's alternative and saved continuation.
    mark_address(reinterpret_cast<uint64_t>(w->P), n);
    mark_address(reinterpret_cast<uint64_t>(w->CP), n);
    mark_frames(w, w->E, n);
    for (lv_term* b = w->B; b != nullptr && b < w->choice_base; b = lv_choice_prev(b)) {
      mark_address(lv_choice_view(b)->alt, n);
      mark_address(lv_choice_view(b)->cp, n);
      mark_frames(w, lv_choice_view(b)->saved_e(), n);
    }
  }
  zombie** link = &zombies;
  item_count = 0;
  while (*link != nullptr) {
    zombie* z = *link;
    if (z->in_use) {
      item_count += parts_of(z);
      link = &z->next;
      continue;
    }
    *link = z->next;
    zombie_count--;
    free_zombie(z);
  }
  if (item_count == 0)
    resize_items(0);
  else if (!keep)
    resize_items(next_power_of_two(item_count));
  runs++;
  run_ms += lv_thread_cpu_ms() - start;
}

void lv_reclaim_reset() {
  zombies = nullptr;
  zombie_count = item_count = item_capacity = 0;
  items = nullptr;
  runs = run_ms = 0;
}

lv_reclaim_stats lv_reclaim_statistics() { return {zombie_count, item_count, runs, run_ms}; }
