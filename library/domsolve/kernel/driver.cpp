// The driver that the Prolog level calls until propagation is done
// ($fd_evaluate_indexical), the processing of a propagator's actions, and
// calling a C propagator by its goal's functor ($fd_dispatch_global_fast).
#include "kernel/attributes.h"
#include "kernel/foreign_predicates.h"
#include "kernel/propagation.h"
#include "kernel/roots.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

lv_term key_of(lv_term goal) {
  goal = fd_deref(goal);
  return fd_is_atom(goal) ? goal : fd_functor_of(goal);
}

// The failure of the loop: counted, the queues emptied (their items are
// still valid now, and nothing may point into the heap once backtracking
// has released it), the call failed.
int64_t fail_propagation(lv_foreign_env* env) {
  fd_state(env)->failures++;
  fd_queue_reset(env);
  fd_rt::fail(env);
  return -1;
}

void reraise(lv_foreign_env* env) {
  lv_term_ref e = fd_rt::new_term_ref(env);
  if (fd_rt::exception_term(env, e)) fd_rt::raise_exception(env, e);
}

}  // namespace

int fd_run_actions(lv_foreign_env* env, lv_term_ref propagator, lv_term actions) {
  fd_solver_state* st = fd_state(env);
  lv_term_ref rest = fd_rt::new_term_ref(env);
  fd_termref(env, rest) = actions;
  int result = 1;
  for (;;) {
    lv_term list = fd_deref(fd_termref(env, rest));
    if (!fd_is_list(list)) break;
    lv_term action = fd_deref(fd_list_cells(list)[0]);
    fd_termref(env, rest) = fd_list_cells(list)[1];
    lv_term p = fd_deref(fd_termref(env, propagator));
    if (action == FD_ATOM_EXIT) {
      lv_term status = fd_deref(fd_arg(p, 4));
      if (fd_is_ref(status)) fd_bind(env, fd_ref_cell(status), fd_make_small(1));
      st->entailments++;
      continue;
    }
    if (action == FD_ATOM_FAIL) {
      fd_propagator_clear_marks(env, propagator);
      fd_bump_weights(p);
      result = 0;
      break;
    }
    lv_term f = fd_functor_of(action);
    int64_t event = f == fd_functor(FD_ATOM_DOM, 1)          ? 1
                    : f == st->functors[FD_F_MIN_1]          ? 3
                    : f == st->functors[FD_F_MAX_1]          ? 5
                    : f == st->functors[FD_F_MINMAX_1]       ? 7
                                                             : 0;
    if (event == 0) continue;
    lv_term var = fd_deref(fd_arg(action, 1));
    if (!fd_is_ref(var)) continue;
    lv_term attribute = fd_rt::get_attributes(env, var, st->module);
    if (attribute != 0) fd_wake(env, fd_deref(attribute), var, event, 0);
  }
  if (result == 1) fd_propagator_clear_marks(env, propagator);
  fd_rt::reset_term_refs(env, rest);
  return result;
}

int64_t fd_evaluate_indexical(lv_foreign_env* env, fd_t x) {
  fd_solver_state* st = fd_state(env);
  if (fd_solver_flags(env) & FD_FLAG_BATCH) return 0;
  lv_term_ref state = fd_rt::new_term_ref(env);
  lv_term_ref new_state = fd_rt::new_term_ref(env);
  lv_term_ref actions = fd_rt::new_term_ref(env);
  lv_term_ref propagator = fd_rt::new_term_ref(env);
  fd_engine* w = fd_engine_of(env);
  st->pending_overflow = FD_OVERFLOW_NONE;
  int64_t result;
  for (;;) {
    if (w->H >= fd_soft_limit(w)) {
      result = 1;
      break;
    }
    int r = fd_propagate(env, &w->X[0], 0);
    if (r == -1) {
      result = fail_propagation(env);
      break;
    }
    if (r == -2) {  // a handler raised an exception
      result = 0;
      break;
    }
    if (r == 0) {
      fd_queue_close(env);
      result = 0;
      break;
    }
    lv_term item = w->X[0];
    fd_termref(env, x) = item;
    st->resumptions++;
    if (r == 1) {
      if (st->debug) {
        result = 2;
        break;
      }
      int e = fd_run_indexical(env, x);
      if (e < 0) {
        result = 0;
        break;
      }
      if (e == 0) {
        result = fail_propagation(env);
        break;
      }
      continue;
    }
    // A propagator: running, and no longer queued when it may be queued
    // again meanwhile.
    int64_t flags = fd_item_flags(item);
    if (flags & FD_PROP_REQUEUE) flags &= ~FD_PROP_QUEUED;
    fd_set_item_flags(item, flags | FD_PROP_RUNNING);
    st->queues->current->term = item;
    if (st->debug) {
      result = 2;
      break;
    }
    fd_propagator_fn fn = fd_find_propagator(env, key_of(fd_arg(item, 2)));
    if (fn == nullptr) {  // the Prolog level runs it
      result = 2;
      break;
    }
    fd_termref(env, propagator) = item;
    fd_termref(env, state) = fd_mutable_value(fd_arg(item, 1));
    fd_termref(env, new_state) = fd_termref(env, state);
    fd_termref(env, actions) = FD_NIL;
    int ok = fn(env, state, new_state, actions, propagator);
    fd_unpin_to(env, 0);
    if (!ok) {
      // The exit's overflow report has failed the call (or raised).
      result = 0;
      break;
    }
    item = fd_deref(fd_termref(env, propagator));
    fd_trail_assign(env, fd_termref(env, new_state), fd_arg(item, 1));
    int a = fd_run_actions(env, propagator, fd_termref(env, actions));
    if (a < 0) {
      reraise(env);
      result = 0;
      break;
    }
    if (a == 0) {
      result = fail_propagation(env);
      break;
    }
  }
  fd_rt::reset_term_refs(env, state);
  return result;
}

int64_t fd_dispatch_global_fast(lv_foreign_env* env, fd_t key, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  fd_termref(env, state) = fd_deref(fd_termref(env, state));
  fd_termref(env, goal) = fd_deref(fd_termref(env, goal));
  fd_propagator_fn fn = fd_find_propagator(env, key_of(fd_termref(env, key)));
  if (fn == nullptr) return 0;
  int ok = fn(env, state, new_state, actions, goal);
  return ok && fd_state(env)->pending_overflow == FD_OVERFLOW_NONE ? 1 : 0;
}
