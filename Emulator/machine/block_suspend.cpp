// Block declarations.
#include "machine/block_suspend.h"

#include <cstring>

#include "core/errors.h"
#include "core/stack_shift.h"
#include "core/suspension.h"
#include "machine/goal_build.h"
#include "store/predicates.h"

namespace {

// Positions are 1-based argument numbers, one byte each. A position outside
// the arity never holds.
bool condition_holds(const lv_block_decl* d, const lv_term* arguments, unsigned arity) {
  for (const char* c = d->text; *c != '\0'; c++) {
    unsigned position = static_cast<unsigned char>(*c);
    if (position == 0 || position > arity || !lv_is_ref(lv_deref(arguments[position - 1]))) return false;
  }
  return true;
}

// The argument cells of a goal (a structure or a list cell).
const lv_term* goal_arguments(lv_term goal) {
  goal = lv_deref(goal);
  return lv_is_list(goal) ? lv_list_cells(goal) : lv_struct_cells(goal) + 1;
}

}  // namespace

bool lv_block_condition_holds(const lv_pred* pred, const lv_term* arguments) {
  for (const lv_block_decl* d = pred->block_decls; d != nullptr; d = d->next)
    if (condition_holds(d, arguments, static_cast<unsigned>(pred->arity))) return true;
  return false;
}

int lv_suspend_if_unbound(lv_worker* w, const lv_term* arguments, const lv_pred* pred) {
  unsigned arity = static_cast<unsigned>(pred->arity);
  const lv_block_decl* d = pred->block_decls;
  while (d != nullptr && !condition_holds(d, arguments, arity)) d = d->next;
  if (d == nullptr) return 0;
  size_t positions = std::strlen(d->text);
  // The goal, one record, and for each variable (a new one when none is
  // listed) an attributed variable and a list cell.
  bool registers = arguments == w->X;
  int64_t cells = LV_SUSPENSION_CELLS + 1 + LV_BIND_ATTRIBUTED_CELLS * static_cast<int64_t>(positions > 0 ? positions : 1);
  if (registers) cells += lv_goal_cells(arity);
  if (w->local_base - w->H < cells + LV_HEAP_RESERVE_CELLS) call_overflow(w, cells, registers ? arity : 1);
  if (registers) w->X[0] = lv_make_goal(w, pred->name, arity);
  lv_term module = lv_pred_module_name(pred);
  lv_term suspension = lv_make_suspension(w, w->X[0], module);
  if (positions == 0) {
    lv_term* cell = w->H++;
    *cell = lv_make_ref(cell);
    lv_bind_attributed(w, suspension, *cell);
    return 1;
  }
  // The variables are read from the goal, which survives a move of the heap.
  const lv_term* goal_args = goal_arguments(w->X[0]);
  for (size_t i = 0; i < positions; i++)
    lv_bind_attributed(w, suspension, lv_deref(goal_args[static_cast<unsigned char>(d->text[i]) - 1]));
  return 1;
}
