// $copy_term.
#include "core/copy_term.h"

#include "core/term_copy.h"
#include "core/unify.h"

int prolog_copy_term(lv_worker* w) {
  lv_term t = lv_deref(w->X[0]);
  // A fresh variable is a copy of a variable.
  if (lv_is_ref(t)) return 1;
  if (lv_is_atomic(t)) return cunify(w, w->X[1], t);
  w->X[0] = t;
  lv_copy_make_room(w, 0, 2);
  lv_copy_state copy = lv_copy_to_heap_top(w, w->X[0], true);
  lv_copy_undo(w, copy);
  w->H = copy.end;
  return cunify(w, w->X[1], *copy.start);
}
