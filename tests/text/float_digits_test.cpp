// Floats as digit strings: shortest round trips and rounded modes.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "text/float_digits.h"
#include "text/float_read.h"

namespace {

struct digits {
  std::string text;
  int decpt;
  int sign;
};

digits to_digits(double x, int mode, int ndigits) {
  char buffer[LV_DIGITS_BUFFER_SIZE];
  digits d{};
  lv_double_to_digits(x, mode, ndigits, &d.decpt, &d.sign, buffer, sizeof buffer);
  d.text = buffer;
  return d;
}

// The digits read back: "0.<digits>e<decpt>".
double read_back(const digits& d) {
  std::string text = (d.sign ? "-0." : "0.") + d.text + "e" + std::to_string(d.decpt);
  return lv_text_to_double(text.c_str(), nullptr);
}

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

double from_bits(uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

TEST(FloatDigits, ShortestHardCases) {
  struct {
    double x;
    const char* text;
    int decpt;
  } cases[] = {
      {0.1, "1", 0},
      {1e23, "1", 24},
      {DBL_MAX, "17976931348623157", 309},
      {DBL_MIN, "22250738585072014", -307},
      {std::numeric_limits<double>::denorm_min(), "5", -323},
      {9007199254740993.0, "9007199254740992", 16},  // 2^53 + 1 is not a double
      {9007199254740991.0, "9007199254740991", 16},
      {9007199254740994.0, "9007199254740994", 16},
      {0.0, "0", 1},
      {-0.0, "0", 1},
      {123.0, "123", 3},
  };
  for (const auto& c : cases) {
    digits d = to_digits(c.x, LV_DIGITS_SHORTEST, 0);
    EXPECT_EQ(d.text, c.text) << c.x;
    EXPECT_EQ(d.decpt, c.decpt) << c.x;
    EXPECT_EQ(bits(read_back(d)), bits(c.x)) << c.x;
  }
  EXPECT_EQ(to_digits(-0.0, LV_DIGITS_SHORTEST, 0).sign, 1);
  EXPECT_EQ(to_digits(0.0, LV_DIGITS_SHORTEST, 0).sign, 0);
}

TEST(FloatDigits, Specials) {
  digits inf = to_digits(-std::numeric_limits<double>::infinity(), LV_DIGITS_SHORTEST, 0);
  EXPECT_EQ(inf.text, "Infinity");
  EXPECT_EQ(inf.decpt, 9999);
  EXPECT_EQ(inf.sign, 1);
  digits nan = to_digits(std::numeric_limits<double>::quiet_NaN(), LV_DIGITS_FIXED, 3);
  EXPECT_EQ(nan.text, "NaN");
  EXPECT_EQ(nan.decpt, 9999);
}

// Random bit patterns: the shortest digits read back to the same double, and
// one digit fewer (rounded) does not.
TEST(FloatDigits, ShortestRoundTripsRandomDoubles) {
  std::mt19937_64 random(20261210);
  for (int i = 0; i < 200000; i++) {
    double x = from_bits(random());
    if (!std::isfinite(x)) continue;
    digits d = to_digits(x, LV_DIGITS_SHORTEST, 0);
    ASSERT_EQ(bits(read_back(d)), bits(x)) << d.text << "e" << d.decpt;
    if (d.text.size() > 1) {
      digits shorter = to_digits(x, LV_DIGITS_SIGNIFICANT, static_cast<int>(d.text.size()) - 1);
      ASSERT_NE(bits(read_back(shorter)), bits(x)) << d.text;
    }
  }
}

// The rounded modes against the C library's exact formatting.
TEST(FloatDigits, RoundedModesMatchPrintf) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; i++) {
    uint64_t b = random();
    double x = from_bits(b);
    if (!std::isfinite(x)) continue;
    if (i % 2 == 0) x = std::ldexp(static_cast<double>(b >> 12), static_cast<int>(b % 120) - 80);
    int n = static_cast<int>(random() % 25) + 1;
    char expected[1200];
    std::snprintf(expected, sizeof expected, "%.*e", n - 1, x);
    double from_printf = std::strtod(expected, nullptr);
    digits d = to_digits(x, LV_DIGITS_SIGNIFICANT, n);
    ASSERT_EQ(bits(read_back(d)), bits(from_printf)) << expected << " " << d.text;
    ASSERT_LE(d.text.size(), static_cast<size_t>(n));
    int after = static_cast<int>(random() % 30) - 5;
    if (after >= 0 && std::fabs(x) < 1e30) {
      std::snprintf(expected, sizeof expected, "%.*f", after, x);
      digits f = to_digits(x, LV_DIGITS_FIXED, after);
      ASSERT_EQ(read_back(f), std::strtod(expected, nullptr)) << expected << " " << f.text << "e" << f.decpt;
    }
  }
}

TEST(FloatDigits, RoundedModesEdges) {
  struct {
    double x;
    int mode, ndigits;
    const char* text;
    int decpt;
  } cases[] = {
      {2.5, LV_DIGITS_FIXED, 0, "2", 1},        // ties to even
      {3.5, LV_DIGITS_FIXED, 0, "4", 1},
      {0.5, LV_DIGITS_FIXED, 0, "", 0},         // rounds to nothing
      {0.6, LV_DIGITS_FIXED, 0, "1", 1},
      {0.001, LV_DIGITS_FIXED, 1, "", -1},
      {1250.0, LV_DIGITS_FIXED, -2, "12", 4},   // to hundreds, tie to even
      {1350.0, LV_DIGITS_FIXED, -2, "14", 4},
      {40.0, LV_DIGITS_FIXED, -2, "", 2},
      {60.0, LV_DIGITS_FIXED, -2, "1", 3},
      {9.96, LV_DIGITS_FIXED, 1, "1", 2},       // carries into a new digit
      {0.1, LV_DIGITS_SIGNIFICANT, 20, "10000000000000000555", 0},
      {123456.0, LV_DIGITS_SIGNIFICANT, 0, "1", 6},
      {999.9, LV_DIGITS_SIGNIFICANT, 3, "1", 4},
      {1.25, LV_DIGITS_SIGNIFICANT, 2, "12", 1},
      {0.0, LV_DIGITS_FIXED, 2, "0", 1},
  };
  for (const auto& c : cases) {
    digits d = to_digits(c.x, c.mode, c.ndigits);
    EXPECT_EQ(d.text, c.text) << c.x << " mode " << c.mode << " " << c.ndigits;
    EXPECT_EQ(d.decpt, c.decpt) << c.x << " mode " << c.mode << " " << c.ndigits;
  }
  // Every digit of the smallest subnormal.
  digits all = to_digits(std::numeric_limits<double>::denorm_min(), LV_DIGITS_SIGNIFICANT, 1000);
  EXPECT_EQ(all.text.size(), 751u);
  EXPECT_EQ(all.decpt, -323);
}

}  // namespace
