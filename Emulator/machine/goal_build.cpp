// Goal terms built from the argument registers.
#include "machine/goal_build.h"

#include "core/errors.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "store/predicates.h"

lv_term lv_pred_module_name(const lv_pred* pred) {
  const lv_module* m = pred->home_module != nullptr ? pred->home_module : pred->owner_module;
  return m != nullptr ? m->name : LV_ATOM_PROLOG;
}

lv_term lv_goal_from_registers(lv_worker* w, lv_term name, unsigned n) {
  // The qualified goal's three cells are left unused.
  lv_term goal = lv_struct_cells(lv_make_module_goal(w, LV_ATOM_NIL, name, n))[2];
  if (name == LV_ATOM_DOT && n == 2) return lv_make_list(lv_struct_cells(goal) + 1);
  return goal;
}

lv_term lv_call_site_term(lv_worker* w, const uint32_t* call_site) {
  return lv_make_integer(w, static_cast<int64_t>(reinterpret_cast<uintptr_t>(call_site)));
}
