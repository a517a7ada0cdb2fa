// Arithmetic on tagged numbers: the evaluable functions, the arithmetic
// comparisons and the normalisation of operands.
//
// Operands are small integers, integer boxes or float boxes, on the heap, on
// the number stack or inline in code. Integer boxes need not be normal: a
// one-limb box may hold a value of the small-integer range (the emulator
// pushes small integers that way), and every function treats numbers by
// value. Results are a small integer or a box pushed on the number stack;
// integer results are normal and floats are finite, with no -0.0.
//
// An evaluable function that cannot give a result sets the pending error,
// puts its operands into X0 (and X1) as heap terms, raises the error for
// prolog:'$eval'(prolog:Name(...)) (lv_arith_error) and returns 0: the
// caller fails into the handler. Codes and culprits:
//   263  a non-finite float operand (the operand), or a float result that
//        overflowed (the atom inf; X0 := inf)
//   519  a NaN result (the atom nan; X0 := nan), or an operand outside the
//        function's domain (the operand the function names)
//   775  division by zero (the divisor)
//   1025 a float where an integer is required (the float; the first when
//        both are)
//   2049 an integer where a float is required; a negative exponent of ^
//        (the base)
//   265  a shift count beyond 64 bits in the growing direction (the count),
//        and a result too large to hold (the first operand)
//   2305 the atoms inf and nan used as numbers (lv_arith_raise_inf/_nan)
#pragma once

#include <cstdint>

#include "core/worker.h"

// Unary functions: -, integer, float, \, msb, abs, sign, the rounding
// functions and the float functions.
lv_term lv_arith_neg(lv_worker* w, lv_term x);
lv_term lv_arith_integer(lv_worker* w, lv_term x);
lv_term lv_arith_float(lv_worker* w, lv_term x);
lv_term lv_arith_bitnot(lv_worker* w, lv_term x);
lv_term lv_arith_msb(lv_worker* w, lv_term x);
lv_term lv_arith_abs(lv_worker* w, lv_term x);
lv_term lv_arith_sign(lv_worker* w, lv_term x);
lv_term lv_arith_round(lv_worker* w, lv_term x);
lv_term lv_arith_truncate(lv_worker* w, lv_term x);
lv_term lv_arith_floor(lv_worker* w, lv_term x);
lv_term lv_arith_ceiling(lv_worker* w, lv_term x);
lv_term lv_arith_float_integer_part(lv_worker* w, lv_term x);
lv_term lv_arith_float_fractional_part(lv_worker* w, lv_term x);
lv_term lv_arith_sin(lv_worker* w, lv_term x);
lv_term lv_arith_cos(lv_worker* w, lv_term x);
lv_term lv_arith_tan(lv_worker* w, lv_term x);
lv_term lv_arith_cot(lv_worker* w, lv_term x);
lv_term lv_arith_sinh(lv_worker* w, lv_term x);
lv_term lv_arith_cosh(lv_worker* w, lv_term x);
lv_term lv_arith_tanh(lv_worker* w, lv_term x);
lv_term lv_arith_coth(lv_worker* w, lv_term x);
lv_term lv_arith_asin(lv_worker* w, lv_term x);
lv_term lv_arith_acos(lv_worker* w, lv_term x);
lv_term lv_arith_atan(lv_worker* w, lv_term x);
lv_term lv_arith_acot(lv_worker* w, lv_term x);
lv_term lv_arith_asinh(lv_worker* w, lv_term x);
lv_term lv_arith_acosh(lv_worker* w, lv_term x);
lv_term lv_arith_atanh(lv_worker* w, lv_term x);
lv_term lv_arith_acoth(lv_worker* w, lv_term x);
lv_term lv_arith_sqrt(lv_worker* w, lv_term x);
lv_term lv_arith_log(lv_worker* w, lv_term x);
lv_term lv_arith_exp(lv_worker* w, lv_term x);

// Binary functions.
lv_term lv_arith_add(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_sub(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_mul(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_div(lv_worker* w, lv_term x, lv_term y);       // /, always a float
lv_term lv_arith_intdiv(lv_worker* w, lv_term x, lv_term y);    // //, truncating
lv_term lv_arith_floordiv(lv_worker* w, lv_term x, lv_term y);  // div, flooring
lv_term lv_arith_mod(lv_worker* w, lv_term x, lv_term y);       // sign of the divisor
lv_term lv_arith_rem(lv_worker* w, lv_term x, lv_term y);       // sign of the dividend
lv_term lv_arith_and(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_or(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_xor(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_shl(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_shr(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_min(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_max(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_gcd(lv_worker* w, lv_term x, lv_term y);
lv_term lv_arith_atan2(lv_worker* w, lv_term y, lv_term x);
lv_term lv_arith_acot2(lv_worker* w, lv_term y, lv_term x);
lv_term lv_arith_log2(lv_worker* w, lv_term base, lv_term x);       // log/2
lv_term lv_arith_exp2(lv_worker* w, lv_term base, lv_term power);   // exp/2
lv_term lv_arith_float_power(lv_worker* w, lv_term base, lv_term power);  // **
lv_term lv_arith_power(lv_worker* w, lv_term base, lv_term power);        // ^

// The evaluable atoms inf and nan where they are not admitted: error 2305
// for prolog:'$eval'(inf) (or nan), argument 1. Return 0.
lv_term lv_arith_raise_inf(lv_worker* w);
lv_term lv_arith_raise_nan(lv_worker* w);

// The comparisons =:=, =\=, <, =<, >, >=: 1 when the relation holds, 0
// when it does not or after raising an error. Integers compare by value;
// when a float takes part both operands compare as doubles, and a
// non-finite one raises 263 for prolog:Op(X0, X1) with the operand's
// argument number.
int lv_arith_compare_eq(lv_worker* w, lv_term x, lv_term y);
int lv_arith_compare_ne(lv_worker* w, lv_term x, lv_term y);
int lv_arith_compare_lt(lv_worker* w, lv_term x, lv_term y);
int lv_arith_compare_le(lv_worker* w, lv_term x, lv_term y);
int lv_arith_compare_gt(lv_worker* w, lv_term x, lv_term y);
int lv_arith_compare_ge(lv_worker* w, lv_term x, lv_term y);

// The relations by number, in the order of the functions above.
enum lv_arith_relation_kind : int {
  LV_REL_EQ = 0,
  LV_REL_NE = 1,
  LV_REL_LT = 2,
  LV_REL_LE = 3,
  LV_REL_GT = 4,
  LV_REL_GE = 5,
};
// The same comparisons telling a false relation (0) from a raised error
// (-1); 1 when the relation holds.
int lv_arith_relation(lv_worker* w, lv_term x, lv_term y, lv_arith_relation_kind relation);

// Three-way comparison: 0 when x < y, 1 when equal, 2 when x > y;
// LV_ARITH_COMPARE_ERROR after raising an error (in the context of =:=).
constexpr uint32_t LV_ARITH_COMPARE_ERROR = 0x80000000u;
uint32_t lv_arith_compare(lv_worker* w, lv_term x, lv_term y);

// The standard order of two terms, dereferenced first: -1, 0 or 1. Unbound
// variables come first, by address.
int lv_compare_vars(lv_worker* w, lv_term x, lv_term y);

// The two operands as terms that live on the heap or are small integers:
// boxes elsewhere (on the number stack, in code) are copied to the heap
// with their trailers, a one-limb box of a small value becomes the small
// integer. The heap is made room for as needed; a box already on the heap
// is kept safe from that on the number stack first. y may be 0 (no second
// operand).
void lv_arith_operands(lv_worker* w, lv_term x, lv_term y, lv_term* out_x, lv_term* out_y);
