// Splitting floats into their integer parts.
#include "text/float_parts.h"

#include <cmath>

void lv_float_to_int_parts(double x, int* sign, int* exponent, int* bits, uint32_t words[2]) {
  if (!std::isfinite(x)) {
    *sign = std::signbit(x) ? 1 : 0;
    *bits = 0;
    return;
  }
  double t = std::trunc(x);
  *sign = t < 0 ? 1 : 0;
  if (t == 0) {
    *exponent = 0;
    *bits = 0;
    words[0] = words[1] = 0;
    return;
  }
  int e2 = 0;
  double fraction = std::frexp(std::fabs(t), &e2);  // |t| = fraction * 2^e2, 0.5 <= fraction < 1
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  int exponent2 = e2 - 53;
  // Drop trailing zero bits so that the mantissa is odd.
  while ((mantissa & 1) == 0) {
    mantissa >>= 1;
    exponent2++;
  }
  *exponent = exponent2;
  *bits = 64 - __builtin_clzll(mantissa);
  words[0] = static_cast<uint32_t>(mantissa);
  words[1] = static_cast<uint32_t>(mantissa >> 32);
}
