// Choicepoints pushed by C routines. A C predicate that wants a Prolog
// predicate run in its place (an error handler, for one) pushes a choicepoint
// whose alternative is that predicate's call stub and fails: backtracking
// then calls the predicate with the saved argument registers.
#pragma once

#include "core/worker.h"
#include "store/try_record.h"

// Pushes a choicepoint of the stub's cp_size bytes (rounded up to a multiple of
// 16, as TRY does) with the stub as its
// alternative and the argument registers it has room for; sets HB and the
// saved local top to the current tops. Returns 0, the failure result of the
// C predicate that calls it.
int lv_push_call_choicepoint(lv_worker* w, const lv_try_record* stub);

// Pops the newest choicepoint and restores HB and the saved local top from
// the next one.
void lv_pop_call_choicepoint(lv_worker* w);
