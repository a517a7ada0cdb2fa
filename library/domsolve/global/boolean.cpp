// Propagators over 0/1 variables: the clause (bool_or, bool_and), parity
// (bool_xor) and if_then_else.
//
// An item of the clause and parity propagators is a pair p(B, Attribute)
// with a polarity 0 or 1 from a parallel list.
//
// Clause: s(Items, Polarities, Fixed, Handle, Stamp). Item 0 is the result
// R, which fires when its value equals its polarity; a literal fires when
// its value differs from its polarity; R fires exactly when no literal
// does. Or over literals with result R: polarities 0; and: polarities 1.
//
// Parity: s(Items, Polarities, Fixed, Total, Handle, Stamp): the sum over
// the items of (polarity xor value) is even.
//
// Fixed (and Total) are written back after every call and by the daemons,
// so the state in force always counts the items fixed in it; a daemon
// wakes the propagator only when at most one item is left open, or (the
// clause) when the item just fixed decides the clause. A call itself reads
// every item afresh, so nothing it decides depends on the daemons' counts.
//
// if_then_else: s(C, T, E, R, Handle, Stamp): R = T when C is 1, R = E when
// C is 0.
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

// Items wake their daemons when fixed.
lv_term fixed_event(const lv_foreign_env* env) { return fd_state(env)->functors[FD_F_VAL_1]; }

// The value of a fixed 0/1 record, -1 while it is open.
int value_of(const dvar_bounds* b) { return b->min == b->max ? static_cast<int>(fd_small_value(b->min)) : -1; }

bool polarity_list_well_formed(lv_term list) {
  if (!fd_small_list_well_formed(list)) return false;
  for (list = fd_deref(list); fd_is_list(list); list = fd_deref(fd_list_cells(list)[1])) {
    int64_t p = fd_small_value(fd_deref(fd_list_cells(list)[0]));
    if (p != 0 && p != 1) return false;
  }
  return true;
}

struct items_block {
  void (*destroy)(void*);
  fd_daemon_fn daemon;
  lv_foreign_env* env;
  fd_termref_slot* refs;
  int32_t n, is_clause;
  dvar_bounds* items;
  uint8_t* polarity;
};

void items_destroy(void* p) {
  auto* b = static_cast<items_block*>(p);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

// Whether item i fires in the clause (its value v known).
bool fires(const items_block* b, int32_t i, int v) { return i == 0 ? v == b->polarity[0] : v != b->polarity[i]; }

// An item was fixed: one more fixed in the state in force.
int64_t items_daemon(lv_foreign_env* env, void* p, lv_term* cell, lv_term* propagator) {
  auto* b = static_cast<items_block*>(p);
  auto i = static_cast<int32_t>(fd_pair_index(b->refs, cell));
  int copied;
  lv_term state = fd_mutable_copy(env, propagator, &copied, 0);
  lv_term* cells = fd_struct_cells(state);
  int64_t fixed = fd_small_value(fd_deref(cells[3])) + 1;
  cells[3] = fd_make_small(fixed);
  if (b->n - fixed < 2) return 1;
  if (!b->is_clause) return 2;
  fd_bounds_refresh(&b->items[i]);
  int v = value_of(&b->items[i]);
  return v >= 0 && fires(b, i, v) ? 1 : 2;
}

bool items_state_well_formed(lv_term state, unsigned arity) {
  if (!fd_is_compound_struct(state) || fd_functor_arity(fd_functor_of(state)) != arity) return false;
  lv_term items = fd_arg(state, 1), pols = fd_arg(state, 2);
  if (!fd_pair_list_well_formed(items) || !polarity_list_well_formed(pols)) return false;
  if (fd_proper_length(items) != fd_proper_length(pols) || fd_proper_length(items) == 0) return false;
  for (unsigned k = 3; k <= arity - 2; k++)
    if (!fd_is_small(fd_deref(fd_arg(state, k)))) return false;
  return true;
}

items_block* items_create(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref goal, bool clause) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  unsigned arity = fd_functor_arity(fd_functor_of(state));
  int64_t n = fd_proper_length(fd_arg(state, 1));
  size_t size = sizeof(items_block) + static_cast<size_t>(n) * (sizeof(dvar_bounds) + 1);
  auto* b = static_cast<items_block*>(fd_new_handle_block(env, size, fd_arg(state, arity - 1), 0));
  *b = items_block{};
  b->destroy = items_destroy;
  b->daemon = items_daemon;
  b->env = env;
  b->n = static_cast<int32_t>(n);
  b->is_clause = clause;
  b->items = reinterpret_cast<dvar_bounds*>(b + 1);
  b->polarity = reinterpret_cast<uint8_t*>(b->items + n);
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * n));
  state = fd_deref(fd_termref(env, new_state));
  int64_t i = 0;
  for (lv_term l = fd_deref(fd_arg(state, 1)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]), i++)
    fd_pair_take_bounds(env, fd_list_cells(l)[0], &b->refs[2 * i], &b->items[i]);
  i = 0;
  for (lv_term l = fd_deref(fd_arg(state, 2)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]), i++)
    b->polarity[i] = static_cast<uint8_t>(fd_small_value(fd_deref(fd_list_cells(l)[0])));
  lv_term* cells = fd_struct_cells(state);
  cells[1] = FD_NIL;
  cells[2] = FD_NIL;
  for (i = 0; i < n; i++) dvar_attach_daemon_bounds(env, &b->items[i], b, goal, fixed_event(env), 0);
  return b;
}

// The first call, or the block of a later one; null after an error.
items_block* items_block_of(lv_foreign_env* env, lv_term state, lv_term handle, lv_term_ref new_state,
                            lv_term_ref goal, bool clause) {
  if (!fd_is_ref(handle)) return static_cast<items_block*>(fd_handle_pointer(handle));
  if (!items_state_well_formed(state, clause ? 5 : 6)) {
    fd_raise_system_error(env, clause ? "bool_or: malformed state" : "bool_xor: malformed state");
    return nullptr;
  }
  return items_create(env, new_state, goal, clause);
}

// Every item read again: the open ones counted, the last open one kept.
int32_t refresh_items(items_block* b, int32_t* open) {
  int32_t u = 0;
  for (int32_t i = 0; i < b->n; i++) {
    fd_bounds_refresh(&b->items[i]);
    if (value_of(&b->items[i]) < 0) {
      u++;
      *open = i;
    }
  }
  return u;
}

int clause_run(lv_foreign_env* env, items_block* b, lv_term_ref actions, int32_t* u) {
  int32_t open = -1;
  *u = refresh_items(b, &open);
  bool literal_fired = false, result_fired = false;
  for (int32_t i = 0; i < b->n; i++) {
    int v = value_of(&b->items[i]);
    if (v < 0 || !fires(b, i, v)) continue;
    if (i == 0) result_fired = true;
    else literal_fired = true;
  }
  if (literal_fired) {
    if (result_fired) return 4;
    if (value_of(&b->items[0]) >= 0) return 3;
    return dvar_fix_value_and_export(env, &b->items[0], b->polarity[0] ^ 1, actions, 0) ? 3 : 4;
  }
  if (result_fired) {
    for (int32_t i = 1; i < b->n; i++)
      if (value_of(&b->items[i]) < 0 && !dvar_fix_value_and_export(env, &b->items[i], b->polarity[i], actions, 0))
        return 4;
    return 3;
  }
  if (*u > 1) return 2;
  if (*u == 1) {
    // R open: it must fire; a literal open (R fixed not firing): it must.
    int v = open == 0 ? b->polarity[0] : b->polarity[open] ^ 1;
    return dvar_fix_value_and_export(env, &b->items[open], v, actions, 0) ? 3 : 4;
  }
  return 4;  // everything fixed, R not firing, no literal firing
}

int parity_run(lv_foreign_env* env, items_block* b, lv_term_ref actions, int32_t* u, int64_t* total) {
  int32_t open = -1;
  *u = refresh_items(b, &open);
  *total = 0;
  for (int32_t i = 0; i < b->n; i++) {
    int v = value_of(&b->items[i]);
    if (v >= 0) *total += b->polarity[i] ^ v;
  }
  if (*u == 0) return *total & 1 ? 4 : 3;
  if (*u > 1) return 2;
  return dvar_fix_value_and_export(env, &b->items[open], b->polarity[open] ^ (*total & 1), actions, 0) ? 3 : 4;
}

// ---------------------------------------------------------------------------
// if_then_else

struct ite_block {
  void (*destroy)(void*);
  lv_foreign_env* env;
  fd_termref_slot* refs;  // C, T, E, R
  dvar_bounds c;
  dvar t, e, r;
};

void ite_destroy(void* p) {
  auto* b = static_cast<ite_block*>(p);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

// R and the branch made equal: failure -1.
int equate(lv_foreign_env* env, dvar* r, dvar* branch) {
  if (dvar_fix_set(env, branch, dvar_get_set(env, r)) < 0) return -1;
  return dvar_fix_set(env, r, dvar_get_set(env, branch)) < 0 ? -1 : 0;
}

int ite_run(lv_foreign_env* env, ite_block* b, lv_term_ref actions) {
  int c = value_of(&b->c);
  bool decided = false;
  if (c < 0) {
    if (dvar_compare_set(env, &b->r, dvar_get_set(env, &b->e)) == FDSET_DISJOINT) {
      c = 1;
      decided = true;
    } else if (dvar_compare_set(env, &b->r, dvar_get_set(env, &b->t)) == FDSET_DISJOINT) {
      c = 0;
      decided = true;
    } else {
      fdset both = fdset_union(env, dvar_get_set(env, &b->t), dvar_get_set(env, &b->e));
      if (dvar_fix_set(env, &b->r, both) < 0) return 4;
    }
  }
  if (c == 1 && equate(env, &b->r, &b->t) < 0) return 4;
  if (c == 0 && equate(env, &b->r, &b->e) < 0) return 4;
  if (decided && !dvar_fix_value_and_export(env, &b->c, c, actions, 0)) return 4;
  return c >= 0 && dvar_is_fixed(&b->r) ? 3 : 2;
}

bool ite_state_well_formed(lv_term state) {
  if (!fd_is_compound_struct(state) || fd_functor_arity(fd_functor_of(state)) != 6) return false;
  for (unsigned k = 1; k <= 4; k++)
    if (!fd_is_pair(fd_arg(state, k))) return false;
  return true;
}

}  // namespace

int bool_or(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  items_block* b = items_block_of(env, state, handle, new_state, goal, true);
  if (b == nullptr) return 0;
  int32_t u;
  int status = clause_run(env, b, actions, &u);
  fd_struct_cells(fd_deref(fd_termref(env, new_state)))[3] = fd_make_small(b->n - u);
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}

int bool_xor(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  items_block* b = items_block_of(env, state, handle, new_state, goal, false);
  if (b == nullptr) return 0;
  int32_t u;
  int64_t total;
  int status = parity_run(env, b, actions, &u, &total);
  lv_term* cells = fd_struct_cells(fd_deref(fd_termref(env, new_state)));
  cells[3] = fd_make_small(b->n - u);
  cells[4] = fd_make_small(total);
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}

int if_then_else(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  ite_block* b;
  if (fd_is_ref(handle)) {
    if (!ite_state_well_formed(state)) {
      fd_raise_system_error(env, "if_then_else: malformed state");
      return 0;
    }
    b = static_cast<ite_block*>(fd_new_handle_block(env, sizeof(ite_block), fd_arg(state, 5), 0));
    *b = ite_block{};
    b->destroy = ite_destroy;
    b->env = env;
    b->refs = fd_rt::alloc_globrefs(env, 8);
    state = fd_deref(fd_termref(env, new_state));
    fd_pair_take_bounds(env, fd_arg(state, 1), &b->refs[0], &b->c);
    fd_pair_take(env, fd_arg(state, 2), &b->refs[2], &b->t);
    fd_pair_take(env, fd_arg(state, 3), &b->refs[4], &b->e);
    fd_pair_take(env, fd_arg(state, 4), &b->refs[6], &b->r);
  } else {
    b = static_cast<ite_block*>(fd_handle_pointer(handle));
  }
  fd_bounds_refresh(&b->c);
  dvar_refresh(env, &b->t);
  dvar_refresh(env, &b->e);
  dvar_refresh(env, &b->r);
  int status = ite_run(env, b, actions);
  if (status != 4) {
    dvar* records[] = {&b->t, &b->e, &b->r};
    fd_export_records(env, records, 3, actions);
  }
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}
