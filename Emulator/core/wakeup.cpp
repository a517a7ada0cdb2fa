// Collecting woken attributed variables at an event check.
#include "core/wakeup.h"

#include "core/predefined_atoms.h"
#include "embed/prolog_contract.h"
#include "machine/frames.h"

namespace {

// A bound attributed variable: a heap cell after the -1 marker that no
// longer holds its own address. Its words: the cell, the attribute vector
// and the goal list.
bool woken_cell(const lv_worker* w, const lv_term* cell) {
  return cell > w->area_start && cell < w->H && cell[-1] == LV_ATTVAR_MARKER && *cell != lv_make_ref(cell);
}

// Closes up the zero entries among the plain entries from low to TR. Value
// trail entries carry positions (their mutables' stamps), so a stretch
// holding one is left as it is: zero entries are skipped by every reader.
void close_up(lv_worker* w, lv_term* low) {
  for (lv_term* p = low; p < w->TR; p++)
    if (lv_is_atomic(*p)) return;
  lv_term* to = low;
  for (lv_term* p = low; p < w->TR; p++)
    if (*p != 0) *to++ = *p;
  w->TR = to;
}

}  // namespace

lv_pred* lv_collect_woken_goals(lv_worker* w, lv_pred* k) {
  lv_pred* handler = k;
  int64_t remaining = w->wakeup_count;
  lv_term* tr = w->TR;
  lv_term* low = tr;
  while (remaining > 0 && tr > w->trail_base) {
    lv_term t = tr[-1];
    if (lv_is_atomic(t)) {  // a value-trail entry: three words
      tr -= 3;
      continue;
    }
    tr--;
    if (t == 0 || !lv_is_ref(t)) continue;
    lv_term* cell = lv_ref_cell(t);
    if (!woken_cell(w, cell)) continue;
    remaining--;
    low = tr;
    lv_push_continuation_frame(w, handler, nullptr);
    if (cell[1] == LV_ATOM_NIL) {
      // Suspended goals only: the binding stands; its trail entry is kept
      // when a choicepoint must undo it.
      if (cell >= w->HB) *tr = 0;
      w->X[0] = cell[2];
      handler = lv_role.goal_runner;
    } else {
      lv_term value = *cell;
      *cell = lv_make_ref(cell);
      *tr = 0;
      w->X[0] = lv_make_ref(cell);
      w->X[1] = value;
      handler = lv_role.attribute_handler;
    }
  }
  w->wakeup_count = 0;
  close_up(w, low);
  return handler;
}
