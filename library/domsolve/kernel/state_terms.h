// Changing terms that backtracking must restore: value-trailed assignment of
// $mutable(Value, Stamp) cells, time-stamped propagator state terms that are
// copied only when a choicepoint could still need the old version, binding
// with trailing, and the solver flag word. A term is older than the last
// choicepoint when its address lies below the heap top that the newest
// choicepoint saved (HB).
#pragma once

#include <cstdint>

#include "kernel/runtime.h"
#include "kernel/terms.h"

// The solver flag word's bits (values of the small integer).
enum : int64_t {
  FD_FLAG_PROPAGATING = 1,
  FD_FLAG_BATCH = 2,
  FD_FLAG_HIDING = 4,
};
// Term-reference slots the engine keeps for the solver: the flags term
// $mutable(Flags, Stamp) and the handle list's $mutable(List, Stamp).
constexpr lv_term_ref FD_SLOT_SOLVER_FLAGS = 5;
constexpr lv_term_ref FD_SLOT_HANDLE_LIST = 6;

// Keeps the trail's gap below the newest choicepoint after a push
// (lv_choice_overflow when fewer than 4096 bytes remain).
void fd_trail_room(const lv_foreign_env* env);
// Binds the unbound variable cell to value, trailing it when it is older
// than the newest choicepoint.
void fd_bind(const lv_foreign_env* env, lv_term* cell, lv_term value);

// Stores value into the $mutable term: with a three-word value-trail entry
// {mutable, old value, old stamp} when both the mutable and its stamp are
// older than the newest choicepoint (the stamp then becomes the trail
// position), in place otherwise.
void fd_trail_assign(const lv_foreign_env* env, lv_term value, lv_term mutable_term);

// The solver flag word, and storing a new one (value-trailed).
int64_t fd_solver_flags(const lv_foreign_env* env);
void fd_set_solver_flags(const lv_foreign_env* env, int64_t flags);

// A state term's handle (its second-to-last argument) and whether it is
// fresh: unbound, or made after the newest choicepoint.
lv_term fd_mutable_get(const lv_foreign_env* env, lv_term state, lv_term* handle, int* fresh);
// As fd_mutable_get, with the stamp (last argument) in *stamp; returns the
// state to update: the term itself with its stamp one higher when it is
// newer than the newest choicepoint, else a one-level copy with the higher
// stamp. X registers xreg and xreg + 1 hold the term and the handle while
// heap room is made.
lv_term fd_mutable_begin_update(const lv_foreign_env* env, lv_term state, lv_term* handle, int64_t* stamp, int* fresh,
                                int xreg);
// For a propagator term whose first argument is $mutable(State, Stamp): the
// state to update (its stamp one higher), copied and stored into the
// mutable (value-trailed, *copied = 1) when it is older than the newest
// choicepoint. *propagator is re-read after heap room is made (it is kept in
// X register xreg meanwhile).
lv_term fd_mutable_copy(const lv_foreign_env* env, lv_term* propagator, int* copied, int xreg);
// Clears the queued and running bits (values 1 and 8) of the flag argument
// of the propagator term held in term reference t.
void fd_propagator_clear_marks(const lv_foreign_env* env, lv_term_ref t);

// Makes words heap cells free beyond the engine's reserve, keeping the
// first live_registers argument registers valid.
void fd_heap_room(const lv_foreign_env* env, int64_t words, int64_t live_registers);
