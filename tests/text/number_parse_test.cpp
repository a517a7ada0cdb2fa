// Number text to number terms on the heap.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/numbers.h"
#include "machine/bignum.h"
#include "support/engine_fixture.h"
#include "text/char_class.h"
#include "text/number_parse.h"

namespace {

class NumberParse : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_char_classes_init();
  }

  // The integer term as text in the radix.
  std::string integer_text(lv_term t, int radix) {
    if (lv_is_small(t)) {
      lv_term* h = w->H;
      t = lv_make_integer_box(w, lv_small_value(t));
      w->H = h;  // the box is read at once and dropped
    }
    EXPECT_TRUE(lv_is_integer_box(t));
    char* text = lv_bignum_to_text(lv_struct_cells(t), radix, 0);
    std::string s = text;
    LV_free(text);
    return s;
  }
};

TEST_F(NumberParse, SmallAndFloat) {
  int error = -1;
  lv_term t = lv_parse_number(w, "- 42", 10, 0, 0, 0, 0, &error);
  ASSERT_TRUE(lv_is_small(t));
  EXPECT_EQ(lv_small_value(t), -42);
  t = lv_parse_number(w, "0x1f", 10, 0, 0, 0, 0, &error);
  ASSERT_TRUE(lv_is_small(t));
  EXPECT_EQ(lv_small_value(t), 31);
  t = lv_parse_number(w, "0'a", 10, LV_NUMBER_DIRECT, 0, 0, 0, &error);
  EXPECT_EQ(lv_small_value(t), 97);
  t = lv_parse_number(w, "-2.5e-1", 10, 0, 0, 0, 0, &error);
  ASSERT_TRUE(lv_is_float_box(t));
  EXPECT_EQ(lv_float_value(t), -0.25);
  // 2^62 is beyond the small integers: a box.
  t = lv_parse_number(w, "4611686018427387904", 10, 0, 0, 0, 0, &error);
  EXPECT_EQ(integer_text(t, 10), "4611686018427387904");
}

TEST_F(NumberParse, Errors) {
  struct {
    const char* text;
    int error;
  } cases[] = {{"1.0e999", LV_NUMBER_OUT_OF_RANGE}, {"1.0e", LV_NUMBER_SYNTAX}, {"+5", LV_NUMBER_SYNTAX},
               {"12a", LV_NUMBER_SYNTAX}};
  for (const auto& c : cases) {
    lv_term* h = w->H;
    int error = 0;
    EXPECT_EQ(lv_parse_number(w, c.text, 10, 0, 0, 0, 0, &error), lv_term{0}) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_EQ(w->H, h) << c.text;
  }
  EXPECT_EQ(lv_parse_number(w, "x", 10, 0, 0, 0, 0, nullptr), lv_term{0});
}

// Random digit strings of every radix, up to a few thousand bits, read and
// written back: the same digits (lower case, no leading zeros).
TEST_F(NumberParse, EveryRadixWithBigIntegers) {
  std::mt19937 random(2026);
  const char* letters = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int radix = 2; radix <= 36; radix++) {
    for (int i = 0; i < 30; i++) {
      size_t length = 1 + random() % (i < 10 ? 20 : 600);
      std::string digits;
      for (size_t k = 0; k < length; k++) digits += letters[random() % radix];
      bool negative = random() % 2 == 0;
      std::string text = (negative ? "-" : "") + digits;
      if (radix > 10 && i % 3 == 0)
        for (char& c : text) c = static_cast<char>(std::toupper(c));  // upper-case digits read the same
      int error = 0;
      lv_term t = lv_parse_number(w, text.c_str(), radix, 0, 0, 0, 0, &error);
      ASSERT_NE(t, lv_term{0}) << text << " radix " << radix << " error " << error;
      size_t first = digits.find_first_not_of('0');
      std::string expected = first == std::string::npos ? "0" : digits.substr(first);
      if (negative && expected != "0") expected = "-" + expected;
      ASSERT_EQ(integer_text(t, radix), expected) << "radix " << radix;
    }
  }
}

// A number larger than the free heap grows the heap and keeps the reserve.
TEST_F(NumberParse, GrowsTheHeap) {
  std::string digits(20000, '7');
  int64_t free_words = w->heap_hard_limit - w->H;
  int error = 0;
  lv_term t = lv_parse_number(w, digits.c_str(), 10, 0, free_words, 0, 0, &error);
  ASSERT_NE(t, lv_term{0}) << error;
  EXPECT_GE(w->heap_hard_limit - w->H, free_words);
  EXPECT_EQ(integer_text(t, 10), digits);
}

}  // namespace
