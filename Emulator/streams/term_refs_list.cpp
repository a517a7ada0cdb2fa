// A Prolog list made from an array of term references.
#include "streams/term_refs_list.h"

#include "core/bind.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term.h"

int lv_term_refs_to_list(lv_term_ref target, const lv_term_ref* refs) {
  if (!lv_term_ref_valid(target) || refs == nullptr) return 0;
  int64_t n = 0;
  for (; refs[n] != 0; n++)
    if (!lv_term_ref_valid(refs[n])) return 0;
  lv_worker* w = get_current_worker();
  // Two cells per element and one for a local variable moved to the heap;
  // the values are read only after the room is made (it may move them).
  lv_heap_room(w, 3 * n, 0);
  lv_term list = LV_ATOM_NIL;
  for (int64_t i = n - 1; i >= 0; i--) {
    lv_term value = lv_deref(lv_term_ref_cell(w, refs[i]));
    if (lv_is_ref(value)) {
      lv_term* var = lv_ref_cell(value);
      if (var >= w->local_base && var < w->local_end) {
        // No heap cell may point into the local stack.
        lv_term* fresh = w->H++;
        *fresh = lv_make_ref(fresh);
        lv_bind(w, var, *fresh);
        value = *fresh;
      }
    }
    lv_term* cell = w->H;
    w->H += 2;
    cell[0] = value;
    cell[1] = list;
    list = lv_make_list(cell);
  }
  lv_term_ref_cell(w, target) = list;
  return 1;
}
