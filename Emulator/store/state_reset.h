// Emptying the program before a saved state replaces it.
#pragma once

#include <cstdint>

struct lv_module;

// A module a state resets: its attribute index is cleared, its stored
// records freed, its term slot [] and its chain empty, and every predicate
// of its table that does not belong to prolog emptied and unchained.
void lv_state_reset_module(lv_module* m);

// The reset at the start of a full restore: every module but prolog is
// reset; of prolog, every dynamic predicate that is not volatile (and, for
// a state of kind LV_STATE_ALL, every static one) loses its clauses and its
// spy point, and its blackboard is emptied; no attribute module remains
// registered.
void lv_state_reset_program(uint32_t kind);
