// Decimal text to floats.
#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "text/float_read.h"

namespace {

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

TEST(FloatRead, CorrectlyRounded) {
  struct {
    const char* text;
    double value;
    int read;  // characters read
  } cases[] = {
      {"0.1", 0.1, 3},
      {"1e23", 1e23, 4},
      {"  -2.5e-3x", -2.5e-3, 9},
      {"9007199254740993", 9007199254740992.0, 16},  // halfway: to the even mantissa
      {"9007199254740993.0000000000000000000001", 9007199254740994.0, 39},
      {"1.7976931348623157e308", DBL_MAX, 22},
      {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min(), 23},
      {"2.2250738585072011e-308", 2.2250738585072011e-308, 23},
      {".5", 0.5, 2},
      {"7.", 7.0, 2},
      {"1e", 1.0, 1},
      {"1e+", 1.0, 1},
      {"0x10", 0.0, 1},
      {"-0", -0.0, 2},
  };
  for (const auto& c : cases) {
    const char* end = nullptr;
    errno = 0;
    double d = lv_text_to_double(c.text, &end);
    EXPECT_EQ(bits(d), bits(c.value)) << c.text;
    EXPECT_EQ(end - c.text, c.read) << c.text;
    EXPECT_EQ(errno, 0) << c.text;
  }
}

TEST(FloatRead, NotANumber) {
  for (const char* text : {"", "inf", "nan", "-", ".", "e5", "+.e1"}) {
    const char* end = nullptr;
    EXPECT_EQ(lv_text_to_double(text, &end), 0.0) << text;
    EXPECT_EQ(end, text) << text;
  }
}

TEST(FloatRead, RangeErrors) {
  errno = 0;
  EXPECT_EQ(lv_text_to_double("1e999", nullptr), std::numeric_limits<double>::infinity());
  EXPECT_EQ(errno, ERANGE);
  errno = 0;
  double zero = lv_text_to_double("-1e-999", nullptr);
  EXPECT_EQ(zero, 0.0);
  EXPECT_TRUE(std::signbit(zero));
  EXPECT_EQ(errno, ERANGE);
  errno = 0;  // a subnormal result is no range error
  EXPECT_EQ(lv_text_to_double("1e-310", nullptr), 1e-310);
  EXPECT_EQ(errno, 0);
}

TEST(FloatRead, Specials) {
  struct {
    const char* text;
    int special;
    double value;
  } cases[] = {
      {"+inf", 1, std::numeric_limits<double>::infinity()},
      {"-inf", 1, -std::numeric_limits<double>::infinity()},
      {"-1.5", 0, -1.5},
      {"2.0e3", 0, 2000.0},
  };
  for (const auto& c : cases) {
    int special = -1;
    EXPECT_EQ(lv_float_special_from_text(c.text, &special), c.value) << c.text;
    EXPECT_EQ(special, c.special) << c.text;
  }
  int special = 0;
  double nan = lv_float_special_from_text("+nan", &special);
  EXPECT_TRUE(std::isnan(nan) && !std::signbit(nan) && special == 1);
  nan = lv_float_special_from_text("-nan", &special);
  EXPECT_TRUE(std::isnan(nan) && std::signbit(nan) && special == 1);
}

}  // namespace
