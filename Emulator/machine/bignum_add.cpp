// Addition, subtraction and negation.
#include <x86intrin.h>

#include <algorithm>

#include "machine/bignum.h"
#include "machine/bignum_limbs.h"

namespace {

// x + y, or x - y as x + ~y + 1. The operands are extended with their sign
// limbs to b + 1 limbs (b the longer length), which always hold the exact
// sum. Every input limb is read before the output limb of the same index is
// written, so the output may start at y itself.
int32_t add_or_subtract(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last, bool subtract) {
  uint64_t p = lv_bignum_limb_count(x);
  uint64_t q = lv_bignum_limb_count(y);
  uint64_t b = std::max(p, q);
  if (b > LV_BIGNUM_MAX_LIMBS - 1) return LV_BIGNUM_TOO_LARGE;
  if (!lv_bignum_room(first, last, b + 3)) return static_cast<int32_t>(b + 3);
  uint64_t flip = subtract ? ~uint64_t{0} : 0;
  uint64_t x_sign = lv_bignum_sign_limb(x);
  uint64_t y_sign = lv_bignum_sign_limb(y) ^ flip;
  unsigned char carry = subtract ? 1 : 0;
  // The limbs both have, then the longer one's against the other's sign.
  uint64_t both = std::min(p, q);
  unsigned long long sum;
  for (uint64_t k = 1; k <= both; k++) {
    carry = _addcarry_u64(carry, x[k], y[k] ^ flip, &sum);
    first[k] = sum;
  }
  for (uint64_t k = both + 1; k <= b; k++) {
    carry = _addcarry_u64(carry, k <= p ? x[k] : x_sign, k <= q ? y[k] ^ flip : y_sign, &sum);
    first[k] = sum;
  }
  first[b + 1] = x_sign + y_sign + carry;
  lv_bignum_normalize_limbs(first, b + 1);
  return 0;
}

}  // namespace

int32_t lv_bignum_add(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return add_or_subtract(x, y, first, last, false);
}

int32_t lv_bignum_subtract(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return add_or_subtract(x, y, first, last, true);
}

int32_t lv_bignum_negate(const lv_term* x, const lv_term*, lv_term* first, lv_term* last) {
  uint64_t n = lv_bignum_limb_count(x);
  bool negative = lv_bignum_negative(x);
  // A negative x gets a limb of -1 first, so that -(-2^(64n-1)) fits.
  uint64_t limbs = negative ? n + 1 : n;
  if (limbs > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
  if (!lv_bignum_room(first, last, limbs + 2)) return static_cast<int32_t>(limbs + 2);
  for (uint64_t k = 1; k <= n; k++) first[k] = x[k];
  if (negative) first[n + 1] = ~uint64_t{0};
  lv_bignum_negate_limbs(first + 1, limbs);
  lv_bignum_normalize_limbs(first, limbs);
  return 0;
}
