// Extended integers for the bound reasoning of the non-linear propagators:
// a finite value held exactly in 128 bits, or one of the two infinities.
// Bounds of domains are small integers (|v| <= 2^60), so a product of two
// of them, or such a product plus a few bounds, is exact here; a finite
// result beyond 2^64 in magnitude is clamped to +-2^64, which still lies
// beyond every small integer and keeps a further product or sum of small
// values exact enough to convert back (fd_xint_bound saturates to `inf` or
// `sup`). Only bounds read from domains are ever divided, never clamped
// results.
#pragma once

#include <cstdint>

#include "arith/bounds.h"
#include "kernel/terms.h"

typedef __int128 fd_xint;

constexpr fd_xint FD_XSUP = static_cast<fd_xint>(1) << 126;
constexpr fd_xint FD_XINF = -FD_XSUP;
// The magnitude that finite results are clamped to.
constexpr fd_xint FD_XBEYOND = static_cast<fd_xint>(1) << 64;

inline bool fd_xint_finite(fd_xint a) { return a > FD_XINF && a < FD_XSUP; }

inline fd_xint fd_xint_clamp(fd_xint a) {
  if (!fd_xint_finite(a)) return a;
  if (a > FD_XBEYOND) return FD_XBEYOND;
  if (a < -FD_XBEYOND) return -FD_XBEYOND;
  return a;
}

// A bound term (small integer, `inf` or `sup`) as an extended integer.
inline fd_xint fd_bound_xint(lv_term b) {
  if (fd_is_small(b)) return fd_small_value(b);
  return b == FD_INF ? FD_XINF : FD_XSUP;
}

// Back to a bound term: values beyond the small integers become `inf` or
// `sup`.
inline lv_term fd_xint_bound(fd_xint a) {
  if (a > FD_SMALL_MAX) return FD_SUP;
  if (a < FD_SMALL_MIN) return FD_INF;
  return fd_make_small(static_cast<int64_t>(a));
}

inline fd_xint fd_xint_neg(fd_xint a) { return -a; }

// a + b; an infinity wins over a finite value (the callers never add the
// two opposite infinities).
inline fd_xint fd_xint_add(fd_xint a, fd_xint b) {
  if (!fd_xint_finite(a)) return a;
  if (!fd_xint_finite(b)) return b;
  return fd_xint_clamp(a + b);
}
inline fd_xint fd_xint_sub(fd_xint a, fd_xint b) { return fd_xint_add(a, -b); }

// a * b, where a zero factor gives 0 even beside an infinity, and an
// infinity beside a non-zero value gives the infinity of the product's sign.
inline fd_xint fd_xint_mul(fd_xint a, fd_xint b) {
  if (a == 0 || b == 0) return 0;
  if (!fd_xint_finite(a) || !fd_xint_finite(b)) return (a < 0) != (b < 0) ? FD_XINF : FD_XSUP;
  return fd_xint_clamp(a * b);
}

inline fd_xint fd_xint_min(fd_xint a, fd_xint b) { return a < b ? a : b; }
inline fd_xint fd_xint_max(fd_xint a, fd_xint b) { return a < b ? b : a; }

// Rounded quotients. A finite value over an infinity is zero approached
// from the side of the signs, then rounded; an infinity over a finite
// non-zero value is the infinity of the quotient's sign. Two infinities,
// or a zero divisor, have no quotient: *defined is cleared and 0 returned.
enum fd_xint_rounding { FD_ROUND_FLOOR, FD_ROUND_CEIL, FD_ROUND_TRUNC };

inline fd_xint fd_xint_div(fd_xint a, fd_xint b, fd_xint_rounding rounding, bool* defined) {
  *defined = true;
  bool fa = fd_xint_finite(a), fb = fd_xint_finite(b);
  if (b == 0 || (!fa && !fb)) {
    *defined = false;
    return 0;
  }
  bool negative = (a < 0) != (b < 0);
  if (!fa) return negative ? FD_XINF : FD_XSUP;
  if (!fb) {
    if (a == 0) return 0;
    switch (rounding) {
      case FD_ROUND_FLOOR: return negative ? -1 : 0;
      case FD_ROUND_CEIL: return negative ? 0 : 1;
      default: return 0;
    }
  }
  fd_xint q = a / b, r = a % b;
  if (r != 0) {
    if (rounding == FD_ROUND_FLOOR && negative) q -= 1;
    if (rounding == FD_ROUND_CEIL && !negative) q += 1;
  }
  return q;
}

// Quotients of two finite values with a non-zero divisor.
inline fd_xint fd_xint_floor_div(fd_xint a, fd_xint b) {
  bool defined;
  return fd_xint_div(a, b, FD_ROUND_FLOOR, &defined);
}
inline fd_xint fd_xint_ceil_div(fd_xint a, fd_xint b) {
  bool defined;
  return fd_xint_div(a, b, FD_ROUND_CEIL, &defined);
}

// An interval of extended integers; empty when lo > hi.
struct fd_xrange {
  fd_xint lo, hi;
  bool empty() const { return lo > hi; }
};
