// Multiplication: schoolbook on 32-bit digits.
#include <utility>

#include "machine/bignum.h"
#include "machine/bignum_limbs.h"

void lv_bignum_multiply_magnitudes(const lv_term* a, uint64_t na, const lv_term* b, uint64_t nb, lv_term* result) {
  lv_term* r = result + 1;
  for (uint64_t k = 0; k < na + nb; k++) r[k] = 0;
  if (na > nb) {
    std::swap(a, b);
    std::swap(na, nb);
  }
  const lv_bignum_digit* outer = lv_bignum_digits(a);
  const lv_bignum_digit* inner = lv_bignum_digits(b);
  lv_bignum_digit* out = lv_bignum_digits(r);
  uint64_t outer_digits = 2 * na;
  uint64_t inner_digits = 2 * nb;
  while (inner_digits > 0 && inner[inner_digits - 1] == 0) inner_digits--;
  for (uint64_t i = 0; i < outer_digits; i++) {
    uint64_t d = outer[i];
    if (d == 0) continue;
    lv_bignum_event_check();
    lv_bignum_digit* row = out + i;
    uint64_t carry = 0;
    // d * digit + row digit + carry < 2^64 for 32-bit values.
    for (uint64_t j = 0; j < inner_digits; j++) {
      uint64_t t = d * inner[j] + row[j] + carry;
      row[j] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    row[inner_digits] = static_cast<uint32_t>(carry);
  }
}

int32_t lv_bignum_multiply(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  uint64_t p = lv_bignum_limb_count(x);
  uint64_t q = lv_bignum_limb_count(y);
  bool same = x == y;
  uint64_t words;
  if (same) {
    if (3 * p > (uint64_t{1} << 31) - 5) return LV_BIGNUM_TOO_LARGE;
    words = 3 * (p + 1);
  } else {
    if (2 * (p + q) > (uint64_t{1} << 31) - 6) return LV_BIGNUM_TOO_LARGE;
    words = 2 * (p + q) + 4;
  }
  if (!lv_bignum_room(first, last, words)) return static_cast<int32_t>(words);
  // Negative operands are copied behind the result (header, p + q limbs and
  // the trailer's slot) and negated there; their magnitudes then fit their
  // limbs as unsigned numbers.
  bool x_negative = lv_bignum_negative(x);
  bool y_negative = lv_bignum_negative(y);
  lv_term* scratch = first + p + q + 2;
  const lv_term* a = x;
  if (x_negative) {
    lv_bignum_copy(x, scratch);
    lv_bignum_negate_in_place(scratch);
    a = scratch;
    scratch += p + 1;
  }
  const lv_term* b = y;
  if (same) {
    b = a;
  } else if (y_negative) {
    lv_bignum_copy(y, scratch);
    lv_bignum_negate_in_place(scratch);
    b = scratch;
  }
  lv_bignum_multiply_magnitudes(a + 1, p, b + 1, q, first);
  // The magnitude is at most 2^(64(p+q)-2), so p + q limbs hold the signed
  // product.
  if (x_negative != y_negative) lv_bignum_negate_limbs(first + 1, p + q);
  lv_bignum_normalize_limbs(first, p + q);
  return 0;
}
