// The dynamic database's part in atom collection: the atoms of every stored
// clause (in tables and on erased lists) and of the other stored blocks.
#include "store/db_roots.h"

#include "core/atom_gc.h"
#include "core/heap_parse.h"
#include "store/db_generations.h"
#include "store/db_results.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"

void lv_walk_block_cells(lv_stored_block* block, void (*visit)(lv_term word)) {
  visit(block->key);
  lv_walk_stored_cells(lv_block_cells(block), lv_block_cell_count(block), visit);
}

void lv_walk_stored_cells(const lv_term* cells, uint64_t n, void (*visit)(lv_term word)) {
  for (uint64_t k = 0; k < n;) {
    lv_term v = cells[k];
    if (lv_heap_box_start(v)) {
      k += lv_heap_item_cells(v);
      continue;
    }
    if (lv_is_atomic(v)) visit(v);
    k++;
  }
}

namespace {

void mark_clause(lv_db_clause* c) {
  lv_walk_block_cells(lv_block_of(c), lv_atom_mark_word);
  if (lv_clause_alive(c)) lv_atom_mark_word(c->source_key);
  lv_atom_mark_word(c->source);
}

void mark_module(lv_module* m, void*) {
  lv_hash_entry* e = lv_keytab_entries(m->pred_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++) {
    if (e[i].key == 0 || e[i].value == 0) continue;
    auto* p = reinterpret_cast<lv_pred*>(e[i].value);
    if (p->owner_module != m || p->import_module != m) continue;
    if (lv_definition_type(p) != LV_DEF_DYNAMIC || p->definition == nullptr) continue;
    lv_dynamic_clause_table* t = lv_dynamic_table(p);
    for (lv_db_clause* c = t->first; c != nullptr; c = lv_clause_next(c)) mark_clause(c);
    lv_hash_entry* k = lv_keytab_entries(t->key_table);
    for (uint64_t j = 0; j < lv_keytab_capacity(t->key_table); j++) lv_atom_mark_word(k[j].key);
  }
  lv_hash_entry* bb = lv_keytab_entries(m->bb_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(m->bb_table); i++)
    if (bb[i].value != 0) lv_walk_block_cells(reinterpret_cast<lv_stored_block*>(bb[i].value), lv_atom_mark_word);
}

void mark_db(lv_worker*) {
  lv_for_each_module(mark_module, nullptr);
  lv_for_each_instance(lv_atom_mark_word);
  lv_db_mark_other_blocks(lv_atom_mark_word);
}

void reclaim_clauses(lv_worker* w) { lv_reclaim_erased_clauses(w); }

}  // namespace

void lv_db_roots_init() {
  lv_atom_gc_add_before(reclaim_clauses);
  lv_atom_gc_add_roots(mark_db);
}
