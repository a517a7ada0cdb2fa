// Errors raised from the emulator.
#include "machine/emulator_errors.h"

#include "core/errors.h"
#include "machine/goal_build.h"
#include "store/predicates.h"

int lv_raise_in_predicate(lv_worker* w, int32_t code, const lv_pred* pred, int64_t argument, lv_term culprit) {
  culprit = lv_deref(culprit);
  lv_set_pending_error(lv_is_ref(culprit) ? LV_ERROR_INSTANTIATION : code, "", culprit);
  return lv_raise_builtin_error(w, lv_pred_module_name(pred), pred->name, static_cast<unsigned>(pred->arity), argument);
}

int lv_raise_in_predicate_args(lv_worker* w, int32_t code, const lv_pred* pred, int64_t argument, lv_term culprit) {
  for (int32_t i = 0; i < pred->arity; i++) w->X[i] = lv_frame_view(w->E)->y[i];
  return lv_raise_in_predicate(w, code, pred, argument, culprit);
}
