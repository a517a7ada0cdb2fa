// all_equal_reif: B (0/1) is 1 exactly when all the variables are equal.
// B = 1 makes them equal, B = 0 keeps them from all taking one value, and
// an undecided B is fixed once the variables decide it.
//
// State: s(Pairs, BPair, Retired, Handle, Stamp): Pairs a list of p(X,
// Attribute) (replaced by [] once the block holds them), BPair p(B,
// Attribute); fixed variables retire behind the live prefix of the order
// array, Retired counting them (their records stay fixed).
#include <utility>

#include "global/pairs.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

struct equal_block {
  void (*destroy)(void*);
  lv_foreign_env* env;
  fd_termref_slot* refs;  // B's pair, then one per variable
  int32_t n, unused;
  dvar_bounds b;
  dvar* d;
  int32_t* order;
};

void equal_destroy(void* p) {
  auto* b = static_cast<equal_block*>(p);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

bool state_well_formed(lv_term state) {
  return fd_is_compound_struct(state) && fd_functor_arity(fd_functor_of(state)) == 5 &&
         fd_pair_list_well_formed(fd_arg(state, 1)) && fd_is_pair(fd_arg(state, 2)) &&
         fd_is_small(fd_deref(fd_arg(state, 3)));
}

equal_block* create(lv_foreign_env* env, lv_term_ref new_state, int64_t n) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  size_t size = sizeof(equal_block) + static_cast<size_t>(n) * (sizeof(dvar) + sizeof(int32_t));
  auto* b = static_cast<equal_block*>(fd_new_handle_block(env, size, fd_arg(state, 4), 0));
  *b = equal_block{};
  b->destroy = equal_destroy;
  b->env = env;
  b->n = static_cast<int32_t>(n);
  b->d = reinterpret_cast<dvar*>(b + 1);
  b->order = reinterpret_cast<int32_t*>(b->d + n);
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * n + 2));
  state = fd_deref(fd_termref(env, new_state));
  fd_pair_take_bounds(env, fd_arg(state, 2), &b->refs[0], &b->b);
  fd_pair_list_take(env, fd_arg(state, 1), &b->refs[2], b->d);
  for (int32_t i = 0; i < b->n; i++) b->order[i] = i;
  fd_struct_cells(state)[1] = FD_NIL;
  return b;
}

// The fixed values: 0 none fixed, 1 all one value (*c), 2 two differ.
int fixed_values(equal_block* b, lv_term* c) {
  int seen = 0;
  for (int32_t p = 0; p < b->n; p++) {
    const dvar* x = &b->d[b->order[p]];
    if (!dvar_is_fixed(x)) continue;
    if (seen == 0) {
      *c = x->min;
      seen = 1;
    } else if (x->min != *c) {
      return 2;
    }
  }
  return seen;
}

}  // namespace

int all_equal_reif(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  equal_block* b;
  if (fd_is_ref(handle)) {
    if (!state_well_formed(state)) {
      fd_raise_system_error(env, "all_equal_reif: malformed state");
      return 0;
    }
    b = create(env, new_state, fd_proper_length(fd_arg(state, 1)));
    state = fd_deref(fd_termref(env, new_state));
  } else {
    b = static_cast<equal_block*>(fd_handle_pointer(handle));
  }
  fd_bounds_refresh(&b->b);
  auto live = static_cast<int32_t>(b->n - fd_small_value(fd_deref(fd_arg(state, 3))));
  for (int32_t p = 0; p < live; p++) dvar_refresh(env, &b->d[b->order[p]]);
  // The live fixed variables move behind the unfixed ones.
  int32_t u = 0;
  for (int32_t p = 0; p < live; p++)
    if (!dvar_is_fixed(&b->d[b->order[p]])) std::swap(b->order[u++], b->order[p]);
  lv_term c = 0;
  int fixed = fixed_values(b, &c);
  int64_t bmin = fd_small_value(b->b.min), bmax = fd_small_value(b->b.max);
  auto fix_b = [&](int64_t v) { return dvar_fix_value_and_export(env, &b->b, v, actions, 0) ? 3 : 4; };
  int status;
  bool decided = bmin == bmax;
  if (decided && bmin == 1) {
    status = 3;
    if (fixed == 2) status = 4;
    for (int32_t p = 0; p < u && status != 4; p++)
      if (fixed == 1 && dvar_fix_value(env, &b->d[b->order[p]], c) < 0) status = 4;
    if (fixed == 0) {
      // Every domain cut to the intersection of all: forwards, then back.
      for (int32_t p = 1; p < u && status != 4; p++)
        if (dvar_fix_set(env, &b->d[b->order[p]], dvar_get_set(env, &b->d[b->order[p - 1]])) < 0) status = 4;
      for (int32_t p = u - 2; p >= 0 && status != 4; p--)
        if (dvar_fix_set(env, &b->d[b->order[p]], dvar_get_set(env, &b->d[b->order[p + 1]])) < 0) status = 4;
      if (status != 4 && u > 0 && !dvar_is_fixed(&b->d[b->order[0]])) status = 2;
    }
  } else if (decided) {
    if (fixed == 2) status = 3;
    else if (fixed == 1) {
      if (u == 0) status = 4;
      else if (u == 1) status = dvar_prune_value(env, &b->d[b->order[0]], c) < 0 ? 4 : 3;
      else status = 2;
    } else {
      status = b->n <= 1 ? 4 : 2;
    }
  } else {
    if (fixed == 2) status = fix_b(0);
    else if (fixed == 1) {
      bool all_can = true;
      for (int32_t p = 0; p < u && all_can; p++) all_can = dvar_contains(&b->d[b->order[p]], c) != 0;
      status = u == 0 ? fix_b(1) : all_can ? 2 : fix_b(0);
    } else if (b->n < 2) {
      status = fix_b(1);
    } else {
      fdset common = dvar_get_set(env, &b->d[b->order[0]]);
      for (int32_t p = 1; p < u && common != FD_NIL; p++)
        common = fdset_intersection(env, common, dvar_get_set(env, &b->d[b->order[p]]));
      status = common == FD_NIL ? fix_b(0) : 2;
    }
  }
  if (status == 4) return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
  if (decided) dvar_export_changed(env, b->d, b->order, u, actions);
  if (status == 2) {
    state = fd_deref(fd_termref(env, new_state));
    fd_struct_cells(state)[3] = fd_make_small(b->n - u);
  }
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}
