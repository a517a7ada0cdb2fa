// Floats to integers.
#include <cmath>

#include "machine/bignum.h"
#include "text/float_parts.h"

int32_t lv_bignum_from_float(const lv_term* x, const lv_term*, lv_term* first, lv_term* last) {
  double d = lv_double_from_bits(x[1]);
  if (!std::isfinite(d)) return LV_BIGNUM_NOT_FINITE;
  int64_t room = last - first;
  if (d >= -1152921504606846976.0 && d < 1152921504606846976.0) {
    if (room < 3) return 3;
    first[0] = LV_BOX_INT1;
    first[1] = static_cast<lv_term>(static_cast<int64_t>(d));
    return 0;
  }
  int sign = 0;
  int exponent = 0;
  int bits = 0;
  uint32_t words[2] = {0, 0};
  lv_float_to_int_parts(d, &sign, &exponent, &bits, words);
  uint64_t mantissa = (static_cast<uint64_t>(words[1]) << 32) | words[0];
  // -2^(64k-1) fits k limbs exactly: only the sign bit of the top limb is set.
  if (sign && bits == 1 && exponent % 64 == 63) {
    uint64_t limbs = static_cast<uint64_t>(exponent + 1) / 64;
    if (room < static_cast<int64_t>(limbs) + 2) return static_cast<int32_t>(limbs + 2);
    first[0] = lv_box_header(limbs, false);
    for (uint64_t i = 1; i < limbs; i++) first[i] = 0;
    first[limbs] = uint64_t{1} << 63;
    return 0;
  }
  uint64_t limbs = static_cast<uint64_t>(bits + exponent) / 64 + 1;
  if (room < static_cast<int64_t>(limbs) + 2) return static_cast<int32_t>(limbs + 2);
  first[0] = lv_box_header(limbs, false);
  for (uint64_t i = 1; i <= limbs; i++) first[i] = 0;
  uint64_t at = static_cast<uint64_t>(exponent) / 64 + 1;
  unsigned shift = static_cast<unsigned>(exponent % 64);
  first[at] = mantissa << shift;
  if (shift != 0 && at + 1 <= limbs) first[at + 1] = mantissa >> (64 - shift);
  if (sign) {
    // Two's-complement negation across the limbs.
    uint64_t carry = 1;
    for (uint64_t i = 1; i <= limbs; i++) {
      uint64_t v = ~first[i] + carry;
      carry = (carry != 0 && v == 0) ? 1 : 0;
      first[i] = v;
    }
  }
  return 0;
}
