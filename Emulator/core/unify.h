// General unification and the backtrackable update of mutable terms.
#pragma once

#include <cstdint>

#include "core/worker.h"

// Unifies two terms: 1 when unified (bindings made and trailed), 0 when they
// do not unify (bindings made so far stay for backtracking to undo).
int cunify(lv_worker* w, lv_term x, lv_term y);

// Unifies cell i of the left vector with cell i of the right vector for
// i < n. Iterative and safe on cyclic terms: its work list (the pair stack)
// lives in the gap below the newest choicepoint.
int lv_unify_args(lv_worker* w, uint64_t n, lv_term* left, lv_term* right);

// Sets the value of '$mutable'(Value, Stamp) so that backtracking restores
// the old one.
void lv_update_mutable(lv_worker* w, lv_term value, lv_term mutable_term);
