// all_different: the value of every fixed variable is removed from the
// others, until no further variable becomes fixed (value elimination).
//
// State: s(Pairs, Retired, Handle, Stamp): Pairs a list of p(X, Attribute)
// (replaced by [] once the block holds them), Retired the number of
// variables retired as fixed. The block's order array keeps the live
// variables first; each retired one stays just behind the live prefix, so
// that the count in a state version brings the live set back.
#include "global/distinct.h"
#include "kernel/attributes.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

int all_different(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  fd_distinct_block* b;
  int32_t live;
  if (fd_is_ref(handle)) {
    if (!fd_distinct_state_well_formed(state, 4)) {
      fd_raise_system_error(env, "all_different: malformed state");
      return 0;
    }
    int64_t n = fd_proper_length(fd_arg(state, 1));
    if (n <= 1) return fd_propagator_exit(env, new_state, actions, goal, 3, 0);
    b = fd_distinct_create(env, new_state, 3, n);
    state = fd_deref(fd_termref(env, new_state));
    live = b->n;
  } else {
    b = fd_distinct_resume(env, state, handle, &live);
  }
  int32_t live0 = live;

  // Passes while the one before retired a variable: the values of the
  // retired ones (F) leave every live variable scanned after them.
  int status = 2;
  fdset f = FD_NIL;
  int32_t end = live;
  for (bool retired = true; retired && status == 2;) {
    retired = false;
    for (int32_t p = end - 1; p >= 0; p--) {
      dvar* x = &b->d[b->order[p]];
      if (dvar_prune_set(env, x, f) < 0) {
        status = 4;
        break;
      }
      if (!dvar_is_fixed(x)) continue;
      int32_t t = b->order[p];
      b->order[p] = b->order[end - 1];
      b->order[end - 1] = t;
      end--;
      live--;
      f = fdset_add_value(env, x->min, f);
      retired = true;
    }
  }
  if (status == 4) return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
  state = fd_deref(fd_termref(env, new_state));
  fd_struct_cells(state)[2] = fd_make_small(b->n - live);
  dvar_export_changed(env, b->d, b->order, live0, actions);
  return fd_propagator_exit(env, new_state, actions, goal, live < 2 ? 3 : 2, 0);
}
