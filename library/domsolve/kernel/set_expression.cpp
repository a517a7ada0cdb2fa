// $fd_set_expression(+Expr, -Set): a constant set written as a left-nested
// chain E1 \/ E2 \/ ... \/ En of leaves A..B and {A}, leaves ascending with
// at least one value missing between neighbours. Bounds are integers, `inf`
// (as A) or `sup` (as B). Anything else fails.
#include "kernel/fdset.h"
#include "kernel/foreign_predicates.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

// A leaf's bounds, or false.
bool leaf(const fd_solver_state* state, lv_term t, lv_term* lo, lv_term* hi) {
  lv_term f = fd_functor_of(t);
  if (f == state->functors[FD_F_RANGE_2]) {
    *lo = fd_deref(fd_arg(t, 1));
    *hi = fd_deref(fd_arg(t, 2));
    return (fd_is_small(*lo) || *lo == FD_INF) && (fd_is_small(*hi) || *hi == FD_SUP) &&
           fd_bound_key(*lo) <= fd_bound_key(*hi);
  }
  if (f == state->functors[FD_F_BRACES_1]) {
    *lo = *hi = fd_deref(fd_arg(t, 1));
    return fd_is_small(*lo);
  }
  return false;
}

}  // namespace

void fd_set_expression(lv_foreign_env* env, fd_t expr_ref, fd_t set_ref) {
  const fd_solver_state* state = fd_state(env);
  // The leaves are read from the right, each below the one read before it;
  // each new interval goes in front of the list, which therefore ascends.
  fd_scratch_reset(env);
  fdset set = FD_NIL;
  lv_term t = fd_deref(fd_termref(env, expr_ref));
  int64_t next_lo = FD_KEY_SUP + 2;  // above the successor of every bound
  for (;;) {
    lv_term right = t, rest = 0;
    if (fd_functor_of(t) == state->functors[FD_F_UNION_2]) {
      right = fd_deref(fd_arg(t, 2));
      rest = fd_deref(fd_arg(t, 1));
    }
    lv_term lo, hi;
    if (!leaf(state, right, &lo, &hi) || fd_bound_key(hi) + 1 >= next_lo) {
      fd_rt::fail(env);
      return;
    }
    lv_term* p = fdset_alloc(env, 4);
    p[0] = fd_make_list(p + 2);
    p[1] = set;
    p[2] = lo;
    p[3] = hi;
    set = fd_make_list(p);
    next_lo = fd_bound_key(lo);
    if (rest == 0) break;
    t = rest;
  }
  set = fdset_copy_checked(env, set, 0, 0);
  if (!fd_rt::unify_terms(env, fd_termref(env, set_ref), set)) fd_rt::fail(env);
}
