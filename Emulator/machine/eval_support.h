// What the evaluable functions share: reading numbers by value, building
// results on the number stack and raising their errors.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/bignum_apply.h"
#include "core/error_codes.h"
#include "core/numbers.h"
#include "core/numstack.h"
#include "core/worker.h"

namespace lv_eval {

inline bool is_float(lv_term t) { return !lv_is_small(t) && lv_box_is_float(*lv_struct_cells(t)); }

// The limbs of an integer, least significant first: a small integer is put
// in *scratch as one limb. Returns the count.
inline uint64_t limbs_of(lv_term t, lv_term* scratch, const lv_term** limbs) {
  if (lv_is_small(t)) {
    *scratch = static_cast<lv_term>(lv_small_value(t));
    *limbs = scratch;
    return 1;
  }
  const lv_term* cells = lv_struct_cells(t);
  *limbs = cells + 1;
  return lv_box_value_words(cells[0]);
}

// The count without redundant sign limbs at the top.
inline uint64_t significant_limbs(const lv_term* l, uint64_t n) {
  while (n > 1 && ((l[n - 1] == 0 && static_cast<int64_t>(l[n - 2]) >= 0) ||
                   (l[n - 1] == ~lv_term{0} && static_cast<int64_t>(l[n - 2]) < 0)))
    n--;
  return n;
}

// The value of an integer that fits 64 bits.
inline bool int64_of(lv_term t, int64_t* value) {
  if (lv_is_small(t)) {
    *value = lv_small_value(t);
    return true;
  }
  const lv_term* cells = lv_struct_cells(t);
  if (significant_limbs(cells + 1, lv_box_value_words(cells[0])) != 1) return false;
  *value = static_cast<int64_t>(cells[1]);
  return true;
}

// -1, 0 or 1: the sign of an integer.
inline int sign_of(lv_term t) {
  lv_term scratch;
  const lv_term* l;
  uint64_t n = limbs_of(t, &scratch, &l);
  n = significant_limbs(l, n);
  if (static_cast<int64_t>(l[n - 1]) < 0) return -1;
  return n == 1 && l[0] == 0 ? 0 : 1;
}

// Integers compared by value: -1, 0 or 1.
int compare_integers(lv_term x, lv_term y);

// A number as a double: the nearest one for an integer (infinite beyond the
// double range).
inline double to_double(lv_term t) {
  if (lv_is_small(t)) return static_cast<double>(lv_small_value(t));
  return lv_number_to_double(t);
}

// An integer result: the small integer when it fits, else a box pushed on
// the number stack.
lv_term int_result(lv_worker* w, __int128 value);

// A float result: finite results are pushed; otherwise the error of the
// float shape (a non-finite operand first, then an infinite or NaN result).
// y is ignored for arity 1.
lv_term float_result(lv_worker* w, double r, const char* name, unsigned arity, lv_term x, double xd, lv_term y,
                     double yd);

// Runs a big-integer kernel; a refusal raises its code.
lv_term kernel(lv_worker* w, lv_bignum_kernel k, lv_term x, lv_term y, const char* name, unsigned arity);

// Raises code with operand `which` (0 first, 1 second) as the culprit and
// returns 0. y is ignored for arity 1.
lv_term raise_operand(lv_worker* w, int32_t code, int which, const char* name, unsigned arity, lv_term x, lv_term y);

// Raises the error of a non-finite result r: 263 with the culprit inf, or
// 519 with nan; the context keeps the operands. Returns 0.
lv_term raise_result(lv_worker* w, double r, const char* name, unsigned arity, lv_term x, lv_term y);

// Raises the error a big-integer driver status stands for: the code is the
// low 16 bits of -status; the culprit the divisor for 775, else the first
// operand. Returns 0.
lv_term raise_kernel(lv_worker* w, int32_t status, const char* name, unsigned arity, lv_term x, lv_term y);

// Raises 1025 for a float operand of an integer function (the first when
// both are) and answers false; true when both are integers. y is ignored
// for arity 1.
bool integers_or_raise(lv_worker* w, const char* name, unsigned arity, lv_term x, lv_term y);

// ^ when an operand is a float: as ** under the name ^.
lv_term float_caret(lv_worker* w, lv_term base, lv_term power);

}  // namespace lv_eval
