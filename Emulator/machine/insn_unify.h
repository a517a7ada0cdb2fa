// The routines that the head and structure unification instructions share
// (insn_unify.inc). They bind through the rules of core/bind.h, so the
// context's H must be the heap top whenever they may bind or trail.
#pragma once

#include <cstdint>

#include "core/bind.h"
#include "core/numbers.h"
#include "core/unify.h"
#include "core/worker.h"

// Value unification of two words. Variables are bound by the rules of
// core/bind.h (the younger of two to the older, a plain one to an
// attributed one); compound terms with different cells go to lv_unify_args.
inline bool lv_unify_values(lv_worker* w, lv_term a, lv_term b) {
  b = lv_deref(b);
  a = lv_deref(a);
  if (lv_is_ref(a)) {
    if (!lv_is_ref(b)) {
      lv_bind(w, lv_ref_cell(a), b);
    } else if (a != b) {
      lv_bind_vars(w, lv_ref_cell(a), lv_ref_cell(b));
    }
    return true;
  }
  if (lv_is_ref(b)) {
    lv_bind(w, lv_ref_cell(b), a);
    return true;
  }
  if (a == b) return true;
  if (((a ^ b) & LV_TAG_MASK) != 0 || lv_is_atomic(a)) return false;
  if (lv_is_list(a)) return lv_unify_args(w, 2, lv_list_cells(a), lv_list_cells(b)) != 0;
  lv_term* as = lv_struct_cells(a);
  lv_term* bs = lv_struct_cells(b);
  if (as[0] != bs[0]) return false;
  if (lv_is_box_header(as[0])) return lv_box_values_equal(as, bs);
  return lv_unify_args(w, lv_functor_arity(as[0]), as + 1, bs + 1) != 0;
}

// A term against a constant: an unbound variable is bound to it, anything
// else must be the same word.
inline bool lv_match_constant(lv_worker* w, lv_term t, lv_term constant) {
  t = lv_deref(t);
  if (lv_is_ref(t)) {
    lv_bind(w, lv_ref_cell(t), constant);
    return true;
  }
  return t == constant;
}

// A term against a number boxed in code (header and value words): an
// unbound variable is bound to a heap copy, a box must have the same header
// and value words, anything else fails (a small integer never equals a box).
inline bool lv_match_large(lv_worker* w, lv_term t, const lv_term* box) {
  t = lv_deref(t);
  if (lv_is_ref(t)) {
    lv_term copy = lv_copy_number_box(w, box);
    lv_bind(w, lv_ref_cell(t), copy);
    return true;
  }
  if (!lv_is_struct(t)) return false;
  const lv_term* cells = lv_struct_cells(t);
  return cells[0] == box[0] && lv_box_values_equal(box, cells);
}

// Moves the local-stack variable var to the heap: cell, the heap's top
// cell, becomes a new unbound variable and var is bound to it (trailed when
// a choicepoint protects var's frame). H then lies past cell.
inline void lv_globalise(lv_worker* w, lv_term* var, lv_term* cell) {
  *cell = lv_make_ref(cell);
  w->H = cell + 1;
  lv_bind(w, var, *cell);
}

// A term to store on the heap: dereferenced, an unbound local-stack
// variable being first moved to the heap top.
inline lv_term lv_heap_value(lv_worker* w, lv_term value) {
  lv_term t = lv_deref(value);
  if (!lv_is_ref(t) || lv_ref_cell(t) < w->H) return t;
  lv_term* cell = w->H;
  lv_globalise(w, lv_ref_cell(t), cell);
  return *cell;
}

// Writes a value into the argument cell at the heap top: dereferenced, and
// a local-stack variable (at or above the cell) globalised into the cell,
// so that the heap never points into the local stack.
inline void lv_write_local_value(lv_worker* w, lv_term* cell, lv_term value) {
  lv_term t = lv_deref(value);
  if (lv_is_ref(t) && lv_ref_cell(t) >= cell)
    lv_globalise(w, lv_ref_cell(t), cell);
  else
    *cell = t;
}

// The number of 32-bit code words an inline box takes: 2 x (value words + 1).
inline uint64_t lv_inline_box_words(const lv_term* box) { return 2 * (lv_box_value_words(box[0]) + 1); }
