// The decision-diagram tables after a move of the heap.
#include "core/bdd_tables.h"

namespace {

struct shift {
  int64_t offset;
  lv_term* new_top;
};

// Heap pointers move by the offset, entries above the heap top go; the
// terminals and other atomic values stay as they are.
bool move_entry(lv_worker*, unsigned, lv_bdd_entry* e, void* data) {
  const shift* s = static_cast<const shift*>(data);
  e->term += static_cast<uint64_t>(s->offset);
  if (!lv_is_atomic(e->value)) e->value += static_cast<uint64_t>(s->offset);
  return reinterpret_cast<lv_term*>(e->term & ~LV_TAG_MASK) < s->new_top;
}

}  // namespace

void lv_bdd_shift_adjust(lv_worker* w, int64_t offset, lv_term* new_top) {
  shift s{offset, new_top};
  for (unsigned kind = 0; kind < 3; kind++) {
    lv_bdd_table* t = lv_bdd_table_of(w, kind);
    if (t == nullptr) continue;
    lv_bdd_rebuild(w, kind, t->mask + 1, move_entry, &s);
  }
}
