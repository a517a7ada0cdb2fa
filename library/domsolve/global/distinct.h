// What all_different and all_distinct share: their states hold a list of
// pairs p(X, Attribute), copied at the first call into global references
// (attribute, variable) and dvars.
#pragma once

#include <cstdint>

#include "kernel/dvar.h"
#include "kernel/runtime.h"

// The block of either propagator: the variables' references and dvars,
// and the order array whose live prefix holds the variables not retired.
struct fd_distinct_block {
  void (*destroy)(void*);
  lv_foreign_env* env;
  fd_termref_slot* refs;  // each variable's attribute and variable
  int32_t n, unused;
  int32_t* order;
  dvar* d;
};

// The block at the first call (the state in new_state, its handle in
// argument handle_arg, its list of n pairs in argument 1, replaced by []).
fd_distinct_block* fd_distinct_create(lv_foreign_env* env, lv_term_ref new_state, unsigned handle_arg, int64_t n);
// The block of a later call, its live variables refreshed: *live from the
// retired count in argument 2 of the state.
fd_distinct_block* fd_distinct_resume(lv_foreign_env* env, lv_term state, lv_term handle, int32_t* live);

// Whether the state has the arity, a proper list of pairs whose second
// argument is an attribute, and small integers for its counts (the
// arguments between the list and the handle).
bool fd_distinct_state_well_formed(lv_term state, unsigned arity);
