// minimum and maximum: M is the smallest (largest) of X1..Xn.
//
// State: s(MPair, Items, Kept, Mode, Handle, Stamp); Mode 0 for minimum,
// anything else for maximum. The items that can still be the extreme (the
// candidates) lie first in an order array; Kept, their number in the state
// in force, brings the candidate set back after backtracking, since the
// array is only ever permuted within that prefix. The list items wake the
// propagator through daemons on their bounds, and only while they are
// candidates; M wakes it through the suspension made at posting.
//
// The description below is for minimum; maximum exchanges the bounds and
// the directions of every comparison.
#include "global/pairs.h"
#include "kernel/attributes.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

struct extrema_block {
  void (*destroy)(void*);
  fd_daemon_fn daemon;
  lv_foreign_env* env;
  fd_termref_slot* refs;  // M's pair, then one per item
  int32_t n, maximum;
  int32_t* order;     // item numbers 1..n, candidates first
  int32_t* position;  // position[k]: where item k lies in order
  int32_t* exports;   // the records a call exports: 0 (M), then its candidates
  dvar* d;            // d[0] M, d[1..n] the items
};

void extrema_destroy(void* p) {
  auto* b = static_cast<extrema_block*>(p);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

int64_t kept_of(lv_term propagator) {
  lv_term state = fd_mutable_value(fd_arg(fd_deref(propagator), 1));
  return fd_small_value(fd_deref(fd_arg(state, 3)));
}

// An item's bounds changed: wake while it is a candidate.
int64_t extrema_daemon(lv_foreign_env*, void* p, lv_term* cell, lv_term* propagator) {
  auto* b = static_cast<extrema_block*>(p);
  int64_t k = fd_pair_index(b->refs, cell);
  int64_t kept = kept_of(*propagator);
  return k >= 1 && k <= b->n && kept > 0 && b->position[k] < kept ? 1 : 2;
}

bool extrema_state_well_formed(lv_term state) {
  return fd_is_compound_struct(state) && fd_functor_arity(fd_functor_of(state)) == 6 && fd_is_pair(fd_arg(state, 1)) &&
         fd_pair_list_well_formed(fd_arg(state, 2)) && fd_is_small(fd_deref(fd_arg(state, 3))) &&
         fd_is_small(fd_deref(fd_arg(state, 4)));
}

extrema_block* extrema_create(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref goal, int64_t n, bool maximum) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  size_t size = sizeof(extrema_block) + static_cast<size_t>(n + 1) * (sizeof(dvar) + 3 * sizeof(int32_t));
  auto* b = static_cast<extrema_block*>(fd_new_handle_block(env, size, fd_arg(state, 5), 0));
  *b = extrema_block{};
  b->destroy = extrema_destroy;
  b->daemon = extrema_daemon;
  b->env = env;
  b->n = static_cast<int32_t>(n);
  b->maximum = maximum;
  b->d = reinterpret_cast<dvar*>(b + 1);
  b->order = reinterpret_cast<int32_t*>(b->d + n + 1);
  b->position = b->order + n;
  b->exports = b->position + n + 1;
  for (int32_t k = 1; k <= n; k++) {
    b->order[k - 1] = k;
    b->position[k] = k - 1;
  }
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * n + 2));
  state = fd_deref(fd_termref(env, new_state));
  fd_pair_take(env, fd_arg(state, 1), &b->refs[0], &b->d[0]);
  fd_pair_list_take(env, fd_arg(state, 2), &b->refs[2], &b->d[1]);
  fd_struct_cells(state)[2] = FD_NIL;
  lv_term minmax = fd_state(env)->functors[FD_F_MINMAX_1];
  for (int32_t k = 1; k <= n; k++) dvar_attach_daemon(env, &b->d[k], b, goal, minmax, 0);
  return b;
}

// The run over the first kept candidates; *kept_out the new count.
int extrema_run(lv_foreign_env* env, extrema_block* b, int64_t kept, int64_t* kept_out) {
  const bool mx = b->maximum != 0;
  dvar* m = &b->d[0];
  // a lies beyond b in the direction of the extreme.
  auto beyond = [mx](lv_term a, lv_term c) { return mx ? fd_bound_compare(a, c) > 0 : fd_bound_compare(a, c) < 0; };
  auto near = [mx](const dvar* d) { return mx ? d->max : d->min; };
  auto far = [mx](const dvar* d) { return mx ? d->min : d->max; };
  *kept_out = kept;
  if (kept <= 0) return 4;
  dvar_refresh(env, m);
  for (int64_t p = 0; p < kept; p++) dvar_refresh(env, &b->d[b->order[p]]);
  int32_t live, last;
  for (;;) {
    lv_term f = mx ? FD_INF : FD_SUP, e = f;
    live = 0;
    last = -1;
    for (int64_t p = 0; p < kept; p++) {
      dvar* x = &b->d[b->order[p]];
      // Every item lies at or beyond M's near bound.
      int r = mx ? dvar_fix_interval(env, x, FD_INF, m->max) : dvar_fix_interval(env, x, m->min, FD_SUP);
      if (r < 0) return 4;
      if (beyond(far(m), near(x))) continue;
      live++;
      last = b->order[p];
      if (beyond(near(x), f)) f = near(x);
      if (beyond(far(x), e)) e = far(x);
    }
    if (live == 0) return 4;
    int r = mx ? dvar_fix_interval(env, m, e, f) : dvar_fix_interval(env, m, f, e);
    if (r < 0) return 4;
    if (r == 0) break;
  }
  if (live == 1) {
    // The one item left is the extreme: it equals M.
    dvar* x = &b->d[last];
    if (dvar_fix_set(env, m, dvar_get_set(env, x)) < 0 || dvar_fix_set(env, x, dvar_get_set(env, m)) < 0) return 4;
  }
  // Keep the items that may still be the extreme, in front.
  int32_t front = 0, back = static_cast<int32_t>(kept) - 1;
  bool entailed = false;
  while (front <= back) {
    int32_t k = b->order[front];
    dvar* x = &b->d[k];
    if (!beyond(far(m), near(x))) {
      entailed = entailed || (dvar_is_fixed(m) && dvar_is_fixed(x) && x->min == m->min);
      front++;
    } else {
      b->order[front] = b->order[back];
      b->order[back] = k;
      b->position[b->order[front]] = front;
      b->position[k] = back;
      back--;
    }
  }
  *kept_out = front;
  if (front == 0) return 4;
  return entailed ? 3 : 2;
}

}  // namespace

int minimum(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  extrema_block* b;
  if (fd_is_ref(handle)) {
    if (!extrema_state_well_formed(state)) {
      fd_raise_system_error(env, "minimum: malformed state");
      return 0;
    }
    int64_t n = fd_proper_length(fd_arg(state, 2));
    if (n == 0 || fd_small_value(fd_deref(fd_arg(state, 3))) == 0)
      return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
    b = extrema_create(env, new_state, goal, n, fd_small_value(fd_deref(fd_arg(state, 4))) != 0);
    state = fd_deref(fd_termref(env, new_state));
  } else {
    b = static_cast<extrema_block*>(fd_handle_pointer(handle));
  }
  int64_t kept = fd_small_value(fd_deref(fd_arg(state, 3)));
  if (kept > b->n) kept = b->n;
  int64_t kept_after;
  int status = extrema_run(env, b, kept, &kept_after);
  if (status != 4) {
    fd_struct_cells(fd_deref(fd_termref(env, new_state)))[3] = fd_make_small(kept_after);
    // M and the candidates of this call (the dropped ones among them).
    b->exports[0] = 0;
    for (int64_t p = 0; p < kept; p++) b->exports[p + 1] = b->order[p];
    dvar_export_changed(env, b->d, b->exports, static_cast<int32_t>(kept + 1), actions);
  }
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}
