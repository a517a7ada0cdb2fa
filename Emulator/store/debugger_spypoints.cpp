// $spypoint/4.
#include "store/debugger_spypoints.h"

#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "store/predicates.h"

int prolog_spypoint(lv_worker* w) {
  lv_term next = lv_deref(w->X[3]);
  lv_term module_name = lv_deref(w->X[1]);
  if ((next != LV_ATOM_ON && next != LV_ATOM_OFF) || !lv_is_atom(module_name)) return 0;
  lv_module* m = find_module(module_name, 1);
  lv_pred* p = m != nullptr ? find_definition(m, w->X[0], nullptr, LV_LOOKUP_CREATE) : nullptr;
  if (p == nullptr) return 0;
  // The record that holds the definition, so that importers follow it.
  if (p->home_module != nullptr && p->home_module != p->owner_module) {
    lv_pred* home = lv_lookup_predicate(p->home_module, p->name, static_cast<unsigned>(p->arity), LV_LOOKUP_FIND);
    if (home != nullptr) p = home;
  }
  if (!cunify(w, w->X[2], (p->flags & LV_PRED_SPY) != 0 ? LV_ATOM_ON : LV_ATOM_OFF)) return 0;
  if (next == LV_ATOM_ON)
    p->flags |= LV_PRED_SPY;
  else
    p->flags &= ~static_cast<uint32_t>(LV_PRED_SPY);
  update_exports(p, lv_definition_type(p));
  return 1;
}
