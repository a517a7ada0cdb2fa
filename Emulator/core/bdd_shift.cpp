// The decision-diagram tables after a heap move.
#include "core/bdd_tables.h"

// Every entry's term is a heap pointer and moves by the offset, entries above
// the heap top included, so that they stay above it for the lazy cut-back.
// A value moves only when it is a pointer: terminals and other atomic values
// stay as they are.
void lv_bdd_shift_adjust(lv_worker* w, int64_t offset, lv_term*) {
  for (void* table : w->bdd_tables) {
    lv_bdd_table* t = static_cast<lv_bdd_table*>(table);
    if (t == nullptr) continue;
    lv_bdd_entry* e = lv_bdd_entries(t);
    for (uint64_t i = 0; i <= t->mask; i++) {
      if (e[i].term == 0) continue;
      e[i].term += static_cast<uint64_t>(offset);
      if (e[i].value != 0 && !lv_is_atomic(e[i].value)) e[i].value += static_cast<uint64_t>(offset);
    }
  }
}
