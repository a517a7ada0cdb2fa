// Calls of dynamic predicates: candidate selection under the logical update
// view, the dynamic choicepoint, and entering a clause.
//
// The call's registers ($current_instance/4 and $instance_call/6):
//   X0 the goal, X1 the module name, X2 the predicate (its address as an
//   atomic word) or, for $instance_call, the clause's '$ref', X3 what to do
//   with a clause whose head matched: a term Body-Ref is unified with the
//   clause's body and '$ref'; anything else runs the body (true proceeds,
//   any other body goes to the clause-body role predicate with
//   Body, Module and the call's cut target).
#pragma once

#include <cstdint>

#include "core/worker.h"
#include "store/try_record.h"

struct lv_db_clause;
struct lv_pred;

// The choicepoint of a dynamic call: six machine words, the call's first
// five registers and the three words of the walk (saved as X5-X7). The
// candidates are clause addresses as atomic words (0 as none); the
// generation word is a small integer, bit 32 set when no filter is used.
struct lv_dynamic_choice {
  lv_term alternative;
  lv_term local_top;
  lv_term heap_top;
  lv_term trail_top;
  lv_term env;
  lv_term cont;
  lv_term args[5];
  lv_term key_next;
  lv_term generation;
  lv_term var_next;
};
static_assert(sizeof(lv_dynamic_choice) == 6 * 8 + 8 * 8);
static_assert(offsetof(lv_dynamic_choice, args) == 8 * LV_CP_ARGS);
static_assert(offsetof(lv_dynamic_choice, key_next) == 8 * (LV_CP_ARGS + 5));
static_assert(offsetof(lv_dynamic_choice, var_next) == 8 * (LV_CP_ARGS + 7));
constexpr uint32_t LV_DYNAMIC_CHOICE_BYTES = sizeof(lv_dynamic_choice);

// The alternative of every dynamic choicepoint: RETRY_INSTANCE, next = itself.
extern lv_try_record* lv_dynamic_retry_record;
void lv_dynamic_call_init();

lv_db_clause* lv_dynamic_choice_pending(const lv_dynamic_choice* cp);
uint32_t lv_dynamic_choice_generation(const lv_dynamic_choice* cp);
void lv_set_dynamic_choice_generation(lv_dynamic_choice* cp, uint32_t g);

// The first clause of a call (X0-X3 as above, X2 the predicate): null when
// none; when more remain, the dynamic choicepoint is pushed. The caller has
// set the cut barrier.
lv_db_clause* lv_dynamic_first_clause(lv_worker* w);
// The retry step at the newest (dynamic) choicepoint: 0 when none is left;
// else the clause, the choicepoint updated, or popped when it was the last.
int lv_dynamic_next_clause(lv_worker* w, lv_db_clause** out);

// Enters a clause for the call in X0-X3: 0 fail, 1 proceed, 2 call the
// returned predicate with the registers set.
int lv_enter_instance(lv_worker* w, lv_db_clause* clause, lv_pred** body);
