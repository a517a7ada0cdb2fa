// Set operations of the indexical evaluator.
#pragma once

#include "kernel/fdset.h"

// {x mod c : x in s}, floor modulo (the residue has the sign of c); c = 0
// gives [].
fdset fdset_mod_set(const lv_foreign_env* env, fdset s, int64_t c);
// {x rem c : x in s}, truncating (the residue has the sign of x); c = 0
// gives [].
fdset fdset_rem_set(const lv_foreign_env* env, fdset s, int64_t c);
// {x - y : x in a, y in b} restricted to lo..hi.
fdset fdset_combine_difference(const lv_foreign_env* env, fdset a, fdset b, lv_term lo, lv_term hi);
