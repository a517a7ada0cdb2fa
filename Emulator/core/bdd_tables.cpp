// The decision-diagram node tables.
#include "core/bdd_tables.h"

#include <cstring>

#include "core/memory.h"

namespace {

constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_BDD_HASH);

uint64_t table_bytes(uint64_t capacity) { return sizeof(lv_bdd_table) + capacity * sizeof(lv_bdd_entry); }

}  // namespace

void lv_bdd_tables_new(lv_worker* w) {
  for (int i = 0; i < 3; i++) {
    uint64_t bytes = table_bytes(LV_BDD_INITIAL_CAPACITY);
    lv_bdd_table* t = static_cast<lv_bdd_table*>(lv_mem_alloc(bytes, TABLE_FLAGS));
    std::memset(t, 0, bytes);
    t->mask = LV_BDD_INITIAL_CAPACITY - 1;
    w->bdd_tables[i] = t;
    w->bdd_lists[i] = nullptr;
  }
  w->bdd_node_count = 0;
}

void lv_bdd_tables_free(lv_worker* w) {
  for (int i = 0; i < 3; i++) {
    lv_bdd_table* t = static_cast<lv_bdd_table*>(w->bdd_tables[i]);
    if (t != nullptr) lv_mem_free(t, table_bytes(t->mask + 1), TABLE_FLAGS);
    w->bdd_tables[i] = nullptr;
    w->bdd_lists[i] = nullptr;
  }
}
