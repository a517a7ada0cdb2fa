// call/N and calls by name from native code.
#include "machine/call_n.h"

#include <cstring>

#include "core/builtins.h"
#include "core/errors.h"
#include "core/fault.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "embed/prolog_contract.h"
#include "machine/goal_build.h"
#include "machine/instructions.h"
#include "store/predicates.h"

namespace {

constexpr unsigned MAX_ARITY = 255;

// Strips Module: qualifiers from a dereferenced closure, keeping in *module
// the innermost qualifier that is an atom. A cycle (Brent's method: the
// hare's position is saved at every power of two steps) stops the walk;
// false is returned then.
bool strip_qualifiers(lv_term* closure, lv_term* module) {
  lv_term t = *closure;
  lv_term saved = t;
  uint64_t power = 1;
  uint64_t steps = 0;
  while (lv_is_struct(t) && lv_struct_cells(t)[0] == LV_FUNCTOR_COLON_2) {
    lv_term m = lv_deref(lv_struct_cells(t)[1]);
    if (lv_is_atom(m)) *module = m;
    t = lv_deref(lv_struct_cells(t)[2]);
    if (t == saved) {
      *closure = t;
      return false;
    }
    if (++steps == power) {
      saved = t;
      power *= 2;
      steps = 0;
    }
  }
  *closure = t;
  return true;
}

// Name, arity and argument cells of a callable term.
bool callable_parts(lv_term t, lv_term* name, unsigned* arity, const lv_term** args) {
  if (lv_is_atom(t)) {
    *name = t;
    *arity = 0;
    *args = nullptr;
    return true;
  }
  if (lv_is_list(t)) {
    *name = LV_ATOM_DOT;
    *arity = 2;
    *args = lv_list_cells(t);
    return true;
  }
  if (!lv_is_compound(t)) return false;
  const lv_term* cells = lv_struct_cells(t);
  *name = lv_functor_atom(cells[0]);
  *arity = lv_functor_arity(cells[0]);
  *args = cells + 1;
  return true;
}

// A role predicate; the boot file must have defined it.
lv_pred* role(lv_pred* pred) {
  if (pred == nullptr) LV_raise_fault("call/N: the meta-call predicates are not defined");
  return pred;
}

// Makes room for cells beyond the heap reserve, keeping X0 .. Xlive-1.
void ensure_heap(lv_worker* w, int64_t cells, unsigned live) {
  if (w->local_base - w->H < cells + LV_HEAP_RESERVE_CELLS) call_overflow(w, cells, live);
}

}  // namespace

lv_pred* lv_build_call_n_goal(lv_worker* w, unsigned n, const uint32_t* call_site) {
  lv_term closure = lv_deref(w->X[0]);
  lv_module* typein = lv_typein_module();
  lv_term module = typein != nullptr ? typein->name : LV_ATOM_USER;
  // A cyclic chain is never resolved here: calling ':'/2 on it directly
  // would only meet the same chain again.
  bool resolvable = strip_qualifiers(&closure, &module);
  lv_term name;
  unsigned k;
  const lv_term* args;
  if (callable_parts(closure, &name, &k, &args) && k + n - 1 <= MAX_ARITY) {
    unsigned arity = k + n - 1;
    std::memmove(&w->X[k], &w->X[1], (n - 1) * sizeof(lv_term));
    for (unsigned i = 0; i < k; i++) w->X[i] = args[i];
    if (resolvable) {
      lv_pred* p = lv_lookup_predicate(find_module(module, 0), name, arity, LV_LOOKUP_FIND);
      if (p != nullptr && p->kind != LV_KIND_ENTER_UNDEFINED) return p;
    }
    ensure_heap(w, lv_goal_cells(arity) + LV_CALL_SITE_CELLS, arity);
    w->X[0] = lv_make_goal(w, name, arity);
    w->X[1] = module;
    w->X[2] = lv_call_site_term(w, call_site);
    return role(lv_role.meta_call);
  }
  ensure_heap(w, lv_goal_cells(n) + LV_CALL_SITE_CELLS, n);
  w->X[0] = lv_make_goal(w, LV_ATOM_CALL, n);
  w->X[1] = lv_call_site_term(w, call_site);
  return role(lv_role.call_error);
}

int lv_resolve_callable(lv_worker* w, const lv_term* args) {
  lv_term name = lv_deref(w->X[0]);
  if (!lv_is_atom(name)) return 3;
  unsigned arity = lv_functor_arity(name);
  lv_pred* p = lv_lookup_predicate(find_module(w->X[1], 0), lv_functor_atom(name), arity, LV_LOOKUP_FIND);
  if (p == nullptr) return 3;
  uint32_t kind = p->kind;
  if (kind == LV_KIND_BREAKPOINT) {
    if ((p->flags & LV_PRED_BLOCK) != 0) return 3;
    kind = (p->flags & LV_PRED_JITTED) != 0 ? static_cast<uint32_t>(LV_KIND_JITTED) : lv_definition_type(p);
  }
  if (kind != LV_KIND_JITTED && kind != LV_KIND_ENTER_C) return 3;
  std::memmove(w->X, args, arity * sizeof(lv_term));
  if (kind == LV_KIND_JITTED) {
    w->called_pred = p;
    return 2;
  }
  w->P = &p->continue_insn;
  return reinterpret_cast<lv_builtin_function>(p->definition)(w) != 0 ? 1 : 0;
}
