// The big-integer driver: runs a kernel on the number stack.
#pragma once

#include <cstdint>

#include "core/worker.h"
#include "machine/bignum.h"

// Runs kernel k on the numbers x and y (small integers, integer or float
// boxes; float operands are first made integers). Returns the result, a
// small integer when it fits, else a box on the number stack; or 0 with the
// error word set: a kernel error c gives c - 65536 (the first operand is the
// culprit), division by zero -131847 (the second); a float operand that
// cannot be made an integer subtracts a further 65536 (first) or 131072
// (second). The error word is 0 after a success.
lv_term lv_bignum_apply(lv_worker* w, lv_bignum_kernel k, lv_term x, lv_term y, int32_t* error);
