// Reading the words of a number box.
#include "core/box_builtins.h"

#include "core/numbers.h"
#include "core/unify.h"

// An index past the box's value words fails.
int prolog_large_data(lv_worker* w) {
  lv_term index = lv_deref(w->X[0]);
  lv_term box = lv_deref(w->X[1]);
  if (!lv_is_small(index) || !lv_is_box(box)) return 0;
  const lv_term* cells = lv_struct_cells(box);
  int64_t i = lv_small_value(index);
  if (i < 0 || static_cast<uint64_t>(i) > lv_box_value_words(cells[0])) return 0;
  return cunify(w, w->X[2], lv_make_integer(w, static_cast<int64_t>(cells[i])));
}
