// The blackboard: per module, a table from atomic keys to stored terms.
#include "store/db_blackboard.h"

#include "core/predefined_atoms.h"
#include "core/stored_block.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "store/predicates.h"

namespace {

// The module (X0) and the entry of the key (X1); create makes the entry.
lv_hash_entry* entry(lv_worker* w, bool create) {
  lv_term name = lv_deref(w->X[0]);
  lv_term key = lv_deref(w->X[1]);
  if (!lv_is_atom(name) || !lv_is_atomic(key)) return nullptr;
  lv_module* m = find_module(name, 0);
  if (m == nullptr) return nullptr;
  if (create) return dyn_puthash(&m->bb_table, key);
  lv_hash_entry* e = incore_gethash(m->bb_table, key);
  return e != nullptr && e->key == key && e->value != 0 ? e : nullptr;
}

lv_stored_block* block_of(lv_hash_entry* e) { return reinterpret_cast<lv_stored_block*>(e->value); }

// The stored term copied onto the heap (registers below live are kept).
lv_term fetch(lv_worker* w, lv_stored_block* b, unsigned live) { return lv_list_cells(lv_block_to_heap(w, b, live, 0))[0]; }

}  // namespace

lv_stored_block* lv_db_store_term(lv_worker* w, unsigned reg) {
  if (w->heap_hard_limit - w->H < 2) call_overflow(w, LV_HEAP_RESERVE_CELLS + 2, reg + 1);
  lv_term* h = w->H;
  h[0] = w->X[reg];
  h[1] = LV_ATOM_NIL;
  w->H = h + 2;
  w->X[reg] = lv_make_list(h);
  return lv_store_term(w, reg);
}

int prolog_bb_put(lv_worker* w) {
  if (entry(w, false) == nullptr && entry(w, true) == nullptr) return 0;
  w->X[3] = w->X[2];
  lv_stored_block* b = lv_db_store_term(w, 3);
  lv_hash_entry* e = entry(w, true);
  if (e->value != 0) lv_free_stored_block(block_of(e));
  e->value = reinterpret_cast<uint64_t>(b);
  return 1;
}

int prolog_bb_get(lv_worker* w) {
  lv_hash_entry* e = entry(w, false);
  if (e == nullptr) return 0;
  lv_term t = fetch(w, block_of(e), 3);
  return cunify(w, w->X[2], t);
}

int prolog_bb_delete(lv_worker* w) {
  lv_hash_entry* e = entry(w, false);
  if (e == nullptr) return 0;
  lv_term t = fetch(w, block_of(e), 3);
  e = entry(w, false);
  lv_free_stored_block(block_of(e));
  e->value = 0;
  return cunify(w, w->X[2], t);
}

int prolog_bb_update(lv_worker* w) {
  lv_hash_entry* e = entry(w, false);
  if (e == nullptr) return 0;
  lv_term t = fetch(w, block_of(e), 4);
  if (!cunify(w, w->X[2], t)) return 0;
  w->X[4] = w->X[3];
  lv_stored_block* b = lv_db_store_term(w, 4);
  e = entry(w, false);
  lv_free_stored_block(block_of(e));
  e->value = reinterpret_cast<uint64_t>(b);
  return 1;
}

void lv_db_free_buckets(lv_module* m) {
  lv_hash_entry* e = lv_keytab_entries(m->bb_table);
  for (uint64_t i = lv_keytab_capacity(m->bb_table); i-- > 0;) {
    if (e[i].value == 0) continue;
    lv_free_stored_block(block_of(&e[i]));
    e[i].value = 0;
  }
}
