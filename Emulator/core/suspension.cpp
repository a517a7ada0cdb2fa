// Goals suspended on variables.
#include "core/suspension.h"

#include "core/bind.h"
#include "core/predefined_atoms.h"

namespace {

constexpr lv_term FUNCTOR_APPLY_3 = lv_predefined_atom(180) | (lv_term{3} << 55);  // '$apply'/3

}  // namespace

lv_term lv_make_suspension(lv_worker* w, lv_term goal, lv_term module) {
  lv_term* h = w->H;
  h[0] = FUNCTOR_APPLY_3;
  h[1] = goal;
  h[2] = module;
  h[3] = lv_make_ref(&h[3]);
  w->H = h + LV_SUSPENSION_CELLS;
  return lv_make_struct(h);
}

lv_term* lv_attvar_renew(lv_worker* w, lv_term* cell, lv_term vector, lv_term goals) {
  bool attributed = lv_is_attvar_cell(w, cell);
  lv_term* h = w->H;
  h[0] = LV_ATTVAR_MARKER;
  h[1] = lv_make_ref(&h[1]);
  h[2] = vector;
  h[3] = goals;
  w->H = h + LV_ATTVAR_CELLS;
  if (!attributed) {
    lv_bind(w, cell, h[1]);
  } else {
    // The move to the new cell is undone on backtracking, and is no binding
    // that wakes its goals.
    *cell = h[1];
    lv_trail_push(w, cell);
  }
  return &h[1];
}

void lv_bind_attributed(lv_worker* w, lv_term suspension, lv_term variable) {
  lv_term* cell = lv_ref_cell(variable);
  bool attributed = lv_is_attvar_cell(w, cell);
  lv_term* h = w->H;
  h[0] = suspension;
  h[1] = attributed ? lv_attvar_goals(cell) : LV_ATOM_NIL;
  lv_term goals = lv_make_list(h);
  w->H = h + 2;
  if (attributed && cell >= w->HB) {
    lv_attvar_goals(cell) = goals;
    return;
  }
  lv_attvar_renew(w, cell, attributed ? lv_attvar_vector(cell) : LV_ATOM_NIL, goals);
}
