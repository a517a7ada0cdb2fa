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

lv_term lv_call_site_term(lv_worker* w, const uint32_t* call_site) {
  return lv_make_integer(w, static_cast<int64_t>(reinterpret_cast<uintptr_t>(call_site)));
}
