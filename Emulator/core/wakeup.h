// Handing woken attributed variables to Prolog at an event check. Binding an
// attributed variable counts a wake-up (wakeup_count) and requests an event;
// the variable's trail entry says which cell was bound.
#pragma once

#include "core/worker.h"

struct lv_pred;

// Collects the wake-ups into handler calls that run before k. When the
// attribute handler is defined and every woken variable is bound to a small
// integer, with attributes and no goals, one call of the handler gets them
// all (X0 the variables, X1 the values, unbound again). Otherwise, for each
// from the newest, the current predicate becomes a continuation and the
// variable's handler the current predicate: a variable with suspended goals
// only gives the goal runner (X0 the goals); one with attributes is unbound
// again and gives the attribute handler (X0 the variable, X1 the value).
// Returns the handler to call first; clears the wake-up count and closes up
// the trail entries it cleared.
lv_pred* lv_collect_woken_goals(lv_worker* w, lv_pred* k);
