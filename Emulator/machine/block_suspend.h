// Block declarations: a call of a predicate with block conditions suspends
// while the arguments of one of them are all unbound.
#pragma once

#include "core/worker.h"

struct lv_pred;

// The predicate's block conditions are checked in order against the
// arguments (the X registers, or the argument cells of the goal that X0
// holds); a condition holds when each argument it lists is an unbound
// variable. For the first that holds: when the arguments are the X
// registers, the goal Name(X0, ..., Xn-1) is built and put in X0; the goal is
// then suspended, in the predicate's module, on a new variable for a
// condition that lists no argument, else on every listed argument's
// variable through one shared suspension record; 1 is returned. When no
// condition holds, 0 is returned and nothing is changed.
// Whether one of the predicate's block conditions holds for the arguments.
bool lv_block_condition_holds(const lv_pred* pred, const lv_term* arguments);

int lv_suspend_if_unbound(lv_worker* w, const lv_term* arguments, const lv_pred* pred);
