// General unification.
//
// lv_unify_args walks the argument cells breadth-first. When two different
// compound terms meet, the cell holding the higher pointer is overwritten
// with the lower pointer and {cell, previous contents} is pushed on the pair
// stack; later visits of the same pair then meet identical words, which keeps
// the walk finite on cyclic terms. Every overwritten cell gets its contents
// back before the routine returns.
#include "core/unify.h"

#include "core/bind.h"
#include "core/stack_shift.h"

namespace {

// Dereferences the contents of a cell; sets *holder to the last cell of the
// chain (the cell that holds the result when it is not a variable).
inline lv_term deref_cell(lv_term* cell, lv_term** holder) {
  lv_term t = *cell;
  while (lv_is_ref(t)) {
    lv_term* c = lv_ref_cell(t);
    lv_term v = *c;
    if (v == t) break;
    cell = c;
    t = v;
  }
  *holder = cell;
  return t;
}

// Free words needed between TR and B before each vector: the pushes of one
// vector, plus what the pair stack already holds.
constexpr int64_t PAIR_ROOM_WORDS = 1024;

inline void ensure_pair_room(lv_worker* w) {
  if (w->B - w->TR < PAIR_ROOM_WORDS - w->pair_index) lv_shift_args_to_choice(w, 0, PAIR_ROOM_WORDS);
}

// Unifies one vector; pushes pairs of compound terms for later.
bool unify_vector(lv_worker* w, uint64_t n, lv_term* left, lv_term* right) {
  for (uint64_t i = 0; i < n; i++) {
    if (left[i] == right[i]) continue;
    lv_term* lc;
    lv_term* rc;
    lv_term l = deref_cell(&left[i], &lc);
    lv_term r = deref_cell(&right[i], &rc);
    if (l == r) continue;
    if (lv_is_ref(l)) {
      lv_bind_term(w, l, r);
      continue;
    }
    if (lv_is_ref(r)) {
      lv_bind(w, lv_ref_cell(r), l);
      continue;
    }
    if (((l ^ r) & LV_TAG_MASK) != 0 || lv_is_atomic(l)) return false;
    if (l > r)
      lv_pair_overwrite(w, lc, r);
    else
      lv_pair_overwrite(w, rc, l);
  }
  return true;
}

}  // namespace

int lv_unify_args(lv_worker* w, uint64_t n, lv_term* left, lv_term* right) {
  const int32_t rest = w->pair_index;
  int32_t next = rest;  // the oldest entry not yet processed lies just below
  int result = 1;
  for (;;) {
    ensure_pair_room(w);
    if (!unify_vector(w, n, left, right)) {
      result = 0;
      break;
    }
    if (next == w->pair_index) break;
    next -= 2;
    lv_term* entry = w->B + next;
    lv_term x = *lv_ref_cell(entry[0]);
    lv_term y = lv_deref(entry[1]);
    if (lv_is_list(x)) {
      n = 2;
      left = lv_list_cells(x);
      right = lv_list_cells(y);
      continue;
    }
    lv_term* xs = lv_struct_cells(x);
    lv_term* ys = lv_struct_cells(y);
    if (xs[0] != ys[0]) {
      result = 0;
      break;
    }
    if (lv_is_box_header(xs[0])) {
      if (!lv_box_values_equal(xs, ys)) {
        result = 0;
        break;
      }
      n = 0;
      continue;
    }
    n = lv_functor_arity(xs[0]);
    left = xs + 1;
    right = ys + 1;
  }
  lv_pair_undo(w, rest);
  return result;
}

int cunify(lv_worker* w, lv_term x, lv_term y) {
  x = lv_deref(x);
  y = lv_deref(y);
  if (lv_is_ref(x)) {
    if (x != y) lv_bind_term(w, x, y);
    return 1;
  }
  if (lv_is_ref(y)) {
    lv_bind(w, lv_ref_cell(y), x);
    return 1;
  }
  if (x == y) return 1;
  if (((x ^ y) & LV_TAG_MASK) != 0 || lv_is_atomic(x)) return 0;
  if (lv_is_list(x)) return lv_unify_args(w, 2, lv_list_cells(x), lv_list_cells(y));
  lv_term* xs = lv_struct_cells(x);
  lv_term* ys = lv_struct_cells(y);
  if (xs[0] != ys[0]) return 0;
  if (lv_is_box_header(xs[0])) return lv_box_values_equal(xs, ys) ? 1 : 0;
  return lv_unify_args(w, lv_functor_arity(xs[0]), xs + 1, ys + 1);
}

void lv_update_mutable(lv_worker* w, lv_term value, lv_term mutable_term) {
  value = lv_deref(value);
  lv_term* cells = lv_struct_cells(lv_deref(mutable_term));
  lv_term* b = w->B;
  int64_t choice_trail = lv_choice_view(b)->saved_tr() - w->trail_base;
  lv_term* choice_heap = lv_choice_view(b)->saved_h();
  if (lv_small_value(cells[2]) < choice_trail && cells < choice_heap) {
    lv_term* entry = w->TR;
    entry[0] = lv_make_struct(cells);
    entry[1] = cells[1];
    entry[2] = cells[2];
    cells[1] = value;
    cells[2] = lv_make_small(entry - w->trail_base);
    w->TR = entry + 3;
    lv_trail_check(w);
  } else {
    cells[1] = value;
  }
}
