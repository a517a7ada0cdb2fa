// Restricting a variable's domain from Prolog: $fd_in_set(X, Set, Open) and
// $fd_in_interval(X, Min, Max, Open).
#include "kernel/arguments.h"
#include "kernel/attributes.h"
#include "kernel/dvar.h"
#include "kernel/foreign_predicates.h"
#include "kernel/posting.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

lv_term term_of(const lv_foreign_env* env, fd_t t) { return fd_deref(fd_termref(env, t)); }

void fail_counted(lv_foreign_env* env) {
  fd_state(env)->failures++;
  fd_rt::fail(env);
}

// X restricted to the non-empty set (one that is not a proper set has been
// refused by the caller). Open asks for propagation to be opened; it is
// opened as well when it is not under way, so that the suspensions the
// tell wakes are queued where the engine hook looks after them.
void restrict_to(lv_foreign_env* env, const call_site& site, fd_t x, fdset set) {
  lv_term t = term_of(env, x);
  if (fd_is_small(t)) {
    if (!fdset_member(t, set)) fail_counted(env);
    return;
  }
  if (!fd_is_ref(t)) {
    fd_argument_error(env, site, 1, "integer");
    return;
  }
  fd_posting_open(env);
  // The attribute and the variable in term references, which the dvar
  // refers to; no term reference is made while it is in use.
  lv_term_ref a = fd_rt::new_term_ref(env), v = fd_rt::new_term_ref(env);
  fd_termref(env, v) = t;
  fd_termref(env, a) = fd_attribute_of(env, t, 0);
  lv_term_ref actions = fd_rt::new_term_ref(env);
  dvar d;
  dvar_init(env, &d, fd_make_ref(&fd_termref(env, a)), fd_make_ref(&fd_termref(env, v)));
  int r = fdset_rest(set) == FD_NIL ? dvar_fix_interval(env, &d, fdset_first_min(set), fdset_first_max(set))
                                    : dvar_fix_set(env, &d, set);
  if (r < 0) {
    lv_term* weight = &fd_struct_cells(term_of(env, a))[FD_ATTR_WEIGHT];
    if (fd_is_small(*weight) && fd_small_value(*weight) < FD_SMALL_MAX)
      *weight = fd_make_small(fd_small_value(*weight) + 1);
    fail_counted(env);
  } else if (r > 0) {
    dvar_pruning_set(env, &d);
    dvar_export(env, &d, actions, 0);
    fd_report_overflow(env, FD_NIL);
  }
  fd_rt::reset_term_refs(env, a);
}

}  // namespace

void fd_in_set(lv_foreign_env* env, fd_t x, fd_t set_ref, fd_w) {
  call_site site{"$fd_in_set", 3, {x, set_ref, -1}};
  fd_scratch_reset(env);
  fdset set;
  if (!set_argument(env, site, 2, &set)) return;
  if (set == FD_NIL) {
    fail_counted(env);
    return;
  }
  restrict_to(env, site, x, set);
}

void fd_in_interval(lv_foreign_env* env, fd_t x, fd_t min_ref, fd_t max_ref, fd_w) {
  call_site site{"$fd_in_interval", 4, {x, min_ref, max_ref, -1}};
  lv_term min = term_of(env, min_ref), max = term_of(env, max_ref);
  if (!fd_is_small(min) && min != FD_INF && min != FD_SUP) {
    fd_argument_error(env, site, 2, "integer");
    return;
  }
  if (!fd_is_small(max) && max != FD_INF && max != FD_SUP) {
    fd_argument_error(env, site, 3, "integer");
    return;
  }
  fd_scratch_reset(env);
  // An interval without an integer (Max below Min, inf..inf, sup..sup) is
  // the empty set.
  if (fd_bound_compare(max, min) < 0 || (min == max && !fd_is_small(min)) || min == FD_SUP || max == FD_INF) {
    fail_counted(env);
    return;
  }
  restrict_to(env, site, x, fdset_interval(env, min, max));
}
