// The clause table of a dynamic predicate. Clauses are added and erased by
// the dynamic database; this file makes and frees the empty table.
#include "store/dynamic_table.h"

#include "core/memory.h"
#include "store/predicates.h"

namespace {

constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_INT_INFO);

}  // namespace

lv_dynamic_clause_table* lv_dynamic_table_new(lv_pred*) {
  auto* t = static_cast<lv_dynamic_clause_table*>(lv_mem_alloc(sizeof(lv_dynamic_clause_table), TABLE_FLAGS));
  *t = {nullptr, nullptr, nullptr, new_switch_on_key(2, 0), nullptr};
  return t;
}

void lv_dynamic_table_free(lv_pred* pred) {
  auto* t = static_cast<lv_dynamic_clause_table*>(pred->definition);
  if (t == nullptr) return;
  dispose_switch_on_key(t->key_table);
  lv_mem_free(t, sizeof *t, TABLE_FLAGS);
  pred->definition = nullptr;
}
