// Predicates, comparison and in-place operations on integer boxes.
#include <cstring>

#include "machine/bignum.h"
#include "machine/bignum_limbs.h"

int lv_bignum_nonnegative(const lv_term* x) { return lv_bignum_negative(x) ? 0 : 1; }

int lv_bignum_fits_uint64(const lv_term* x) {
  uint64_t n = lv_bignum_limb_count(x);
  if (n == 1) return lv_bignum_limb_negative(x[1]) ? 0 : 1;
  return n == 2 && x[2] == 0 ? 1 : 0;
}

int lv_bignum_compare(const lv_term* x, const lv_term* y) {
  bool x_negative = lv_bignum_negative(x);
  if (x_negative != lv_bignum_negative(y)) return x_negative ? -1 : 1;
  uint64_t p = lv_bignum_limb_count(x);
  uint64_t q = lv_bignum_limb_count(y);
  // Normal boxes of one sign: more limbs means a larger magnitude.
  if (p != q) return (p > q) != x_negative ? 1 : -1;
  for (uint64_t k = p; k >= 1; k--) {
    if (x[k] != y[k]) return x[k] < y[k] ? -1 : 1;
  }
  return 0;
}

void lv_bignum_copy(const lv_term* x, lv_term* destination) {
  std::memmove(destination, x, (lv_bignum_limb_count(x) + 1) * sizeof(lv_term));
}

void lv_bignum_negate_in_place(lv_term* x) { lv_bignum_negate_limbs(x + 1, lv_bignum_limb_count(x)); }

void lv_bignum_normalize(lv_term* x) { lv_bignum_normalize_limbs(x, lv_bignum_limb_count(x)); }

lv_term lv_bignum_result_term(lv_term* first, lv_term** end) {
  uint64_t n = lv_bignum_limb_count(first);
  int64_t value = static_cast<int64_t>(first[1]);
  if (n == 1 && lv_fits_small(value)) {
    *end = first;
    return lv_make_small(value);
  }
  first[n + 1] = first[0];
  *end = first + n + 2;
  return lv_make_struct(first);
}
