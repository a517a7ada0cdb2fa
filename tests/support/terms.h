// Test support: building terms on the heap from C++ and printing them.
#pragma once

#include <initializer_list>
#include <string>

#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/worker.h"

namespace terms {

// An atom word by index (predefined atoms keep their index; others need not
// exist for terms that are only compared and unified).
inline lv_term atom(unsigned index) { return lv_atom_from_index(index); }
inline lv_term small(int64_t v) { return lv_make_small(v); }

inline lv_term var(lv_worker* w) {
  lv_term* cell = w->H++;
  *cell = lv_make_ref(cell);
  return *cell;
}

// An attributed variable: {-1, cell, [], []}; returns the cell's reference.
inline lv_term attvar(lv_worker* w) {
  lv_term* h = w->H;
  h[0] = LV_ATTVAR_MARKER;
  h[1] = lv_make_ref(&h[1]);
  h[2] = LV_ATOM_NIL;
  h[3] = LV_ATOM_NIL;
  w->H = h + 4;
  return h[1];
}

inline lv_term fn(lv_worker* w, lv_term name, std::initializer_list<lv_term> args) {
  lv_term* h = w->H;
  h[0] = lv_make_functor(name, static_cast<unsigned>(args.size()));
  unsigned i = 1;
  for (lv_term a : args) h[i++] = a;
  w->H = h + i;
  return lv_make_struct(h);
}

inline lv_term cons(lv_worker* w, lv_term head, lv_term tail) {
  lv_term* h = w->H;
  h[0] = head;
  h[1] = tail;
  w->H = h + 2;
  return lv_make_list(h);
}

inline lv_term list(lv_worker* w, std::initializer_list<lv_term> items, lv_term tail = LV_ATOM_NIL) {
  lv_term result = tail;
  for (auto it = std::rbegin(items); it != std::rend(items); ++it) result = cons(w, *it, result);
  return result;
}

inline lv_term mutable_term(lv_worker* w, lv_term value) {
  return fn(w, LV_ATOM_MUTABLE, {value, lv_make_small(0)});
}

// Binds an unbound variable term directly (no trailing).
inline void set(lv_term var_term, lv_term value) { *lv_ref_cell(lv_deref(var_term)) = value; }

// A printed form for assertions: atoms as a<index>, variables as _.
inline std::string show(lv_term t, int depth = 0) {
  t = lv_deref(t);
  if (depth > 20) return "...";
  if (lv_is_ref(t)) return "_";
  if (lv_is_small(t)) return std::to_string(lv_small_value(t));
  if (lv_is_atom(t)) return t == LV_ATOM_NIL ? "[]" : "a" + std::to_string(lv_atom_index(t));
  if (lv_is_list(t)) {
    std::string s = "[";
    for (;;) {
      s += show(lv_list_cells(t)[0], depth + 1);
      lv_term tail = lv_deref(lv_list_cells(t)[1]);
      if (lv_is_list(tail)) {
        s += ",";
        t = tail;
        continue;
      }
      if (tail != LV_ATOM_NIL) s += "|" + show(tail, depth + 1);
      return s + "]";
    }
  }
  const lv_term* cells = lv_struct_cells(t);
  if (lv_is_box_header(cells[0])) {
    if (lv_box_is_float(cells[0])) return std::to_string(lv_double_from_bits(cells[1]));
    return "box" + std::to_string(lv_box_value_words(cells[0])) + ":" + std::to_string(static_cast<int64_t>(cells[1]));
  }
  std::string s = show(lv_functor_atom(cells[0]), depth + 1) + "(";
  for (unsigned i = 1; i <= lv_functor_arity(cells[0]); i++) {
    if (i > 1) s += ",";
    s += show(cells[i], depth + 1);
  }
  return s + ")";
}

}  // namespace terms
