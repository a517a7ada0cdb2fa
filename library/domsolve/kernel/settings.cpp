// The foreign predicates that read and change the solver's settings and
// statistics. Each setting predicate unifies Old with the current setting
// as an atom and, when that succeeds, sets it from New; its result Ok is 1,
// or 0 when Old does not unify (nothing then changes).
#include "kernel/foreign_predicates.h"
#include "kernel/queues.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

bool unify_old(lv_foreign_env* env, fd_t old, lv_term atom) {
  return fd_rt::unify_terms(env, fd_termref(env, old), atom) != 0;
}

lv_term new_value(lv_foreign_env* env, fd_t t) { return fd_deref(fd_termref(env, t)); }

int64_t setting(lv_foreign_env* env, int64_t* word, fd_t old, fd_t next, lv_term on_atom, lv_term off_atom) {
  if (!unify_old(env, old, *word != 0 ? on_atom : off_atom)) return 0;
  *word = new_value(env, next) == on_atom ? 1 : 0;
  return 1;
}

}  // namespace

int64_t fd_statistics(lv_foreign_env* env, fd_w key) {
  fd_solver_state* state = fd_state(env);
  int64_t* counters[5] = {&state->resumptions, &state->entailments, &state->prunings, &state->failures,
                          &state->constraints};
  if (key < 0 || key > 4) return 0;
  int64_t value = *counters[key];
  *counters[key] = 0;
  return value;
}

int64_t fd_debug(lv_foreign_env* env, fd_t old, fd_t next) {
  return setting(env, &fd_state(env)->debug, old, next, FD_ATOM_ON, FD_ATOM_OFF);
}

int64_t fd_overflow(lv_foreign_env* env, fd_t old, fd_t next) {
  return setting(env, &fd_state(env)->overflow, old, next, FD_ATOM_ERROR, FD_ATOM_FAIL);
}

int64_t fd_batch(lv_foreign_env* env, fd_t old, fd_t next) {
  int64_t flags = fd_solver_flags(env);
  bool was_set = (flags & FD_FLAG_BATCH) != 0;
  if (!unify_old(env, old, was_set ? FD_ATOM_ON : FD_ATOM_OFF)) return 0;
  lv_term value = new_value(env, next);
  if (!was_set && value == FD_ATOM_ON) {
    fd_queue_open(env);
    flags = fd_solver_flags(env);
  }
  fd_set_solver_flags(env, value == FD_ATOM_OFF ? flags & ~FD_FLAG_BATCH : flags | FD_FLAG_BATCH);
  return 1;
}

int64_t fd_hiding(lv_foreign_env* env, fd_t old, fd_t next) {
  int64_t flags = fd_solver_flags(env);
  if (!unify_old(env, old, (flags & FD_FLAG_HIDING) != 0 ? FD_ATOM_ON : FD_ATOM_OFF)) return 0;
  bool on = new_value(env, next) == FD_ATOM_ON;
  fd_set_solver_flags(env, on ? flags | FD_FLAG_HIDING : flags & ~FD_FLAG_HIDING);
  return 1;
}
