// Conversions between floats and integer boxes.
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

double lv_bignum_to_double(const lv_term* box) {
  uint64_t n = lv_box_value_words(box[0]);
  const lv_term* limb = box + 1;
  bool negative = static_cast<int64_t>(limb[n - 1]) < 0;
  // The magnitude's limb i, read off the two's-complement limbs: below the
  // lowest non-zero limb the negation leaves zeros, at it the carry of +1
  // arrives, above it every limb is just inverted.
  uint64_t lowest = 0;
  if (negative)
    while (lowest < n && limb[lowest] == 0) lowest++;
  auto magnitude = [&](uint64_t i) -> uint64_t {
    if (!negative) return limb[i];
    if (i < lowest) return 0;
    return i == lowest ? ~limb[i] + 1 : ~limb[i];
  };
  uint64_t top = n;
  uint64_t high = 0;
  while (top > 0 && (high = magnitude(top - 1)) == 0) top--;
  if (top == 0) return 0.0;
  top--;
  // The 64 bits below the leading one, then whether anything below is set.
  int lead = __builtin_clzll(high);
  uint64_t below = top > 0 ? magnitude(top - 1) : 0;
  uint64_t bits = lead == 0 ? high : (high << lead) | (below >> (64 - lead));
  bool sticky = (lead == 0 ? below : below << lead) != 0;
  for (uint64_t i = top > 0 ? top - 1 : 0; !sticky && i-- > 0;) sticky = magnitude(i) != 0;
  // Round the 64 bits to 53 once: up past half an ulp, or on a tie to even.
  uint64_t mantissa = bits >> 11;
  uint64_t rest = bits & 0x7FF;
  if (rest > 0x400 || (rest == 0x400 && (sticky || (mantissa & 1) != 0))) mantissa++;
  int64_t exponent = 64 * static_cast<int64_t>(top) + (63 - lead) - 52;
  double result = exponent > 2000 ? INFINITY : std::ldexp(static_cast<double>(mantissa), static_cast<int>(exponent));
  return negative ? -result : result;
}
