// Clause-instance records.
#include "store/instance_records.h"

#include "core/memory.h"
#include "embed/prolog_contract.h"
#include "store/counters.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/predicates.h"
#include "store/source_table.h"

namespace {

constexpr uint32_t RECORD_FLAGS = lv_mem_flags(LV_CAT_SOURCE_INFO);

lv_instance_record* new_record(lv_db_clause* clause, int64_t line, lv_pred* callee) {
  auto* r = static_cast<lv_instance_record*>(lv_mem_alloc(sizeof(lv_instance_record), RECORD_FLAGS));
  *r = {clause, line, callee, {nullptr, nullptr, nullptr}};
  return r;
}

// The line of a source-position table's first entry.
int64_t first_line(const void* positions) { return lv_source_entry_line(static_cast<const uint64_t*>(positions), 1); }

}  // namespace

lv_instance_record* lv_instance_source_record(lv_db_clause* clause) {
  if (clause->positions == nullptr) return nullptr;
  if (clause->instances == nullptr) clause->instances = new_record(clause, first_line(clause->positions), lv_role.clause_body);
  return static_cast<lv_instance_record*>(clause->instances);
}

lv_instance_record* lv_position_instance_record(lv_term position, lv_pred* callee) {
  position = lv_deref(position);
  lv_instance_record* r = nullptr;
  if (lv_is_list(position)) {
    lv_term step = lv_deref(lv_list_cells(position)[0]);
    lv_instance_record* parent = lv_position_instance_record(lv_list_cells(position)[1], nullptr);
    if (parent == nullptr || !lv_is_small(step) || lv_small_value(step) < 1 || lv_small_value(step) > 3) return nullptr;
    lv_instance_record*& slot = parent->child[lv_small_value(step) - 1];
    if (slot == nullptr) slot = new_record(parent->clause, -1, nullptr);
    r = slot;
  } else {
    lv_stored_block* block = lv_dbref_to_block(position);
    if (block == nullptr) return nullptr;
    r = lv_instance_source_record(lv_clause_of(block));
  }
  if (r != nullptr && callee != nullptr) r->callee = callee;
  lv_term file;
  int64_t line;
  if (r != nullptr && lv_search_source_table(position, &file, &line) != 0) r->line = line;
  return r;
}

void lv_free_key_tree(void** slot) {
  auto* r = static_cast<lv_instance_record*>(*slot);
  if (r == nullptr) return;
  lv_pred* pred = r->clause->pred;
  if (pred != nullptr && pred->counters != nullptr) {
    auto* counters = static_cast<lv_counter_object*>(pred->counters);
    lv_hash_entry* e = lv_wordtab_find(counters->table, reinterpret_cast<uint64_t>(r));
    if (e != nullptr && e->key == reinterpret_cast<uint64_t>(r)) e->value = 0;
  }
  for (auto*& child : r->child) lv_free_key_tree(reinterpret_cast<void**>(&child));
  lv_mem_free(r, sizeof *r, RECORD_FLAGS);
  *slot = nullptr;
}
