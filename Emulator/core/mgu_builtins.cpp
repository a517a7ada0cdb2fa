// The most general unifier of two terms as a list of Var = Value pairs, one
// per variable the unification binds, in the order it bound them; a value
// may hold variables bound by a later pair. The unification runs under a
// choicepoint of its own, so that every binding it makes is trailed and no
// older trail entry is mistaken for one of its own; the bindings are then
// read from the trail and undone.
#include "core/mgu_builtins.h"

#include "core/array_terms.h"
#include "core/bind.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "store/static_code.h"

int prolog_mgu_variables(lv_worker* w) {
  if (lv_deref(w->X[0]) == lv_deref(w->X[1])) return cunify(w, w->X[2], LV_ATOM_NIL);
  // An unbound local-stack argument is first bound to a fresh heap
  // variable, so that every cell the unification binds is a heap cell that
  // the list may refer to.
  for (unsigned i = 0; i < 2; i++) {
    lv_term x = lv_deref(w->X[i]);
    if (lv_is_ref(x) && lv_ref_cell(x) >= w->H) {
      lv_term* v = w->H++;
      *v = lv_make_ref(v);
      lv_bind(w, lv_ref_cell(x), *v);
    }
  }
  int64_t mark, entries;
  int32_t wakeups = w->wakeup_count;
  for (int attempt = 0;; attempt++) {
    lv_push_call_choicepoint(w, &lv_static.fail_alternative);
    mark = w->TR - w->trail_base;
    int unified = cunify(w, w->X[0], w->X[1]);
    entries = (w->TR - w->trail_base) - mark;
    // Each binding takes an =/2 term and a list cell.
    int64_t need = 5 * entries;
    if (unified && w->heap_hard_limit - w->H >= need) break;
    lv_undo_bindings(w, mark, wakeups);
    lv_pop_call_choicepoint(w);
    if (!unified || attempt > 0) return 0;
    call_overflow(w, need, 3);
  }

  // The pairs are built while the bindings stand, so each value is read
  // through them.
  lv_term list = LV_ATOM_NIL;
  lv_term* tail = &list;
  for (int64_t i = 0; i < entries; i++) {
    lv_term* cell = lv_ref_cell(w->trail_base[mark + i]);
    lv_term* h = w->H;
    h[0] = lv_make_functor(LV_ATOM_EQUAL, 2);
    h[1] = lv_make_ref(cell);
    h[2] = lv_deref(*cell);
    h[3] = lv_make_struct(h);
    h[4] = LV_ATOM_NIL;
    *tail = lv_make_list(&h[3]);
    tail = &h[4];
    w->H = h + 5;
  }
  lv_undo_bindings(w, mark, wakeups);
  lv_pop_call_choicepoint(w);
  return cunify(w, w->X[2], list);
}
