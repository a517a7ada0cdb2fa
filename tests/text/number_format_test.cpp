// Numbers as the writers' text: integers in a radix, floats in every format
// letter (against the C library's printf where it writes the same form),
// and the d, D, r and R directives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "support/engine_fixture.h"
#include "text/char_class.h"
#include "text/float_read.h"
#include "text/number_format.h"
#include "text/number_parse.h"

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The text of a block, freed; "none" for null.
std::string take(char* text) {
  if (text == nullptr) return "none";
  std::string s = text;
  LV_free(text);
  return s;
}

std::string float_text(int letter, int64_t precision, double x) { return take(lv_format_float(letter, precision, x)); }

std::string printf_text(const char* format, int precision, double x) {
  char buffer[4096];
  std::snprintf(buffer, sizeof buffer, format, precision, x);
  return buffer;
}

class NumberFormat : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_char_classes_init();
  }

  lv_term number(const char* text) {
    int error = 0;
    lv_term t = lv_parse_number(w, text, 10, 0, 0, 0, 0, &error);
    EXPECT_NE(t, 0u) << text;
    return t;
  }
};

TEST(IntToText, Radixes) {
  struct {
    int64_t value;
    int radix;
    const char* text;
  } cases[] = {
      {255, -16, "FF"},
      {255, 16, "ff"},
      {-5, 2, "-101"},
      {0, 10, "0"},
      {0, 2, "0"},
      {35, 36, "z"},
      {-36, -36, "-10"},
      {INT64_MAX, 10, "9223372036854775807"},
      {INT64_MIN, 10, "-9223372036854775808"},
      {INT64_MIN, 16, "-8000000000000000"},
  };
  for (const auto& c : cases) {
    char buffer[LV_INT_TEXT_SIZE];
    EXPECT_EQ(lv_int_to_text(c.value, c.radix, buffer), std::strlen(c.text));
    EXPECT_STREQ(buffer, c.text);
  }
  // The longest text fills the block: sign, 64 binary digits, NUL.
  char buffer[LV_INT_TEXT_SIZE];
  EXPECT_EQ(lv_int_to_text(INT64_MIN, 2, buffer), 65u);
  EXPECT_EQ(std::string(buffer), "-1" + std::string(63, '0'));
}

TEST_F(NumberFormat, FloatLettersAtSeveralPrecisions) {
  struct {
    int letter;
    int64_t precision;
    double x;
    const char* text;
  } cases[] = {
      // e, E: p + 1 significant digits, p after the point (at least one).
      {'e', 3, 1.5, "1.500e+00"},
      {'E', 2, 12345.678, "1.23E+04"},
      {'e', 0, 1.5, "2.0e+00"},
      {'e', -4, 2.5, "2.0e+00"},
      {'e', 1, 0.0, "0.0e+00"},
      {'e', 2, -1e-300, "-1.00e-300"},
      {'e', 3, 5e-324, "4.941e-324"},
      {'e', 16, 0.1, "1.0000000000000001e-01"},
      // f, F: p digits after the point, ties to even.
      {'f', 2, 3.14159, "3.14"},
      {'F', 0, 2.5, "2.0"},
      {'f', 0, 3.5, "4.0"},
      {'f', -3, 1234.5, "1234.0"},
      {'f', 2, -0.0001, "-0.00"},
      {'f', 2, 0.006, "0.01"},
      {'f', 3, 1e22, "10000000000000000000000.000"},
      {'f', 1, 0.05, "0.1"},
      // g, G: p significant digits, zeros dropped; fixed for points -3 .. p.
      {'g', 3, 1234.5, "1.23e+03"},
      {'g', 4, 1234.5, "1234.0"},
      {'G', 6, 0.0001, "0.0001"},
      {'g', 6, 0.00001, "1.0e-05"},
      {'G', 2, 1e10, "1.0E+10"},
      {'g', 0, 1.5, "2.0e+00"},
      {'g', 3, 0.0, "0.0"},
      {'g', 17, 0.1, "0.10000000000000001"},
      // h, H: the shortest digits; fixed while the point lies in -p .. p + digits.
      {'H', 3, 1.0e10, "1.0E+10"},
      {'H', 3, 1.0, "1.0"},
      {'H', 3, 0.1, "0.1"},
      {'H', 3, 0.0001, "0.0001"},
      {'H', 3, 0.00001, "1.0E-05"},
      {'h', 3, 123456789.0, "123456789.0"},
      {'h', 3, 1e8, "1.0e+08"},
      {'h', 3, 1e100, "1.0e+100"},
      {'H', 3, 5e-324, "5.0E-324"},
      {'H', -1, 1.0, "1.0E+00"},
      {'H', 0, 12.0, "12.0"},
      {'H', 3, -0.0, "-0.0"},
      {'H', 3, 0.0, "0.0"},
      {'H', 3, 1.7976931348623157e308, "1.7976931348623157E+308"},
      // Any other letter: the shortest digits in the fixed form.
      {'a', 3, 1e22, "10000000000000000000000.0"},
      {'a', 3, 0.5, "0.5"},
      {'a', -7, 2.0, "2.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, static_cast<char>(c.letter)) + " " + std::to_string(c.precision));
    EXPECT_EQ(float_text(c.letter, c.precision, c.x), c.text);
  }
}

TEST_F(NumberFormat, SpecialValuesInEveryLetter) {
  for (int letter : {'e', 'E', 'f', 'F', 'g', 'G', 'h', 'H', 'a'}) {
    for (int64_t p : {-5, 0, 3, 99999}) {
      EXPECT_EQ(float_text(letter, p, INF), "+inf");
      EXPECT_EQ(float_text(letter, p, -INF), "-inf");
      EXPECT_EQ(float_text(letter, p, NaN), "+nan");
      EXPECT_EQ(float_text(letter, p, -NaN), "+nan");
    }
  }
}

TEST_F(NumberFormat, PrecisionOutOfRangeGivesNoText) {
  for (int letter : {'e', 'f', 'g', 'h', 'a'}) {
    EXPECT_EQ(float_text(letter, 100000, 1.0), "none");
    EXPECT_EQ(float_text(letter, -100000, 1.0), "none");
    EXPECT_EQ(float_text(letter, 100000, INF), "none");
  }
}

// The longest texts each letter makes: the block is sized from the text,
// so the largest precision and the extreme values fit whole.
TEST_F(NumberFormat, LongTextsFitTheirBlocks) {
  const double max = std::numeric_limits<double>::max();
  const double tiny = std::numeric_limits<double>::denorm_min();
  std::string e = float_text('e', 99999, max);
  EXPECT_EQ(e.size(), 1 + 1 + 99999 + 5u);
  EXPECT_EQ(e.substr(0, 18), "1.7976931348623157");
  EXPECT_EQ(e.substr(e.size() - 5), "e+308");
  std::string f = float_text('f', 99999, -max);
  EXPECT_EQ(f.size(), 1 + 309 + 1 + 99999u);
  std::string ft = float_text('F', 99999, tiny);
  EXPECT_EQ(ft.size(), 2 + 99999u);
  EXPECT_EQ(ft.substr(0, 1100), printf_text("%.*f", 1100, tiny).substr(0, 1100));
  EXPECT_EQ(float_text('g', 99999, max), printf_text("%.*f", 1, max));
  // Every significant digit of the smallest subnormal, in the exponent form.
  std::string exact = printf_text("%.*e", 800, tiny);
  std::string mantissa = exact.substr(0, exact.find('e'));
  mantissa.erase(mantissa.find_last_not_of('0') + 1);
  EXPECT_EQ(float_text('G', 99999, tiny), mantissa + "E-324");
  // h with a large precision and the other letters write the fixed form
  // of the extreme values: 309 digits, or 323 zeros before the digit.
  EXPECT_EQ(float_text('h', 99999, max), "17976931348623157" + std::string(292, '0') + ".0");
  EXPECT_EQ(float_text('h', 99999, tiny), "0." + std::string(323, '0') + "5");
  EXPECT_EQ(float_text('a', 0, -max), "-17976931348623157" + std::string(292, '0') + ".0");
  EXPECT_EQ(float_text('a', 0, -tiny), "-0." + std::string(323, '0') + "5");
  EXPECT_EQ(float_text('H', 400, 1e-300), "0." + std::string(299, '0') + "1");
}

// e, E, f and F with a precision of 1 or more write what printf writes;
// g and G what it writes once its texts carry a fraction (".0" added to
// the mantissa where printf leaves none).
TEST_F(NumberFormat, RandomDoublesAgreeWithPrintf) {
  std::mt19937_64 random(3);
  std::uniform_int_distribution<int> precision(1, 25);
  for (int i = 0; i < 20000; i++) {
    uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    if (i % 2 == 0) x = std::ldexp(static_cast<double>(random() % 1000000), static_cast<int>(random() % 80) - 60);
    int p = precision(random);
    SCOPED_TRACE(printf_text("%.*g", 17, x) + " p=" + std::to_string(p));
    EXPECT_EQ(float_text('e', p, x), printf_text("%.*e", p, x));
    EXPECT_EQ(float_text('E', p, x), printf_text("%.*E", p, x));
    if (std::fabs(x) < 1e30) {
      EXPECT_EQ(float_text('f', p, x), printf_text("%.*f", p, x));
    }
    std::string g = printf_text("%.*g", p, x);
    size_t e = g.find('e');
    size_t mantissa_end = e == std::string::npos ? g.size() : e;
    if (g.substr(0, mantissa_end).find('.') == std::string::npos) g.insert(mantissa_end, ".0");
    EXPECT_EQ(float_text('g', p, x), g);
  }
}

// The shortest texts read back as the same double, in either form.
TEST_F(NumberFormat, ShortestTextsReadBack) {
  std::mt19937_64 random(5);
  for (int i = 0; i < 20000; i++) {
    uint64_t bits = random();
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    for (int letter : {'h', 'H', 'a'}) {
      std::string t = float_text(letter, 3, x);
      double back = lv_text_to_double(t.c_str(), nullptr);
      EXPECT_EQ(std::memcmp(&back, &x, sizeof x), 0) << t;
    }
  }
}

TEST_F(NumberFormat, Directives) {
  struct {
    int letter;
    int64_t n;
    const char* number;
    const char* text;
  } cases[] = {
      {'d', 2, "5", "0.05"},
      {'d', 2, "-5", "-0.05"},
      {'d', 3, "1234", "1.234"},
      {'d', 0, "1234567", "1234567"},
      {'d', -2, "1234567", "1234567"},
      {'D', 0, "1234567", "1,234,567"},
      {'D', 2, "1234567", "12,345.67"},
      {'D', 0, "-1234567", "-1,234,567"},
      {'D', 2, "-123456", "-1,234.56"},
      {'D', 0, "123", "123"},
      {'D', 0, "1234", "1,234"},
      {'D', 3, "7", "0.007"},
      {'D', 0, "0", "0"},
      {'D', 0, "123456789012345678901234567890", "123,456,789,012,345,678,901,234,567,890"},
      {'d', 5, "-123456789012345678901234567890", "-1234567890123456789012345.67890"},
      {'r', 16, "255", "ff"},
      {'R', 16, "255", "FF"},
      {'r', 2, "-5", "-101"},
      {'r', 36, "71", "1z"},
      {'r', 1, "8", "10"},
      {'r', 37, "8", "10"},
      {'R', 0, "63", "77"},
      {'R', 16, "340282366920938463463374607431768211455", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
      {'d', 2, "1.0e10", "1.0E+10"},
      {'D', 2, "2.5", "2.5"},
      {'x', 2, "5", "none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, static_cast<char>(c.letter)) + " " + std::to_string(c.n) + " " + c.number);
    EXPECT_EQ(take(lv_format_integer(c.letter, c.n, number(c.number))), c.text);
  }
  EXPECT_EQ(take(lv_format_integer('d', 0, LV_ATOM_NIL)), "none");
}

TEST_F(NumberFormat, NumberTerms) {
  EXPECT_EQ(take(lv_number_to_text(number("-42"), 10, 'H', 3, 0)), "-42");
  EXPECT_EQ(take(lv_number_to_text(number("255"), -16, 'H', 3, 0)), "FF");
  EXPECT_EQ(take(lv_number_to_text(number("-36893488147419103232"), 16, 'H', 3, 0)), "-20000000000000000");
  EXPECT_EQ(take(lv_number_to_text(number("1.0e10"), 10, 'e', 2, 0)), "1.00e+10");
  // A precision out of range falls back to letter H with precision 3.
  EXPECT_EQ(take(lv_number_to_text(number("1.0e10"), 10, 'e', 123456, 0)), "1.0E+10");
  EXPECT_EQ(take(lv_number_to_text(LV_ATOM_NIL, 10, 'H', 3, 0)), "none");
}

}  // namespace
