// Number text read into values without the heap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "text/char_class.h"
#include "text/number_text.h"

namespace {

struct scan_case {
  const char* text;
  int radix;
  int flags;
  int error;
  lv_number_kind kind = LV_NUMBER_SMALL;
  double value = 0;               // small integers and floats
  const char* digits = nullptr;   // LV_NUMBER_DIGITS
  int negative = 0;
};

TEST(NumberText, Table) {
  lv_char_classes_init();
  const scan_case cases[] = {
      {"42", 10, 0, 0, LV_NUMBER_SMALL, 42, nullptr, 0},
      {"-5", 10, 0, 0, LV_NUMBER_SMALL, -5, nullptr, 1},
      {"- 5", 10, 0, 0, LV_NUMBER_SMALL, -5, nullptr, 1},
      {"'-'5", 10, 0, 0, LV_NUMBER_SMALL, -5, nullptr, 1},
      {"'\\x2d\\'5", 10, 0, 0, LV_NUMBER_SMALL, -5, nullptr, 1},
      {"'\\x002D\\' 5", 10, 0, 0, LV_NUMBER_SMALL, -5, nullptr, 1},
      {"'\\055\\'5", 10, 0, 0, LV_NUMBER_SMALL, -5, nullptr, 1},
      {"'\\0055\\'5", 10, 0, 0, LV_NUMBER_SMALL, -5, nullptr, 1},
      {"'\\55\\'5", 10, 0, LV_NUMBER_SYNTAX},
      {"'+'5", 10, 0, LV_NUMBER_SYNTAX},
      {"+5", 10, 0, LV_NUMBER_SYNTAX},
      {"+5", 10, LV_NUMBER_PLUS_SIGN, 0, LV_NUMBER_SMALL, 5, nullptr, 0},
      {"-5", 10, LV_NUMBER_DIRECT, LV_NUMBER_SYNTAX},
      {" 5", 10, LV_NUMBER_DIRECT, LV_NUMBER_SYNTAX},
      {"  /* c */ % line\n 7", 10, 0, 0, LV_NUMBER_SMALL, 7, nullptr, 0},
      {"- % c\n 7", 10, 0, 0, LV_NUMBER_SMALL, -7, nullptr, 1},
      {"-/* c */7", 10, 0, LV_NUMBER_SYNTAX},  // no "/" after the sign
      {"/* open 7", 10, 0, LV_NUMBER_SYNTAX},
      {"% no newline 7", 10, 0, LV_NUMBER_SYNTAX},
      {"\xC3 7", 10, 0, LV_NUMBER_SYNTAX},     // malformed UTF-8
      {"\xC2\xA0" "8", 10, 0, 0, LV_NUMBER_SMALL, 8, nullptr, 0},  // no-break space is layout
      {"7 ", 10, 0, LV_NUMBER_SYNTAX},
      {"", 10, 0, LV_NUMBER_SYNTAX},
      {"-", 10, 0, LV_NUMBER_SYNTAX},
      {"0'a", 10, 0, 0, LV_NUMBER_SMALL, 97, nullptr, 0},
      {"-0'a", 10, 0, 0, LV_NUMBER_SMALL, -97, nullptr, 1},
      {"0'''", 10, 0, 0, LV_NUMBER_SMALL, 39, nullptr, 0},
      {"0'\\n", 10, 0, 0, LV_NUMBER_SMALL, 10, nullptr, 0},
      {"0'ab", 10, 0, LV_NUMBER_SYNTAX},
      {"0x1f", 10, 0, 0, LV_NUMBER_DIGITS, 0, "1f", 0},
      {"0b101", 10, 0, 0, LV_NUMBER_DIGITS, 0, "101", 0},
      {"-0o17", 10, 0, 0, LV_NUMBER_DIGITS, 0, "17", 1},
      {"0x", 10, 0, LV_NUMBER_SYNTAX},
      {"0b102", 10, 0, LV_NUMBER_SYNTAX},
      {"0x1.5", 10, 0, LV_NUMBER_SYNTAX},
      {"ff", 16, 0, 0, LV_NUMBER_DIGITS, 0, "ff", 0},
      {"zZ", 36, 0, 0, LV_NUMBER_DIGITS, 0, "zZ", 0},
      {"19", 9, 0, LV_NUMBER_SYNTAX},
      {"123456789", 10, 0, 0, LV_NUMBER_DIGITS, 0, "123456789", 0},
      {"12345678", 10, 0, 0, LV_NUMBER_SMALL, 12345678, nullptr, 0},
      {"1.5", 10, 0, 0, LV_NUMBER_FLOAT, 1.5, nullptr, 0},
      {"-1.5e-3", 10, 0, 0, LV_NUMBER_FLOAT, -1.5e-3, nullptr, 1},
      {"1.0E+2", 10, 0, 0, LV_NUMBER_FLOAT, 100.0, nullptr, 0},
      {"1.0e-999", 10, 0, 0, LV_NUMBER_FLOAT, 0.0, nullptr, 0},
      {"1.0e999", 10, 0, LV_NUMBER_OUT_OF_RANGE},
      {"1.0e", 10, 0, LV_NUMBER_SYNTAX},
      {"1.0e+", 10, 0, LV_NUMBER_SYNTAX},
      {"1e5", 10, 0, LV_NUMBER_SYNTAX},
      {"1.", 10, 0, LV_NUMBER_SYNTAX},
      {".5", 10, 0, LV_NUMBER_SYNTAX},
      {"1.5", 16, 0, LV_NUMBER_SYNTAX},
      {"inf", 10, 0, LV_NUMBER_SYNTAX},
      {"1.5x", 10, 0, LV_NUMBER_SYNTAX},
  };
  for (const auto& c : cases) {
    lv_number_scan scan{};
    int error = lv_scan_number(c.text, c.radix, c.flags, &scan);
    ASSERT_EQ(error, c.error) << c.text;
    if (error != 0) continue;
    EXPECT_EQ(scan.kind, c.kind) << c.text;
    EXPECT_EQ(scan.negative, c.negative) << c.text;
    if (c.kind == LV_NUMBER_SMALL) {
      EXPECT_EQ(scan.value, static_cast<int64_t>(c.value)) << c.text;
    } else if (c.kind == LV_NUMBER_FLOAT) {
      EXPECT_EQ(scan.float_value, c.value) << c.text;
    } else {
      EXPECT_STREQ(scan.digits, c.digits) << c.text;
    }
  }
}

TEST(NumberText, RadixOfPrefixedDigits) {
  lv_char_classes_init();
  lv_number_scan scan{};
  ASSERT_EQ(lv_scan_number("0x1F", 10, 0, &scan), 0);
  EXPECT_EQ(scan.radix, 16);
  ASSERT_EQ(lv_scan_number("0b1", 10, 0, &scan), 0);
  EXPECT_EQ(scan.radix, 2);
  ASSERT_EQ(lv_scan_number("0o7", 10, 0, &scan), 0);
  EXPECT_EQ(scan.radix, 8);
  // Prefixes belong to radix 10 only.
  EXPECT_EQ(lv_scan_number("0x1", 16, 0, &scan), LV_NUMBER_SYNTAX);
  EXPECT_EQ(lv_scan_number("1", 1, 0, &scan), LV_NUMBER_SYNTAX);
  EXPECT_EQ(lv_scan_number("1", 37, 0, &scan), LV_NUMBER_SYNTAX);
}

// Random texts over the characters the reader looks at: read or refused,
// never a read past the end; a float is finite and digits are digits.
TEST(NumberText, RandomTexts) {
  lv_char_classes_init();
  const char alphabet[] = "0123456789abefxoAEFX.+-'\\ /*%\n\x80\xC3\xA9";
  std::mt19937 random(11);
  for (int i = 0; i < 100000; i++) {
    std::string text;
    size_t length = random() % 12;
    for (size_t k = 0; k < length; k++) text += alphabet[random() % (sizeof alphabet - 1)];
    int radix = i % 4 == 0 ? 2 + static_cast<int>(random() % 35) : 10;
    lv_number_scan scan{};
    int error = lv_scan_number(text.c_str(), radix, static_cast<int>(random() % 8), &scan);
    ASSERT_TRUE(error == 0 || error == LV_NUMBER_SYNTAX || error == LV_NUMBER_OUT_OF_RANGE) << text;
    if (error != 0) continue;
    if (scan.kind == LV_NUMBER_FLOAT) {
      ASSERT_TRUE(std::isfinite(scan.float_value)) << text;
    } else if (scan.kind == LV_NUMBER_DIGITS) {
      ASSERT_GT(std::strlen(scan.digits), 0u) << text;
    }
  }
}

}  // namespace
