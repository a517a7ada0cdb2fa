// What the posting predicates share, and the forms they take from the
// library:
//   $fd_check_arguments(Goal, Tuple): Tuple is Goal's functor over the
//     attributes of its arguments (variables or integers).
//   $fd_install(Name/Arity, Module, Slot, Count, Records): Slot 0-3 of the
//     predicate's indexical definition (0 propagates when the reification
//     Boolean is 0, 1 when it is 1, 2 and 3 check entailment while it is
//     open, deciding 0 and 1), from Count records ix(Entries, NEntries,
//     Target, Code, CodeLength, Stored, NStored).
//   $fd_find_definition(Name/Arity or a goal, Module, Def): Def the
//     predicate's address word, or 0.
//   $fd_post_reified(Def, Goal, Tuple, B, BAttribute): B the reification
//     variable (or 0/1), BAttribute its attribute ($fd_arg_attribute);
//     a plain posting passes B = 1.
//   $fd_post_global(Goal, State, Flags, Reif, [Event(X), ...], Propagator):
//     Event one of dom, min, max, minmax, val, none.
//   $fd_post_clause(Positives, Negatives), $fd_post_disequation(Coefficients,
//     Booleans, C): literals and Booleans are lit(Var, Attribute, _) (or
//     any term whose second argument is the attribute, the variable or its
//     value).
//   $fd_post_equality(X = Y + C goal with C its third argument,
//     p(XAttribute, YAttribute)) -> 1, or -1 when it cannot hold.
//   $fd_in_set(X, Set, Open), $fd_in_interval(X, Min, Max, Open).
//   $fd_eval_indexical(Goal, Indexical, Actions), $fd_prune_and_enqueue(
//     Actions, Propagator): a propagator run at the Prolog level.
#pragma once

#include <cstdint>

#include "kernel/runtime.h"
#include "kernel/terms.h"

// Opens propagation for a posting: the queues are reset and propagation
// marked under way, unless it is under way already (a posting made while
// propagating, by a propagator run at the Prolog level, keeps the work
// queued before it).
void fd_posting_open(const lv_foreign_env* env);

// The attribute of a variable (created with bounds inf..sup when missing)
// or of a small integer; 0 for anything else. X register xreg and up may be
// used while heap room is made.
lv_term fd_attribute_of(const lv_foreign_env* env, lv_term term, int xreg);

// The hook's part in freeing a predicate's indexical definition: the table
// that holds the chain head at the given address is no longer a
// predicate's (see $fd_install).
void fd_forget_definition_table(const lv_foreign_env* env, const void* chain);
