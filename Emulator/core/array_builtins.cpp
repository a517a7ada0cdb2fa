// One-dimensional arrays: made, read, lengthened or shortened and updated.
// An array younger than the newest choicepoint is changed in place; an older
// one, which backtracking may return to, is copied and the copy changed.
#include "core/array_builtins.h"

#include "core/array_terms.h"
#include "core/bind.h"
#include "core/os_memory.h"
#include "core/stack_shift.h"
#include "core/text_lists.h"
#include "core/unify.h"

namespace {

// Whether an array of n elements can be laid out: larger than the present
// stack block it is still made when its words fit the address space left,
// the heap growing for it; beyond that the built-in fails.
bool array_size_ok(const lv_worker* w, uint64_t n) {
  if (n <= static_cast<uint64_t>(w->area_end - w->area_start)) return true;
  return n <= lv_os_avail_virtual() / 16;
}

bool small_index(lv_term t, uint64_t n, uint64_t* i) {
  t = lv_deref(t);
  if (!lv_is_small(t) || lv_small_value(t) < 1 || static_cast<uint64_t>(lv_small_value(t)) > n) return false;
  *i = static_cast<uint64_t>(lv_small_value(t));
  return true;
}

// A fresh array of length n whose first `copied` elements come from the
// array held in X[reg], the rest fresh variables. Makes room itself, keeping
// X0..X(live-1).
lv_term* array_copy(lv_worker* w, unsigned reg, uint64_t copied, uint64_t n, unsigned live) {
  lv_heap_room(w, static_cast<int64_t>(lv_array_words(n)), live);
  uint64_t old_n;
  lv_term* old = lv_array_cells(w, w->X[reg], &old_n);
  lv_term* cells = lv_array_build(w, n);
  for (uint64_t i = 1; i <= n; i++) {
    lv_term* e = lv_array_element(cells, i);
    if (i <= copied) {
      lv_term v = lv_deref(*lv_array_element(old, i));
      // An unbound element is shared through a reference to its cell.
      *e = v;
    } else {
      *e = lv_make_ref(e);
    }
  }
  return cells;
}

}  // namespace

void lv_array_store(lv_worker* w, lv_term* cell, lv_term value) {
  value = lv_deref(value);
  if (lv_is_ref(value) && lv_ref_cell(value) >= w->H) {
    *cell = lv_make_ref(cell);
    lv_bind(w, lv_ref_cell(value), lv_make_ref(cell));
  } else {
    *cell = value;
  }
}

int prolog_array1d_new(lv_worker* w) {
  lv_term arg = lv_deref(w->X[0]);
  int64_t n;
  if (lv_is_small(arg)) {
    n = lv_small_value(arg);
  } else {
    n = lv_proper_list_length(arg);
  }
  if (n < 0 || !array_size_ok(w, static_cast<uint64_t>(n))) return 0;
  lv_heap_room(w, static_cast<int64_t>(lv_array_words(static_cast<uint64_t>(n))), 2);
  lv_term* cells = lv_array_build(w, static_cast<uint64_t>(n));
  lv_term l = lv_deref(w->X[0]);
  for (int64_t i = 1; i <= n; i++) {
    lv_term* e = lv_array_element(cells, static_cast<uint64_t>(i));
    if (lv_is_list(l)) {
      *e = lv_deref(lv_list_cells(l)[0]);
      l = lv_deref(lv_list_cells(l)[1]);
    } else {
      *e = lv_make_ref(e);
    }
  }
  return cunify(w, w->X[1], lv_make_struct(cells));
}

int prolog_array1d_nth(lv_worker* w) {
  uint64_t n, i;
  lv_term* cells = lv_array_cells(w, w->X[0], &n);
  if (cells == nullptr || !small_index(w->X[1], n, &i)) return 0;
  lv_term x = lv_deref(w->X[2]);
  if (!lv_is_ref(x)) return 0;
  lv_term* e = lv_array_element(cells, i);
  lv_term v = lv_deref(*e);
  lv_bind_term(w, x, v);
  return 1;
}

int prolog_array1d_set_length(lv_worker* w) {
  lv_term length = lv_deref(w->X[0]);
  uint64_t d;
  lv_term* cells = lv_array_cells(w, w->X[1], &d);
  if (!lv_is_small(length) || lv_small_value(length) < 0 || cells == nullptr) return 0;
  uint64_t l = static_cast<uint64_t>(lv_small_value(length));
  if (!array_size_ok(w, l)) return 0;
  if (l == d) return cunify(w, w->X[2], LV_ATOM_NIL);
  if (l < d && lv_younger_than_choice(w, cells)) {
    cells[1] = lv_make_small(static_cast<int64_t>(l));
    cells[2 * l + 2] = LV_ATOM_NIL;
    return cunify(w, w->X[2], LV_ATOM_NIL);
  }
  lv_term* fresh = array_copy(w, 1, l < d ? l : d, l, 3);
  return cunify(w, w->X[2], lv_make_struct(fresh));
}

int prolog_array1d_set_nth(lv_worker* w) {
  uint64_t n, i;
  lv_term* cells = lv_array_cells(w, w->X[0], &n);
  if (cells == nullptr || !small_index(w->X[1], n, &i) || !lv_is_ref(lv_deref(w->X[3]))) return 0;
  lv_term fresh = LV_ATOM_NIL;
  if (!lv_younger_than_choice(w, cells)) {
    cells = array_copy(w, 0, n, n, 4);
    fresh = lv_make_struct(cells);
  }
  lv_array_store(w, lv_array_element(cells, i), w->X[2]);
  lv_bind_term(w, lv_deref(w->X[3]), fresh);
  return 1;
}
