// Proper lists laid out on the heap from an array of terms.
#pragma once

#include <cstdint>

#include "core/predefined_atoms.h"
#include "core/worker.h"

// The list of the n terms, its cells laid out at H (the caller made room for
// 2n cells), ending in []; [] itself when n is 0.
inline lv_term lv_push_list(lv_worker* w, const lv_term* terms, uint64_t n) {
  if (n == 0) return LV_ATOM_NIL;
  lv_term* h = w->H;
  for (uint64_t i = 0; i < n; i++) {
    h[2 * i] = terms[i];
    h[2 * i + 1] = lv_make_list(&h[2 * i + 2]);
  }
  h[2 * n - 1] = LV_ATOM_NIL;
  w->H = h + 2 * n;
  return lv_make_list(h);
}
