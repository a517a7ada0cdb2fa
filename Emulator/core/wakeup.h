// Handing woken attributed variables to Prolog at an event check. Binding an
// attributed variable counts a wake-up (wakeup_count) and requests an event;
// the variable's trail entry says which cell was bound.
#pragma once

#include "core/worker.h"

struct lv_pred;

// Collects the wake-ups, newest first, into a chain of continuations: for
// each, the current predicate (first k) becomes a continuation, and the
// woken variable's handler becomes the current predicate, with its
// arguments in X0 (and X1). A variable with suspended goals only gives the
// goal runner (X0 the goals); one with attributes is unbound again and gives
// the attribute handler (X0 the variable, X1 the value). Returns the last
// handler; clears the wake-up count.
lv_pred* lv_collect_woken_goals(lv_worker* w, lv_pred* k);
