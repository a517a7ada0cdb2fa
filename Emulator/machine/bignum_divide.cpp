// Division: Knuth's Algorithm D on 32-bit digits (The Art of Computer
// Programming, vol. 2, 4.3.1), and the four division kernels over it.
#include <algorithm>
#include <cstring>

#include "machine/bignum.h"
#include "machine/bignum_limbs.h"

namespace {

// The magnitude of the box x in its n limbs at out (unsigned).
void magnitude(const lv_term* x, uint64_t n, lv_term* out) {
  for (uint64_t k = 0; k < n; k++) out[k] = x[k + 1];
  if (lv_bignum_negative(x)) lv_bignum_negate_limbs(out, n);
}

uint64_t significant_digits(const lv_bignum_digit* d, uint64_t count) {
  while (count > 0 && d[count - 1] == 0) count--;
  return count;
}

// Writes the header of a non-negative box whose nd digits stand at first[1..]:
// pads them to whole limbs and adds a zero limb when the top one reads
// negative.
void finish_magnitude(lv_term* first, uint64_t nd) {
  lv_bignum_digit* out = lv_bignum_digits(first + 1);
  if (nd % 2 != 0) out[nd++] = 0;
  uint64_t n = std::max<uint64_t>(nd / 2, 1);
  if (nd == 0) first[1] = 0;
  if (lv_bignum_limb_negative(first[n])) first[++n] = 0;
  first[0] = lv_box_header(n, false);
}

// The quotient of the 128-bit number hi:lo by d, hi < d, and its remainder.
inline uint64_t divide_128(uint64_t hi, uint64_t lo, uint64_t d, uint64_t* remainder) {
  uint64_t quotient;
  asm("divq %4" : "=a"(quotient), "=d"(*remainder) : "a"(lo), "d"(hi), "rm"(d) : "cc");
  return quotient;
}

// Short division of the i digits at u by the digit d, from the top down.
// Stores the quotient digits at out unless out is null; answers the remainder.
// Works on whole limbs (two digits, the lower one first), one machine
// division each: the digits above the i-th in u's top limb are 0, and so is
// the quotient digit written there.
uint64_t short_divide(const lv_bignum_digit* u, uint64_t i, uint64_t d, lv_bignum_digit* out) {
  uint64_t remainder = 0;
  for (uint64_t k = (i + 1) / 2; k-- > 0;) {
    uint64_t limb;
    std::memcpy(&limb, u + 2 * k, sizeof limb);
    uint64_t quotient = divide_128(remainder, limb, d, &remainder);
    if (out != nullptr) std::memcpy(out + 2 * k, &quotient, sizeof quotient);
  }
  return remainder;
}

// Shifts the n digits at d left by sh (0-31) in place; answers the bits
// shifted out of the top.
uint32_t shift_digits_left(lv_bignum_digit* d, uint64_t n, unsigned sh) {
  if (sh == 0) return 0;
  uint32_t out = d[n - 1] >> (32 - sh);
  for (uint64_t t = n - 1; t > 0; t--) d[t] = (d[t] << sh) | (d[t - 1] >> (32 - sh));
  d[0] <<= sh;
  return out;
}

// The long division proper: u holds i + 1 digits (top digit included) and v
// j >= 2 digits, both shifted so that v's top bit is set. Leaves the
// remainder in u's low j digits and, unless quotient is null, the i - j + 1
// quotient digits at quotient.
void long_divide(lv_bignum_digit* u, uint64_t i, const lv_bignum_digit* v, uint64_t j, lv_bignum_digit* quotient) {
  const uint64_t D = v[j - 1];
  const uint64_t E = v[j - 2];
  for (uint64_t k = i - j + 1; k-- > 0;) {
    lv_bignum_event_check();
    lv_bignum_digit* w = u + k;
    // Estimate the quotient digit from the top two digits of the window. The
    // window's top digit never exceeds D; when it equals D the estimate is
    // the largest digit, and its remainder (top two digits) - 0xFFFFFFFF * D
    // = next digit + D, which may pass 2^32 and then ends the corrections.
    uint64_t top = w[j];
    uint64_t qhat;
    uint64_t rhat;
    if (top == D) {
      qhat = 0xFFFFFFFF;
      rhat = static_cast<uint64_t>(w[j - 1]) + D;
    } else {
      uint64_t num = (top << 32) | w[j - 1];
      qhat = num / D;
      rhat = num % D;
    }
    while (rhat <= 0xFFFFFFFF && qhat * E > ((rhat << 32) | w[j - 2])) {
      qhat--;
      rhat += D;
    }
    // Multiply and subtract; the estimate is at most one too large now.
    uint64_t carry = 0;
    int64_t borrow = 0;
    for (uint64_t t = 0; t < j; t++) {
      uint64_t product = qhat * v[t] + carry;
      carry = product >> 32;
      int64_t diff = static_cast<int64_t>(w[t]) - static_cast<int64_t>(product & 0xFFFFFFFF) + borrow;
      w[t] = static_cast<uint32_t>(diff);
      borrow = diff >> 32;
    }
    int64_t diff = static_cast<int64_t>(w[j]) - static_cast<int64_t>(carry) + borrow;
    w[j] = static_cast<uint32_t>(diff);
    if (diff < 0) {
      qhat--;
      uint64_t c = 0;
      for (uint64_t t = 0; t < j; t++) {
        uint64_t sum = static_cast<uint64_t>(w[t]) + v[t] + c;
        w[t] = static_cast<uint32_t>(sum);
        c = sum >> 32;
      }
      w[j] = static_cast<uint32_t>(w[j] + c);
    }
    if (quotient != nullptr) quotient[k] = static_cast<uint32_t>(qhat);
  }
}

}  // namespace

// Region layout: the result box (header, up to max(p, q) + 2 limbs, the
// trailer's slot), then the dividend's magnitude (p + 1 limbs: one spare
// digit for the normalising shift), then the divisor's magnitude (q limbs).
// A divisor longer than p + 1 limbs is larger than any p-limb dividend and
// needs no copy, which keeps the layout within 5p + q + 6 words.
int32_t lv_bignum_divide(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last, int* zero_remainder,
                         int mode) {
  if (lv_bignum_is_zero(y)) return LV_BIGNUM_DIVISION_BY_ZERO;
  uint64_t p = lv_bignum_limb_count(x);
  uint64_t q = lv_bignum_limb_count(y);
  if (5 * p + q + 3 > (uint64_t{1} << 31) - 4) return LV_BIGNUM_TOO_LARGE;
  uint64_t words = 5 * p + q + 6;
  if (!lv_bignum_room(first, last, words)) return static_cast<int32_t>(words);
  bool want_quotient = mode == LV_DIVIDE_QUOTIENT || mode == LV_DIVIDE_QUOTIENT_FLAG;

  lv_term* u_limbs = first + std::max(p, q) + 4;
  magnitude(x, p, u_limbs);
  u_limbs[p] = 0;
  lv_bignum_digit* u = lv_bignum_digits(u_limbs);
  uint64_t i = significant_digits(u, 2 * p);
  lv_bignum_digit* v = nullptr;
  uint64_t j = UINT64_MAX;
  if (q <= p + 1) {
    lv_term* v_limbs = u_limbs + p + 1;
    magnitude(y, q, v_limbs);
    v = lv_bignum_digits(v_limbs);
    j = significant_digits(v, 2 * q);
  }
  lv_bignum_digit* out = lv_bignum_digits(first + 1);

  if (i < j) {
    // |x| < |y|: the quotient is 0 and the remainder |x|.
    if (want_quotient) {
      first[0] = LV_BOX_INT1;
      first[1] = 0;
      if (mode == LV_DIVIDE_QUOTIENT_FLAG) *zero_remainder = i == 0 ? 1 : 0;
    } else {
      for (uint64_t t = 0; t < i; t++) out[t] = u[t];
      finish_magnitude(first, i);
    }
    return 0;
  }

  if (j == 1) {
    uint64_t remainder = short_divide(u, i, v[0], want_quotient ? out : nullptr);
    if (want_quotient) {
      // A zero top digit leaves room for the floor quotient's carry.
      out[i] = 0;
      finish_magnitude(first, i + 1);
      if (mode == LV_DIVIDE_QUOTIENT_FLAG) *zero_remainder = remainder == 0 ? 1 : 0;
    } else {
      first[0] = LV_BOX_INT1;
      first[1] = remainder;
    }
    return 0;
  }

  unsigned sh = static_cast<unsigned>(__builtin_clz(v[j - 1]));
  shift_digits_left(v, j, sh);
  u[i] = shift_digits_left(u, i, sh);
  long_divide(u, i, v, j, want_quotient ? out : nullptr);
  if (want_quotient) {
    out[i - j + 1] = 0;
    finish_magnitude(first, i - j + 2);
    if (mode == LV_DIVIDE_QUOTIENT_FLAG) *zero_remainder = significant_digits(u, j) == 0 ? 1 : 0;
  } else {
    for (uint64_t t = 0; t + 1 < j; t++) out[t] = sh == 0 ? u[t] : (u[t] >> sh) | (u[t + 1] << (32 - sh));
    out[j - 1] = u[j - 1] >> sh;
    finish_magnitude(first, j);
  }
  return 0;
}

namespace {

enum class division { quotient, floor_quotient, remainder, modulo };

int32_t divide(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last, division op) {
  bool wants_quotient = op == division::quotient || op == division::floor_quotient;
  if (x == y) {
    // The driver pushes equal small operands once, so 0 can meet itself here.
    if (lv_bignum_is_zero(x)) return LV_BIGNUM_DIVISION_BY_ZERO;
    if (!lv_bignum_room(first, last, 3)) return 3;
    first[0] = LV_BOX_INT1;
    first[1] = wants_quotient ? 1 : 0;
    return 0;
  }
  int mode = op == division::quotient         ? LV_DIVIDE_QUOTIENT
             : op == division::floor_quotient ? LV_DIVIDE_QUOTIENT_FLAG
             : op == division::remainder      ? LV_DIVIDE_REMAINDER
                                              : LV_DIVIDE_MODULO;
  int zero_remainder = 0;
  int32_t c = lv_bignum_divide(x, y, first, last, &zero_remainder, mode);
  if (c != 0) return c;
  bool x_negative = lv_bignum_negative(x);
  bool y_negative = lv_bignum_negative(y);
  uint64_t n = lv_bignum_limb_count(first);
  lv_term* limbs = first + 1;
  switch (op) {
    case division::quotient:
      if (x_negative != y_negative) lv_bignum_negate_limbs(limbs, n);
      break;
    case division::floor_quotient:
      if (x_negative != y_negative) {
        // The quotient's top limb is below 2^32, so the carry stays inside.
        if (!zero_remainder) {
          for (uint64_t k = 0; k < n && ++limbs[k] == 0; k++) {
          }
        }
        lv_bignum_negate_limbs(limbs, n);
      }
      break;
    case division::remainder:
      if (x_negative) lv_bignum_negate_limbs(limbs, n);
      break;
    case division::modulo:
      lv_bignum_normalize_limbs(first, n);
      if (lv_bignum_is_zero(first)) return 0;
      if (x_negative && !y_negative) return lv_bignum_subtract(y, first, first, last);  // y - r
      if (!x_negative && y_negative) return lv_bignum_add(y, first, first, last);       // y + r
      if (x_negative) lv_bignum_negate_limbs(limbs, lv_bignum_limb_count(first));      // -r
      n = lv_bignum_limb_count(first);
      break;
  }
  lv_bignum_normalize_limbs(first, n);
  return 0;
}

}  // namespace

int32_t lv_bignum_quotient(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return divide(x, y, first, last, division::quotient);
}

int32_t lv_bignum_floor_quotient(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return divide(x, y, first, last, division::floor_quotient);
}

int32_t lv_bignum_remainder(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return divide(x, y, first, last, division::remainder);
}

int32_t lv_bignum_modulo(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return divide(x, y, first, last, division::modulo);
}
