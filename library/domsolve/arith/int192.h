// Signed 192-bit integers for the sums of the linear propagators: three
// 64-bit words, most significant first (a signed top word, then two
// unsigned ones), two's complement over all 192 bits. A term of a summand
// is a coefficient times a bound, at most 2^120 in magnitude; an infinite
// bound stands as +-2^180, far beyond any finite sum yet with room for two
// thousand of them before the 192 bits are reached, so that infinities
// cancel exactly and never mix with finite parts.
#pragma once

#include <cstdint>

#include "kernel/terms.h"

struct fd_int192 {
  int64_t hi;
  uint64_t mid;
  uint64_t lo;
};

namespace fd_int192_ops {

typedef unsigned __int128 u128;

inline fd_int192 from_i128(__int128 v) {
  u128 u = static_cast<u128>(v);
  return {v < 0 ? -1 : 0, static_cast<uint64_t>(u >> 64), static_cast<uint64_t>(u)};
}
inline fd_int192 from_i64(int64_t v) { return from_i128(v); }

// The infinite term: +-2^180 (2^52 in the top word).
constexpr int64_t INFINITY_TOP = int64_t{1} << 52;
inline fd_int192 infinity(bool positive) {
  return positive ? fd_int192{INFINITY_TOP, 0, 0} : fd_int192{-INFINITY_TOP, 0, 0};
}

inline bool is_negative(const fd_int192& a) { return a.hi < 0; }
inline bool is_zero(const fd_int192& a) { return a.hi == 0 && a.mid == 0 && a.lo == 0; }
inline int compare(const fd_int192& a, const fd_int192& b) {
  if (a.hi != b.hi) return a.hi < b.hi ? -1 : 1;
  if (a.mid != b.mid) return a.mid < b.mid ? -1 : 1;
  if (a.lo != b.lo) return a.lo < b.lo ? -1 : 1;
  return 0;
}
inline int sign(const fd_int192& a) { return is_negative(a) ? -1 : is_zero(a) ? 0 : 1; }

// Addition and subtraction; *overflow is set to 1 (the first operand was
// negative) or 2 when the result left the 192 bits.
inline fd_int192 add(const fd_int192& a, const fd_int192& b, int* overflow) {
  u128 low = static_cast<u128>(a.lo) + b.lo;
  u128 mid = static_cast<u128>(a.mid) + b.mid + static_cast<uint64_t>(low >> 64);
  uint64_t hi = static_cast<uint64_t>(a.hi) + static_cast<uint64_t>(b.hi) + static_cast<uint64_t>(mid >> 64);
  fd_int192 r{static_cast<int64_t>(hi), static_cast<uint64_t>(mid), static_cast<uint64_t>(low)};
  if ((a.hi < 0) == (b.hi < 0) && (r.hi < 0) != (a.hi < 0)) *overflow = a.hi < 0 ? 1 : 2;
  return r;
}
inline fd_int192 negate(const fd_int192& a) {
  int unused = 0;
  return add({~a.hi, ~a.mid, ~a.lo}, {0, 0, 1}, &unused);
}
inline fd_int192 sub(const fd_int192& a, const fd_int192& b, int* overflow) {
  int unused = 0;
  fd_int192 nb = negate(b);
  fd_int192 r = add(a, nb, &unused);
  if ((a.hi < 0) != (b.hi < 0) && (r.hi < 0) != (a.hi < 0)) *overflow = a.hi < 0 ? 1 : 2;
  return r;
}

// The coefficient a times a bound term: +-2^180 for an infinite bound
// (the sign of a times that of the infinity; a <= 0 counts as negative),
// else the exact product.
inline fd_int192 term_product(int64_t a, lv_term bound) {
  if (bound == FD_INF) return infinity(a <= 0);
  if (bound == FD_SUP) return infinity(a > 0);
  return from_i128(static_cast<__int128>(a) * fd_small_value(bound));
}

// The magnitude's division by d > 0: quotient and remainder.
inline fd_int192 divide_magnitude(const fd_int192& x, uint64_t d, uint64_t* remainder) {
  u128 r = 0;
  uint64_t words[3] = {static_cast<uint64_t>(x.hi), x.mid, x.lo};
  uint64_t q[3];
  for (int i = 0; i < 3; i++) {
    u128 cur = (r << 64) | words[i];
    q[i] = static_cast<uint64_t>(cur / d);
    r = cur % d;
  }
  *remainder = static_cast<uint64_t>(r);
  return {static_cast<int64_t>(q[0]), q[1], q[2]};
}
inline uint64_t magnitude_of(int64_t d) { return d < 0 ? 0 - static_cast<uint64_t>(d) : static_cast<uint64_t>(d); }

// x / d (d != 0) rounded toward zero, down or up.
enum rounding { TRUNCATE, FLOOR, CEIL };
inline fd_int192 divide(const fd_int192& x, int64_t d, rounding mode) {
  bool negative = is_negative(x);
  fd_int192 m = negative ? negate(x) : x;
  uint64_t remainder;
  fd_int192 q = divide_magnitude(m, magnitude_of(d), &remainder);
  bool quotient_negative = negative != (d < 0);
  int unused = 0;
  // Rounding away from zero: down for a negative quotient, up for a
  // positive one, when something remained.
  if (remainder != 0 && ((mode == FLOOR && quotient_negative) || (mode == CEIL && !quotient_negative)))
    q = add(q, {0, 0, 1}, &unused);
  return quotient_negative ? negate(q) : q;
}
// x mod d for d > 0, in 0..d-1.
inline uint64_t mod(const fd_int192& x, uint64_t d) {
  bool negative = is_negative(x);
  uint64_t remainder;
  divide_magnitude(negative ? negate(x) : x, d, &remainder);
  return negative && remainder != 0 ? d - remainder : remainder;
}

// An integer term: a small integer, or a boxed one of one limb (the value)
// or more, least significant first, two's complement (one of more than two
// limbs, beyond every sum these numbers hold, stands as +-2^150); false for
// anything else.
inline bool from_term(lv_term t, fd_int192* out) {
  t = fd_deref(t);
  if (fd_is_small(t)) {
    *out = from_i64(fd_small_value(t));
    return true;
  }
  if (!fd_is_struct(t)) return false;
  const lv_term* cells = fd_struct_cells(t);
  int64_t header = static_cast<int64_t>(cells[0]);
  if (header >= 0 || (header & 8) != 0) return false;  // no box, or a float
  uint64_t limbs = static_cast<uint64_t>(~(header >> 4));
  if (limbs == 1) {
    *out = from_i64(static_cast<int64_t>(cells[1]));
  } else if (limbs == 2) {
    *out = {static_cast<int64_t>(cells[2]) < 0 ? -1 : 0, cells[2], cells[1]};
  } else if (limbs > 2) {
    bool negative = static_cast<int64_t>(cells[limbs]) < 0;
    *out = negative ? fd_int192{-(int64_t{1} << 22), 0, 0} : fd_int192{int64_t{1} << 22, 0, 0};
  } else {
    return false;
  }
  return true;
}

// Whether x is a small integer, and its value.
inline bool to_small(const fd_int192& x, int64_t* out) {
  bool fits = (x.hi == 0 && x.mid == 0 && x.lo <= static_cast<uint64_t>(FD_SMALL_MAX)) ||
              (x.hi == -1 && x.mid == ~uint64_t{0} && static_cast<int64_t>(x.lo) < 0 &&
               static_cast<int64_t>(x.lo) >= FD_SMALL_MIN);
  if (fits) *out = static_cast<int64_t>(x.lo);
  return fits;
}

}  // namespace fd_int192_ops
