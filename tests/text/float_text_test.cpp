// Floats as shortest round-trip text.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "text/float_read.h"
#include "text/float_text.h"

namespace {

std::string text_of(double d) {
  char buffer[40];
  size_t n = lv_float_text(d, buffer, sizeof buffer);
  EXPECT_EQ(n, std::strlen(buffer));
  return buffer;
}

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

TEST(FloatText, HardCases) {
  struct {
    double x;
    const char* text;
  } cases[] = {
      {0.1, "0.1"},
      {1e23, "1.0e+23"},
      {DBL_MAX, "1.7976931348623157e+308"},
      {DBL_MIN, "2.2250738585072014e-308"},
      {std::numeric_limits<double>::denorm_min(), "5.0e-324"},
      {9007199254740993.0, "9007199254740992.0"},  // 2^53 + 1 is not a double
      {9007199254740991.0, "9007199254740991.0"},
      {-0.0, "-0.0"},
      {0.0, "0.0"},
      {123.0, "123.0"},
      {-2.5e-7, "-2.5e-07"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(text_of(c.x), c.text) << c.text;
}

// Random bit patterns: the text reads back as the same double and always
// has a fraction.
TEST(FloatText, RoundTripsRandomDoubles) {
  std::mt19937_64 random(31);
  for (int i = 0; i < 100000; i++) {
    uint64_t b = random();
    double x;
    std::memcpy(&x, &b, sizeof x);
    if (!std::isfinite(x)) continue;
    std::string text = text_of(x);
    const char* end = nullptr;
    ASSERT_EQ(bits(lv_text_to_double(text.c_str(), &end)), b) << text;
    ASSERT_EQ(end, text.c_str() + text.size()) << text;
    ASSERT_NE(text.find('.'), std::string::npos) << text;
  }
}

// A short buffer gets the text cut, NUL-terminated.
TEST(FloatText, ShortBuffer) {
  char buffer[4];
  EXPECT_EQ(lv_float_text(1234.5, buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "123");
  EXPECT_EQ(lv_float_text(1.0, buffer, 0), 0u);
}

}  // namespace
