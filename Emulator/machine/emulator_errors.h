// Errors raised from the emulator in the context of the predicate whose code
// is running. Each sets the pending error and pushes the call of the
// Prolog-level error handler (see core/errors.h), then returns 0: the
// emulator fails into that call.
#pragma once

#include <cstdint>

#include "core/error_codes.h"
#include "core/worker.h"

struct lv_pred;

// Pending error {code, "", culprit}, the code being 0 when the culprit is an
// unbound variable; raised for Module:Name(X0, ..., Xn-1) of the predicate
// and the argument number. Returns 0.
int lv_raise_in_predicate(lv_worker* w, int32_t code, const lv_pred* pred, int64_t argument, lv_term culprit);

// The same after reloading X0 .. Xn-1 from the current environment frame,
// which holds the predicate's arguments as its permanent variables (a
// continuation frame).
int lv_raise_in_predicate_args(lv_worker* w, int32_t code, const lv_pred* pred, int64_t argument, lv_term culprit);
