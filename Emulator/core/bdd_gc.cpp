// The decision-diagram tables after a collection.
#include "core/bdd_tables.h"
#include "core/heap_parse.h"

void lv_bdd_gc_adjust(lv_worker* w, lv_term* from, uint64_t nodes) {
  for (unsigned kind = 0; kind < 3; kind++) {
    if (lv_bdd_table_of(w, kind) == nullptr) return;
    lv_bdd_cut_back_to(w, kind, from);
  }
  // The surviving nodes, oldest first, as the heap holds them.
  for (lv_term* p = from; nodes > 0 && p < w->H;) {
    lv_term v = *p;
    if (v == LV_FUNCTOR_BDD_POS || v == LV_FUNCTOR_BDD_NEG) {
      lv_bdd_enter_node(w, lv_make_struct(p));
      nodes--;
      p += 4;
      continue;
    }
    p += lv_heap_item_cells(v);
  }
}
