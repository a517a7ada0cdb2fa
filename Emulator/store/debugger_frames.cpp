// The debugger's views of frames, choicepoints and mutable terms.
#include "store/debugger_frames.h"

#include <algorithm>

#include "core/choice_builtins.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "machine/block_suspend.h"
#include "store/code_block.h"
#include "store/predicates.h"

namespace {

// A code address given as an integer: a small integer or a one-limb box.
bool address_of(lv_term t, const uint32_t** address) {
  t = lv_deref(t);
  int64_t v;
  if (lv_is_small(t))
    v = lv_small_value(t);
  else if (lv_is_integer_box(t) && lv_box_value_words(*lv_struct_cells(t)) == 1)
    v = static_cast<int64_t>(lv_struct_cells(t)[1]);
  else
    return false;
  *address = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(v));
  return true;
}

// Saved argument registers of a choicepoint.
int64_t saved_args(const lv_term* b) { return (lv_choice_view(b)->size() - 8 * int64_t{LV_CP_ARGS}) / 8; }


}  // namespace

// The frames are walked from the environment the choicepoint saved, each
// checked to lie in the local stack in use, and so must the permanent
// variable read.
int prolog_get_slot(lv_worker* w) {
  lv_term* b = lv_choice_of_reference(w, w->X[0]);
  const uint32_t* key;
  lv_term index = lv_deref(w->X[2]);
  if (b == nullptr || !address_of(w->X[1], &key) || !lv_is_small(index) || lv_small_value(index) < 0) return 0;
  // Frames in use lie below the local top, or below the one a choicepoint
  // protects.
  const lv_term* top = std::max<const lv_term*>(w->local_top, lv_choice_view(b)->saved_local_top());
  lv_term* e = lv_choice_view(b)->saved_e();
  while (e >= w->local_base && e + LV_FRAME_Y <= top) {
    const lv_env_frame* f = lv_frame_view(e);
    // The key is only compared: it comes from Prolog and is never read.
    if (f->continuation() != nullptr && (f->continuation() == key || lv_code_deref(f->continuation()) == key)) {
      const lv_term* y = &f->y[lv_small_value(index)];
      if (y >= top) return 0;
      return cunify(w, w->X[3], *y);
    }
    lv_term* previous = f->previous();
    if (previous == e || previous == nullptr) break;
    e = previous;
  }
  return 0;
}

// The old value lies in the value-trail entry the stamp names; an entry
// that is not this mutable's fails.
int prolog_prev_mutable(lv_worker* w) {
  lv_term m = lv_deref(w->X[1]);
  if (!lv_is_struct(m) || lv_struct_cells(m)[0] != LV_FUNCTOR_MUTABLE_2) return 0;
  lv_term stamp = lv_deref(lv_struct_cells(m)[2]);
  if (!lv_is_small(stamp) || lv_small_value(stamp) <= 0) return 0;
  const lv_term* entry = w->trail_base + lv_small_value(stamp);
  if (entry + 3 > w->TR || entry[0] != m) return 0;
  return cunify(w, w->X[0], entry[1]);
}

int prolog_choicepoint_arg(lv_worker* w) {
  lv_term* b = lv_choice_of_reference(w, w->X[0]);
  lv_term n = lv_deref(w->X[1]);
  if (b == nullptr || !lv_is_small(n) || lv_small_value(n) < 1 || lv_small_value(n) > saved_args(b)) return 0;
  return cunify(w, w->X[2], lv_choice_view(b)->args[lv_small_value(n) - 1]);
}

int prolog_invalid_choicepoint(lv_worker* w) {
  lv_term* b = lv_choice_of_reference(w, w->X[0]);
  if (b == nullptr || saved_args(b) < 2) return 1;
  const lv_choicepoint* c = lv_choice_view(b);
  bool catch_frame = lv_deref(c->args[1]) == LV_ATOM_CATCH_HOOK && lv_deref(c->args[0]) != LV_ATOM_NIL;
  return catch_frame ? 0 : 1;
}

int prolog_blocked_goal(lv_worker* w) {
  lv_term goal = lv_deref(w->X[0]);
  lv_term module_name = lv_deref(w->X[1]);
  if (!lv_is_atom(module_name)) return 0;
  lv_module* m = find_module(module_name, 0);
  lv_term* args = nullptr;
  lv_pred* p = m != nullptr ? find_definition(m, goal, &args, LV_LOOKUP_FIND) : nullptr;
  if (p == nullptr || (p->flags & LV_PRED_BLOCK) == 0 || p->block_decls == nullptr || args == nullptr) return 0;
  return lv_block_condition_holds(p, args) ? 1 : 0;
}
