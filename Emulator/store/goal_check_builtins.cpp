// Goal checks: whether a goal's predicate can be called as it stands, and
// the body a goal that can be expands to.
#include "store/goal_check_builtins.h"

#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "store/goal_expansion_check.h"
#include "store/predicates.h"

namespace {

constexpr int MAX_QUALIFIERS = 101;

bool callable(lv_term t) { return lv_is_atom(t) || lv_is_list(t) || (lv_is_struct(t) && !lv_is_box(t)); }

// The predicate of a callable Goal in the module named Module, created when
// absent; null for other arguments.
lv_pred* goal_pred(lv_term goal, lv_term module_name) {
  goal = lv_deref(goal);
  module_name = lv_deref(module_name);
  if (!callable(goal) || !lv_is_atom(module_name)) return nullptr;
  lv_module* module = find_module(module_name, 1);
  return module != nullptr ? find_definition(module, goal, nullptr, LV_LOOKUP_CREATE) : nullptr;
}

bool qualified_by(lv_term t, lv_term module) {
  t = lv_deref(t);
  return lv_is_struct(t) && lv_struct_cells(t)[0] == LV_FUNCTOR_COLON_2 && lv_deref(lv_struct_cells(t)[1]) == module;
}

lv_term qualify(lv_worker* w, lv_term module, lv_term t) {
  lv_term* h = w->H;
  h[0] = LV_FUNCTOR_COLON_2;
  h[1] = module;
  h[2] = t;
  w->H = h + 3;
  return lv_make_struct(h);
}

}  // namespace

int prolog_fast_goal(lv_worker* w) {
  lv_pred* p = goal_pred(w->X[0], w->X[1]);
  return p != nullptr && lv_no_goal_expansion(p);
}

// A goal whose predicate is defined and has no goal expansion expands to
// itself, with its meta-arguments qualified with Module, and is qualified
// with Module when that is not the context module.
int prolog_fast_wellformed_call_body_expand(lv_worker* w) {
  if (!lv_is_atom(lv_deref(w->X[3]))) return 0;
  lv_pred* p = goal_pred(w->X[0], w->X[2]);
  if (p == nullptr || lv_definition_type(p) == LV_DEF_UNDEFINED || !lv_goal_expansion_absent(p)) return 0;
  unsigned arity = static_cast<unsigned>(p->arity);
  lv_heap_room(w, static_cast<int64_t>(4 * arity + 4), 4);
  lv_term goal = lv_deref(w->X[0]);
  lv_term module = lv_deref(w->X[2]);
  bool colon = arity == 2 && p->name == LV_ATOM_COLON;
  if (p->meta_spec != nullptr && arity > 0 && !colon) {
    const lv_term* args = lv_is_list(goal) ? lv_list_cells(goal) : lv_struct_cells(goal) + 1;
    lv_term* copy = w->H;
    w->H = copy + 1 + arity;
    copy[0] = lv_make_functor(p->name, arity);
    for (unsigned i = 0; i < arity; i++) {
      lv_term s = p->meta_spec[i];
      lv_term a = lv_deref(args[i]);
      bool meta = s == LV_ATOM_COLON || lv_is_small(s);
      copy[1 + i] = meta && !qualified_by(a, module) ? qualify(w, module, a) : a;
    }
    goal = lv_is_list(goal) ? lv_make_list(copy + 1) : lv_make_struct(copy);
  }
  if (module != lv_deref(w->X[3])) goal = qualify(w, module, goal);
  return cunify(w, w->X[1], goal);
}

int prolog_fast_callable_closure_arg(lv_worker* w) {
  lv_term t = lv_deref(w->X[0]);
  for (int i = 0; lv_is_struct(t) && lv_struct_cells(t)[0] == LV_FUNCTOR_COLON_2; i++) {
    if (i == MAX_QUALIFIERS || !lv_is_atom(lv_deref(lv_struct_cells(t)[1]))) return 0;
    t = lv_deref(lv_struct_cells(t)[2]);
  }
  return callable(t) ? 1 : 0;
}
