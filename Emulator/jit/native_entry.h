// The native entry stub of predicate records.
#pragma once

struct lv_pred;

// Whether native code runs. It stays off until the native-code compiler
// hands over code.
extern bool lv_native_code_on;

// The native-code trace level (the low byte of LV_JITTRACE).
extern int lv_jit_trace_level;

// Rewrites the record's native entry stub to match its call kind; while
// native code is off the stub is the trap pattern. The result is not used.
int lv_set_native_entry(lv_pred* pred);
