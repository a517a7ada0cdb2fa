// Evaluable functions of integers: the divisions, the bitwise operations and
// shifts, msb, gcd and the integer power. A float operand raises 1025.
// Operands that fit 64 bits are worked on inline (in 128 bits where a result
// may not fit); others by the big-integer kernels.
#include "machine/arith.h"
#include "machine/bignum.h"
#include "machine/eval_support.h"

using namespace lv_eval;

namespace {

template <typename Op>
lv_term divide(lv_worker* w, lv_term x, lv_term y, const char* name, lv_bignum_kernel k, Op op) {
  if (!integers_or_raise(w, name, 2, x, y)) return 0;
  int64_t a, b;
  if (int64_of(x, &a) && int64_of(y, &b)) {
    if (b == 0) return raise_operand(w, LV_ERROR_ZERO_DIVISOR, 1, name, 2, x, y);
    return int_result(w, op(static_cast<__int128>(a), static_cast<__int128>(b)));
  }
  return kernel(w, k, x, y, name, 2);
}

template <typename Op>
lv_term bitwise(lv_worker* w, lv_term x, lv_term y, const char* name, lv_bignum_kernel k, Op op) {
  if (!integers_or_raise(w, name, 2, x, y)) return 0;
  int64_t a, b;
  if (int64_of(x, &a) && int64_of(y, &b)) return int_result(w, op(a, b));
  return kernel(w, k, x, y, name, 2);
}

// x shifted by count >= 1 bits, toward growth or not. Zero stays zero
// however far it is shifted.
lv_term shift_by(lv_worker* w, lv_term x, uint64_t count, bool grow, lv_term original_count, const char* name) {
  int64_t a;
  if (int64_of(x, &a)) {
    if (!grow) return int_result(w, count >= 64 ? (a < 0 ? -1 : 0) : a >> count);
    if (a == 0) return lv_make_small(0);
    if (count < 64) return int_result(w, static_cast<__int128>(a) << count);
  }
  int32_t status = 0;
  lv_term r = lv_bignum_apply(w, grow ? lv_bignum_shift_left : lv_bignum_shift_right, x,
                              lv_numstack_push_int(w, static_cast<int64_t>(count)), &status);
  if (r == 0) return raise_kernel(w, status, name, 2, x, original_count);
  return r;
}

// x << n (left) or x >> n. A count beyond 64 bits is a shift by more than
// any number has bits: toward growth it cannot be done (265 with the count,
// unless x is 0); the other way it leaves the sign.
lv_term shift(lv_worker* w, lv_term x, lv_term n, bool left, const char* name) {
  if (!integers_or_raise(w, name, 2, x, n)) return 0;
  int64_t c;
  if (int64_of(n, &c) && c != INT64_MIN) {
    if (c == 0) return x;
    uint64_t count = c > 0 ? static_cast<uint64_t>(c) : static_cast<uint64_t>(-c);
    return shift_by(w, x, count, (c > 0) == left, n, name);
  }
  int sx = sign_of(x);
  if (sx == 0) return lv_make_small(0);
  bool grow = (sign_of(n) >= 0) == left;
  if (grow) return raise_operand(w, LV_ERROR_TOO_LARGE, 1, name, 2, x, n);
  return lv_make_small(sx < 0 ? -1 : 0);
}

uint64_t euclid(uint64_t a, uint64_t b) {
  while (b != 0) {
    uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

uint64_t magnitude(int64_t a) { return a < 0 ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a); }

// Bit i of a non-negative integer.
bool bit_of(lv_term n, uint64_t i) {
  lv_term scratch;
  const lv_term* l;
  uint64_t count = limbs_of(n, &scratch, &l);
  return i / 64 < count && ((l[i / 64] >> (i % 64)) & 1) != 0;
}

// A product for the power loop: 64-bit factors inline.
lv_term multiply(lv_worker* w, lv_term a, lv_term b, int32_t* status) {
  int64_t x, y;
  if (int64_of(a, &x) && int64_of(b, &y)) return int_result(w, static_cast<__int128>(x) * y);
  return lv_bignum_apply(w, lv_bignum_multiply, a, b, status);
}

}  // namespace

lv_term lv_arith_intdiv(lv_worker* w, lv_term x, lv_term y) {
  return divide(w, x, y, "//", lv_bignum_quotient, [](__int128 a, __int128 b) { return a / b; });
}

lv_term lv_arith_floordiv(lv_worker* w, lv_term x, lv_term y) {
  return divide(w, x, y, "div", lv_bignum_floor_quotient, [](__int128 a, __int128 b) {
    __int128 q = a / b;
    return a % b != 0 && (a < 0) != (b < 0) ? q - 1 : q;
  });
}

lv_term lv_arith_mod(lv_worker* w, lv_term x, lv_term y) {
  return divide(w, x, y, "mod", lv_bignum_modulo, [](__int128 a, __int128 b) {
    __int128 r = a % b;
    return r != 0 && (r < 0) != (b < 0) ? r + b : r;
  });
}

lv_term lv_arith_rem(lv_worker* w, lv_term x, lv_term y) {
  return divide(w, x, y, "rem", lv_bignum_remainder, [](__int128 a, __int128 b) { return a % b; });
}

lv_term lv_arith_bitnot(lv_worker* w, lv_term x) {
  if (!integers_or_raise(w, "\\", 1, x, x)) return 0;
  int64_t a;
  if (int64_of(x, &a)) return int_result(w, ~a);
  return kernel(w, lv_bignum_not, x, x, "\\", 1);
}

lv_term lv_arith_and(lv_worker* w, lv_term x, lv_term y) {
  return bitwise(w, x, y, "/\\", lv_bignum_and, [](int64_t a, int64_t b) { return a & b; });
}
lv_term lv_arith_or(lv_worker* w, lv_term x, lv_term y) {
  return bitwise(w, x, y, "\\/", lv_bignum_or, [](int64_t a, int64_t b) { return a | b; });
}
lv_term lv_arith_xor(lv_worker* w, lv_term x, lv_term y) {
  return bitwise(w, x, y, "xor", lv_bignum_xor, [](int64_t a, int64_t b) { return a ^ b; });
}

lv_term lv_arith_shl(lv_worker* w, lv_term x, lv_term n) { return shift(w, x, n, true, "<<"); }
lv_term lv_arith_shr(lv_worker* w, lv_term x, lv_term n) { return shift(w, x, n, false, ">>"); }

lv_term lv_arith_msb(lv_worker* w, lv_term x) {
  if (!integers_or_raise(w, "msb", 1, x, x)) return 0;
  int64_t a;
  if (int64_of(x, &a)) {
    if (a > 0) return lv_make_small(63 - __builtin_clzll(static_cast<uint64_t>(a)));
    return raise_operand(w, LV_ERROR_UNDEFINED, 0, "msb", 1, x, x);
  }
  return kernel(w, lv_bignum_msb, x, x, "msb", 1);
}

// The Euclidean algorithm on the magnitudes: inline while both fit 64 bits,
// else by the remainder kernel.
lv_term lv_arith_gcd(lv_worker* w, lv_term x, lv_term y) {
  if (!integers_or_raise(w, "gcd", 2, x, y)) return 0;
  lv_term p = x, q = y;
  int32_t status = 0;
  if (sign_of(p) < 0 && (p = lv_bignum_apply(w, lv_bignum_negate, p, p, &status)) == 0) return raise_kernel(w, status, "gcd", 2, x, y);
  if (sign_of(q) < 0 && (q = lv_bignum_apply(w, lv_bignum_negate, q, q, &status)) == 0) return raise_kernel(w, status, "gcd", 2, x, y);
  for (;;) {
    if (sign_of(q) == 0) return p;
    int64_t a, b;
    if (int64_of(p, &a) && int64_of(q, &b)) return int_result(w, euclid(magnitude(a), magnitude(b)));
    lv_term r = lv_bignum_apply(w, lv_bignum_remainder, p, q, &status);
    if (r == 0) return raise_kernel(w, status, "gcd", 2, x, y);
    p = q;
    q = r;
  }
}

// X ^ N of integers by squaring and multiplying over the bits of N. A
// refusal of the kernels raises its code with N as the culprit.
lv_term lv_arith_power(lv_worker* w, lv_term x, lv_term n) {
  if (is_float(x) || is_float(n)) return float_caret(w, x, n);
  int sn = sign_of(n);
  if (sign_of(x) == 0 && sn < 0) return raise_operand(w, LV_ERROR_UNDEFINED, 1, "^", 2, x, n);
  int64_t nv = 0, xv = 0;
  bool n64 = int64_of(n, &nv), x64 = int64_of(x, &xv);
  if (n64 && nv == 1) return x;
  if (n64 && nv == 0) return lv_make_small(1);
  if (x64 && (xv == 0 || xv == 1)) return lv_make_small(xv);
  if (x64 && xv == -1) return lv_make_small(bit_of(n, 0) ? -1 : 1);
  if (sn < 0) return raise_operand(w, LV_ERROR_NOT_FLOAT, 0, "^", 2, x, n);

  // |X| >= 2 and N >= 2: the result has more than msb(|X|) * N bits. Refuse
  // at once what no box can hold rather than square up to the limit.
  constexpr __int128 MAX_BITS = static_cast<__int128>(LV_BIGNUM_MAX_LIMBS) * 64;
  __int128 low_bits = x64 ? 63 - __builtin_clzll(magnitude(xv)) : 63;
  if (!n64 || low_bits * nv > MAX_BITS) return raise_operand(w, LV_ERROR_TOO_LARGE, 1, "^", 2, x, n);

  int32_t status = 0;
  lv_term r = x;
  for (int i = 62 - __builtin_clzll(static_cast<uint64_t>(nv)); i >= 0; i--) {
    if ((r = multiply(w, r, r, &status)) == 0) break;
    if (((nv >> i) & 1) != 0 && (r = multiply(w, x, r, &status)) == 0) break;
  }
  if (r == 0) return raise_operand(w, static_cast<int32_t>(static_cast<uint32_t>(-status) & 0xFFFF), 1, "^", 2, x, n);
  return r;
}
