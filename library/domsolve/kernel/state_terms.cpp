// Value trailing, state terms and the solver flag word.
#include "kernel/state_terms.h"

#include "kernel/engine.h"

void fd_trail_room(const lv_foreign_env* env) {
  const fd_engine* w = fd_engine_of(env);
  if (reinterpret_cast<const char*>(w->B) - reinterpret_cast<const char*>(w->TR) < FD_TRAIL_GAP_BYTES)
    fd_rt::choice_overflow(env, FD_TRAIL_REQUEST_CELLS);
}

void fd_bind(const lv_foreign_env* env, lv_term* cell, lv_term value) {
  fd_engine* w = fd_engine_of(env);
  *cell = value;
  if (fd_older_than_choice(w, cell)) {
    *w->TR++ = fd_make_ref(cell);
    fd_trail_room(env);
  }
}

void fd_trail_assign(const lv_foreign_env* env, lv_term value, lv_term mutable_term) {
  fd_engine* w = fd_engine_of(env);
  lv_term* cells = fd_struct_cells(fd_deref(mutable_term));
  int64_t choice_trail = reinterpret_cast<lv_term*>(w->B[FD_CP_TR] & ~lv_term{7}) - w->trail_base;
  if (fd_small_value(cells[2]) < choice_trail && fd_older_than_choice(w, cells)) {
    lv_term* entry = w->TR;
    entry[0] = fd_make_struct(cells);
    entry[1] = cells[1];
    entry[2] = cells[2];
    cells[1] = value;
    cells[2] = fd_make_small(entry - w->trail_base);
    w->TR = entry + 3;
    fd_trail_room(env);
  } else {
    cells[1] = value;
  }
}

namespace {

lv_term flags_term(const lv_foreign_env* env) { return fd_deref(fd_termref(env, FD_SLOT_SOLVER_FLAGS)); }

}  // namespace

int64_t fd_solver_flags(const lv_foreign_env* env) {
  return fd_small_value(fd_deref(fd_struct_cells(flags_term(env))[1]));
}

void fd_set_solver_flags(const lv_foreign_env* env, int64_t flags) {
  fd_trail_assign(env, fd_make_small(flags), flags_term(env));
}

void fd_heap_room(const lv_foreign_env* env, int64_t words, int64_t live_registers) {
  const fd_engine* w = fd_engine_of(env);
  if (w->heap_hard_limit - w->H < words) fd_rt::call_overflow(env, words, live_registers);
}

lv_term fd_mutable_get(const lv_foreign_env* env, lv_term state, lv_term* handle, int* fresh) {
  const fd_engine* w = fd_engine_of(env);
  state = fd_deref(state);
  const lv_term* cells = fd_struct_cells(state);
  lv_term h = fd_deref(cells[fd_functor_arity(cells[0]) - 1]);
  *handle = h;
  *fresh = fd_is_ref(h) || !fd_older_than_choice(w, reinterpret_cast<const lv_term*>(h & ~FD_TAG_MASK));
  return state;
}

namespace {

// A one-level copy of a structure on the heap (room made by the caller),
// with its last argument (the stamp) one higher.
lv_term copy_with_next_stamp(const lv_foreign_env* env, lv_term state) {
  fd_engine* w = fd_engine_of(env);
  const lv_term* cells = fd_struct_cells(state);
  unsigned arity = fd_functor_arity(cells[0]);
  lv_term* h = w->H;
  // An unbound argument's word is its own address: the copy refers to the
  // original variable.
  for (unsigned i = 0; i <= arity; i++) h[i] = cells[i];
  h[arity] = fd_make_small(fd_small_value(fd_deref(cells[arity])) + 1);
  w->H = h + arity + 1;
  return fd_make_struct(h);
}

void bump_stamp(lv_term state) {
  lv_term* cells = fd_struct_cells(state);
  unsigned arity = fd_functor_arity(cells[0]);
  cells[arity] = fd_make_small(fd_small_value(fd_deref(cells[arity])) + 1);
}

}  // namespace

lv_term fd_mutable_begin_update(const lv_foreign_env* env, lv_term state, lv_term* handle, int64_t* stamp, int* fresh,
                                int xreg) {
  fd_engine* w = fd_engine_of(env);
  state = fd_mutable_get(env, state, handle, fresh);
  const lv_term* cells = fd_struct_cells(state);
  unsigned arity = fd_functor_arity(cells[0]);
  *stamp = fd_small_value(fd_deref(cells[arity]));
  if (!fd_older_than_choice(w, cells)) {
    bump_stamp(state);
    return state;
  }
  if (w->heap_hard_limit - w->H < arity + 1) {
    w->X[xreg] = state;
    w->X[xreg + 1] = *handle;
    fd_rt::call_overflow(env, arity + 1, xreg + 2);
    state = w->X[xreg];
    *handle = w->X[xreg + 1];
  }
  return copy_with_next_stamp(env, state);
}

lv_term fd_mutable_copy(const lv_foreign_env* env, lv_term* propagator, int* copied, int xreg) {
  fd_engine* w = fd_engine_of(env);
  lv_term mutable_term = fd_deref(fd_struct_cells(fd_deref(*propagator))[1]);
  lv_term state = fd_deref(fd_struct_cells(mutable_term)[1]);
  if (!fd_older_than_choice(w, fd_struct_cells(state))) {
    bump_stamp(state);
    *copied = 0;
    return state;
  }
  unsigned arity = fd_functor_arity(fd_struct_cells(state)[0]);
  if (w->heap_hard_limit - w->H < arity + 1) {
    w->X[xreg] = *propagator;
    fd_rt::call_overflow(env, arity + 1, xreg + 1);
    *propagator = w->X[xreg];
    mutable_term = fd_deref(fd_struct_cells(fd_deref(*propagator))[1]);
    state = fd_deref(fd_struct_cells(mutable_term)[1]);
  }
  lv_term copy = copy_with_next_stamp(env, state);
  fd_trail_assign(env, copy, mutable_term);
  *copied = 1;
  return copy;
}

void fd_propagator_clear_marks(const lv_foreign_env* env, lv_term_ref t) {
  lv_term* cells = fd_struct_cells(fd_deref(fd_termref(env, t)));
  cells[3] = fd_make_small(fd_small_value(fd_deref(cells[3])) & ~int64_t{9});
}
