// Floats split into integer parts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "text/float_parts.h"

namespace {

TEST(FloatParts, Table) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  struct {
    double x;
    int sign, exponent, bits;
    uint64_t mantissa;
  } cases[] = {
      {5.9, 0, 0, 3, 5},
      {-5.9, 1, 0, 3, 5},
      {0.75, 0, 0, 0, 0},
      {-0.75, 0, 0, 0, 0},  // truncates to zero, which has no sign
      {0x1p60, 0, 60, 1, 1},
      {-0x1.8p62, 1, 61, 2, 3},
      {9007199254740991.0, 0, 0, 53, (uint64_t{1} << 53) - 1},
      {std::numeric_limits<double>::max(), 0, 971, 53, (uint64_t{1} << 53) - 1},
      {inf, 0, 77, 0, 0},
      {-inf, 1, 77, 0, 0},
      {-nan, 1, 77, 0, 0},
      {nan, 0, 77, 0, 0},
  };
  for (const auto& c : cases) {
    int sign = -1, exponent = 77, bits = -1;
    uint32_t words[2] = {0, 0};
    lv_float_to_int_parts(c.x, &sign, &exponent, &bits, words);
    EXPECT_EQ(sign, c.sign) << c.x;
    EXPECT_EQ(bits, c.bits) << c.x;
    EXPECT_EQ(exponent, c.exponent) << c.x;
    if (std::isfinite(c.x)) {
      EXPECT_EQ((uint64_t{words[1]} << 32) | words[0], c.mantissa) << c.x;
    }
  }
}

}  // namespace
