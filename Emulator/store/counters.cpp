// Execution counters of predicates. Counter records are made by the
// instrumented emulator; until it runs, no record has any.
#include "store/counters.h"

#include "core/memory.h"
#include "store/predicates.h"

namespace {

constexpr uint32_t OBJECT_FLAGS = lv_mem_flags(LV_CAT_MISC);

}  // namespace

lv_counter_object* lv_new_counter_object() {
  auto* c = static_cast<lv_counter_object*>(lv_mem_alloc(sizeof(lv_counter_object), OBJECT_FLAGS));
  *c = {lv_wordtab_new(4), 0, 0, 0};
  return c;
}

void lv_free_counter_object(lv_counter_object* counters) {
  lv_wordtab_free(counters->table);
  lv_mem_free(counters, sizeof *counters, OBJECT_FLAGS);
}

void lv_profile_mark_nondet(lv_counter_object* counters, uint64_t key) {
  lv_wordtab_insert(&counters->table, key)->value |= 1;
}

void lv_counters_free(lv_pred* pred) { pred->counters = nullptr; }
