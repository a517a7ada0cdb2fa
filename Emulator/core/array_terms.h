// One-dimensional arrays held as ordinary terms: '$array1d'(N, [E1, ..., EN])
// laid out in one run of 2N + 3 heap words: the functor, N, a pointer to the
// first list cell, then N list cells of two words (element, next), the last
// tail []. Element i (1-based) is word 2i + 1 after the functor.
#pragma once

#include <cstdint>

#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/worker.h"

inline uint64_t lv_array_words(uint64_t n) { return 2 * n + 3; }
inline lv_term* lv_array_element(lv_term* cells, uint64_t i) { return &cells[2 * i + 1]; }

// The cells and length of an array in that layout, or null. Only the ends of
// the run are checked, which keeps every element access inside the heap.
inline lv_term* lv_array_cells(const lv_worker* w, lv_term t, uint64_t* n) {
  t = lv_deref(t);
  if (!lv_is_struct(t)) return nullptr;
  lv_term* cells = lv_struct_cells(t);
  if (cells[0] != LV_FUNCTOR_ARRAY1D_2 || !lv_is_small(cells[1]) || lv_small_value(cells[1]) < 0) return nullptr;
  uint64_t len = static_cast<uint64_t>(lv_small_value(cells[1]));
  if (static_cast<uint64_t>(w->H - cells) < lv_array_words(len)) return nullptr;
  if (len == 0 ? cells[2] != LV_ATOM_NIL : cells[2] != lv_make_list(&cells[3])) return nullptr;
  if (cells[2 * len + 2] != LV_ATOM_NIL) return nullptr;
  *n = len;
  return cells;
}

// Whether a term at these cells is younger than the newest choicepoint, so
// that no choicepoint can see it change.
inline bool lv_younger_than_choice(const lv_worker* w, const lv_term* cells) { return cells >= w->HB; }

// Lays out an array of n elements at H (the caller made room) and advances
// H; the elements are left for the caller to fill.
inline lv_term* lv_array_build(lv_worker* w, uint64_t n) {
  lv_term* cells = w->H;
  cells[0] = LV_FUNCTOR_ARRAY1D_2;
  cells[1] = lv_make_small(static_cast<int64_t>(n));
  for (uint64_t i = 0; i < n; i++) cells[2 * i + 2] = lv_make_list(&cells[2 * i + 3]);
  cells[2 * n + 2] = LV_ATOM_NIL;
  w->H = cells + lv_array_words(n);
  return cells;
}

// Stores a value into an element cell of a structure being filled: an
// unbound local-stack variable cannot be referred to from the heap, so the
// cell becomes a fresh variable and the local variable is bound to it.
void lv_array_store(lv_worker* w, lv_term* cell, lv_term value);
