// Bitwise and, or, exclusive or and complement.
#include <algorithm>

#include "machine/bignum.h"
#include "machine/bignum_limbs.h"

namespace {

// Combines the limbs up to the shorter length, then the longer operand's
// remaining limbs with the shorter operand's sign limb.
template <typename Op>
int32_t combine(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last, Op op) {
  uint64_t p = lv_bignum_limb_count(x);
  uint64_t q = lv_bignum_limb_count(y);
  if (p < q) {
    std::swap(x, y);
    std::swap(p, q);
  }
  if (p > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
  if (!lv_bignum_room(first, last, p + 2)) return static_cast<int32_t>(p + 2);
  uint64_t y_sign = lv_bignum_sign_limb(y);
  uint64_t k = 1;
  for (; k <= q; k++) first[k] = op(x[k], y[k]);
  for (; k <= p; k++) first[k] = op(x[k], y_sign);
  lv_bignum_normalize_limbs(first, p);
  return 0;
}

}  // namespace

int32_t lv_bignum_and(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return combine(x, y, first, last, [](uint64_t a, uint64_t b) { return a & b; });
}

int32_t lv_bignum_or(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return combine(x, y, first, last, [](uint64_t a, uint64_t b) { return a | b; });
}

int32_t lv_bignum_xor(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  return combine(x, y, first, last, [](uint64_t a, uint64_t b) { return a ^ b; });
}

// The complement of a normal box is normal with the same length.
int32_t lv_bignum_not(const lv_term* x, const lv_term*, lv_term* first, lv_term* last) {
  uint64_t n = lv_bignum_limb_count(x);
  if (n > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
  if (!lv_bignum_room(first, last, n + 2)) return static_cast<int32_t>(n + 2);
  first[0] = x[0];
  for (uint64_t k = 1; k <= n; k++) first[k] = ~x[k];
  return 0;
}
