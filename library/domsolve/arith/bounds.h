// Saturating arithmetic on bound terms: a small integer (the word 8v + 3),
// `inf` (below every integer) or `sup` (above every integer). Results that
// leave the small-integer range become `inf` or `sup`; whether that is an
// overflow is decided later, by whoever stores the bound in a domain. The
// word 0 (no valid term) is the undefined result of 0 * inf, 0 / 0 and
// inf / inf; callers test for it.
//
// These run in the inner loops of propagation: they branch on the tag bits,
// work on the tagged words directly (x + y is a + b - 3, x - y is
// a - b + 3, -x is 6 - a) and detect overflow from the machine's overflow
// flag instead of widening.
#pragma once

#include <cstdint>

#include "kernel/terms.h"

// The undefined result.
constexpr lv_term FD_BOUND_UNDEFINED = 0;

inline bool fd_bound_is_int(lv_term b) { return (b & 7) == FD_TAG_SMALL; }
inline lv_term fd_bound_opposite(lv_term infinity) { return infinity == FD_INF ? FD_SUP : FD_INF; }
// The infinity on the side of a value's sign (negative: inf).
inline lv_term fd_bound_infinity_of_sign(bool negative) { return negative ? FD_INF : FD_SUP; }

// x * y for plain 64-bit integers: 0 and the exact product in *out when it
// fits in 64 bits, else 1 with *out untouched.
inline int fd_mul_checked(int64_t x, int64_t y, int64_t* out) {
  int64_t p;
  if (__builtin_mul_overflow(x, y, &p)) return 1;
  *out = p;
  return 0;
}

inline lv_term fd_bound_add(lv_term a, lv_term b) {
  if (!fd_bound_is_int(a)) return a;
  if (!fd_bound_is_int(b)) return b;
  int64_t r;
  // a + (b - 3) is the word of x + y; it overflows 64 bits exactly when
  // x + y leaves the small-integer range.
  if (__builtin_add_overflow(static_cast<int64_t>(a), static_cast<int64_t>(b - 3), &r))
    return fd_bound_infinity_of_sign(static_cast<int64_t>(a) < 0);
  return static_cast<lv_term>(r);
}

inline lv_term fd_bound_sub(lv_term a, lv_term b) {
  if (!fd_bound_is_int(a)) return a;
  if (!fd_bound_is_int(b)) return fd_bound_opposite(b);
  int64_t r;
  if (__builtin_sub_overflow(static_cast<int64_t>(a), static_cast<int64_t>(b - 3), &r))
    return fd_bound_infinity_of_sign(static_cast<int64_t>(a) < 0);
  return static_cast<lv_term>(r);
}

inline lv_term fd_bound_neg(lv_term a) {
  if (!fd_bound_is_int(a)) return fd_bound_opposite(a);
  int64_t r;
  if (__builtin_sub_overflow(int64_t{6}, static_cast<int64_t>(a), &r)) return FD_SUP;  // -(-2^60)
  return static_cast<lv_term>(r);
}

// Two small integers.
inline lv_term fd_bound_mul_int(lv_term a, lv_term b) {
  int64_t x = fd_small_value(a), y = fd_small_value(b);
  int64_t p;
  if (fd_mul_checked(x, y, &p) == 0 && fd_fits_small(p)) return fd_make_small(p);
  return fd_bound_infinity_of_sign((x < 0) != (y < 0));
}

inline lv_term fd_bound_mul(lv_term a, lv_term b) {
  bool ai = fd_bound_is_int(a), bi = fd_bound_is_int(b);
  if (ai && bi) return fd_bound_mul_int(a, b);
  if (ai) {
    if (a == fd_make_small(0)) return FD_BOUND_UNDEFINED;
    return static_cast<int64_t>(a) > 0 ? b : fd_bound_opposite(b);
  }
  if (bi) {
    if (b == fd_make_small(0)) return FD_BOUND_UNDEFINED;
    return static_cast<int64_t>(b) > 0 ? a : fd_bound_opposite(a);
  }
  return a == b ? FD_SUP : FD_INF;
}

namespace fd_bounds_detail {

// A quotient of two small integers as a bound (only (-2^60) / (-1) leaves
// the range).
inline lv_term quotient(int64_t q) {
  if (q > FD_SMALL_MAX) return FD_SUP;
  if (q < FD_SMALL_MIN) return FD_INF;
  return fd_make_small(q);
}

// The cases shared by both roundings; returns true with *out set when the
// operands are not two integers with a non-zero divisor.
inline bool special_division(lv_term a, lv_term b, bool up, lv_term* out) {
  bool ai = fd_bound_is_int(a), bi = fd_bound_is_int(b);
  if (ai && bi && b != fd_make_small(0)) return false;
  if (!ai) {
    // An infinity divided by an infinity is undefined; by zero it keeps its
    // sign; by a negative number it changes side.
    if (!bi) *out = FD_BOUND_UNDEFINED;
    else *out = static_cast<int64_t>(b) >= 0 ? a : fd_bound_opposite(a);
    return true;
  }
  int64_t x = fd_small_value(a);
  if (bi) {  // divisor 0
    *out = x > 0 ? FD_SUP : x < 0 ? FD_INF : FD_BOUND_UNDEFINED;
    return true;
  }
  // A finite value over an infinity: zero approached from the side of the
  // signs, then rounded.
  if (x == 0) {
    *out = fd_make_small(0);
    return true;
  }
  bool negative = (x < 0) != (b == FD_INF);
  if (up) *out = fd_make_small(negative ? 0 : 1);
  else *out = fd_make_small(negative ? -1 : 0);
  return true;
}

}  // namespace fd_bounds_detail

// a / b rounded up.
inline lv_term fd_bound_div_ceil(lv_term a, lv_term b) {
  lv_term special = FD_BOUND_UNDEFINED;
  if (fd_bounds_detail::special_division(a, b, true, &special)) return special;
  int64_t x = fd_small_value(a), y = fd_small_value(b);
  if (x == 0) return a;
  if ((x < 0) != (y < 0)) return fd_bounds_detail::quotient(x / y);
  return fd_bounds_detail::quotient(x > 0 ? (x - 1 + y) / y : (x + 1 + y) / y);
}

// a / b rounded down.
inline lv_term fd_bound_div_floor(lv_term a, lv_term b) {
  lv_term special = FD_BOUND_UNDEFINED;
  if (fd_bounds_detail::special_division(a, b, false, &special)) return special;
  int64_t x = fd_small_value(a), y = fd_small_value(b);
  if (x == 0) return a;
  if ((x < 0) == (y < 0)) return fd_bounds_detail::quotient(x / y);
  return fd_bounds_detail::quotient(x > 0 ? (x - y - 1) / y : (x - y + 1) / y);
}
