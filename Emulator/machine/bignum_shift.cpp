// Shifts and the highest set bit.
#include "machine/bignum.h"
#include "machine/bignum_limbs.h"

int32_t lv_bignum_shift_left(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  uint64_t n = lv_bignum_limb_count(x);
  uint64_t s = y[1];
  // Zero stays zero however far it is shifted.
  if (lv_bignum_is_zero(x)) {
    if (!lv_bignum_room(first, last, 3)) return 3;
    first[0] = LV_BOX_INT1;
    first[1] = 0;
    return 0;
  }
  uint64_t whole = s / 64;
  unsigned r = static_cast<unsigned>(s % 64);
  if (whole > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
  uint64_t limbs = n + whole + (r != 0 ? 1 : 0);
  if (limbs > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
  if (!lv_bignum_room(first, last, limbs + 2)) return static_cast<int32_t>(limbs + 2);
  for (uint64_t k = 1; k <= whole; k++) first[k] = 0;
  lv_term* out = first + whole;
  if (r == 0) {
    for (uint64_t k = 1; k <= n; k++) out[k] = x[k];
  } else {
    uint64_t below = 0;
    for (uint64_t k = 1; k <= n; k++) {
      out[k] = (x[k] << r) | (below >> (64 - r));
      below = x[k];
    }
    out[n + 1] = (below >> (64 - r)) | (lv_bignum_limb_negative(below) ? ~uint64_t{0} << r : 0);
  }
  lv_bignum_normalize_limbs(first, limbs);
  return 0;
}

int32_t lv_bignum_shift_right(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  uint64_t n = lv_bignum_limb_count(x);
  uint64_t s = y[1];
  uint64_t whole = s / 64;
  unsigned r = static_cast<unsigned>(s % 64);
  uint64_t sign = lv_bignum_sign_limb(x);
  if (whole >= n) {
    if (!lv_bignum_room(first, last, 3)) return 3;
    first[0] = LV_BOX_INT1;
    first[1] = sign;
    return 0;
  }
  uint64_t limbs = n - whole;
  if (limbs > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
  if (!lv_bignum_room(first, last, limbs + 2)) return static_cast<int32_t>(limbs + 2);
  const lv_term* in = x + whole;
  if (r == 0) {
    for (uint64_t k = 1; k <= limbs; k++) first[k] = in[k];
  } else {
    for (uint64_t k = 1; k < limbs; k++) first[k] = (in[k] >> r) | (in[k + 1] << (64 - r));
    first[limbs] = (in[limbs] >> r) | (sign << (64 - r));
  }
  lv_bignum_normalize_limbs(first, limbs);
  return 0;
}

int32_t lv_bignum_msb(const lv_term* x, const lv_term*, lv_term* first, lv_term* last) {
  uint64_t n = lv_bignum_limb_count(x);
  uint64_t top = x[n];
  if (lv_bignum_limb_negative(top) || (n == 1 && top == 0)) return LV_BIGNUM_MSB_NOT_POSITIVE;
  if (!lv_bignum_room(first, last, 3)) return 3;
  // A zero top limb stands above a limb whose top bit is set.
  uint64_t bit = top == 0 ? 64 * (n - 1) - 1 : 64 * (n - 1) + 63 - static_cast<uint64_t>(__builtin_clzll(top));
  first[0] = LV_BOX_INT1;
  first[1] = bit;
  return 0;
}
