// The escape machine, the character literal parser and the
// character-conversion table.
#include <gtest/gtest.h>

#include <string>

#include "text/char_class.h"
#include "text/char_conversion.h"
#include "text/escape.h"

namespace {

class EscapeTest : public ::testing::Test {
 protected:
  void SetUp() override { lv_char_classes_init(); }

  // Runs the machine over the characters after a backslash: the final
  // result and how many characters it took.
  static int32_t run(const std::string& after, size_t* used) {
    lv_escape_state s;
    lv_escape_reset(&s);
    size_t i = 0;
    int32_t r = lv_escape_char(&s, static_cast<unsigned char>(after[i++]));
    while (r == LV_ESCAPE_MORE && i < after.size()) r = lv_escape_digit(&s, static_cast<unsigned char>(after[i++]));
    *used = i;
    return r;
  }
};

TEST_F(EscapeTest, Sequences) {
  struct Case {
    const char* after;
    int32_t result;
    size_t used;
  } cases[] = {
      {"\\", '\\', 1},      {"'", '\'', 1},       {"\"", '"', 1},        {"`", '`', 1},
      {"a", 7, 1},          {"b", 8, 1},          {"d", 127, 1},         {"e", 27, 1},
      {"f", 12, 1},         {"n", 10, 1},         {"r", 13, 1},          {"t", 9, 1},
      {"v", 11, 1},         {"q", LV_ESCAPE_UNDEFINED, 1},               {"z", LV_ESCAPE_UNDEFINED, 1},
      {"x41\\", 'A', 4},    {"x4a\\", 0x4a, 4},   {"x4A\\", 0x4a, 4},    {"x\\", LV_ESCAPE_BAD_DIGIT, 2},
      {"xg\\", LV_ESCAPE_BAD_DIGIT, 2},           {"101\\", 65, 4},      {"0\\", 0, 2},
      {"18\\", LV_ESCAPE_BAD_DIGIT, 2},           {"7fffffff", LV_ESCAPE_BAD_DIGIT, 2},
      {"x7fffffff\\", 0x7fffffff, 10},            {"17777777777\\", 0x7fffffff, 12},
      {"x80000000\\z", LV_ESCAPE_OVERFLOW, 11},   {"x123456789\\y", LV_ESCAPE_OVERFLOW, 12},
      {"37777777777\\z", LV_ESCAPE_OVERFLOW, 13}, {"x41", LV_ESCAPE_MORE, 3},
  };
  for (const Case& c : cases) {
    size_t used = 0;
    EXPECT_EQ(run(c.after, &used), c.result) << c.after;
    EXPECT_EQ(used, c.used) << c.after;
  }
}

TEST_F(EscapeTest, CharLiterals) {
  struct Case {
    const char* text;
    int ok;
    int32_t code;
  } cases[] = {
      {"a", 1, 'a'},        {" ", 1, ' '},     {"''", 1, '\''},   {"\\n", 1, 10},   {"\\x41\\", 1, 'A'},
      {"\\\\", 1, '\\'},    {"\\'", 1, '\''},  {"\xc3\xa9", 1, 0xe9}, {"\xce\xbb", 1, 955},
      {"", 0, 0},           {"'", 0, 0},       {"'a", 0, 0},      {"ab", 0, 0},     {"\t", 0, 0},
      {"\n", 0, 0},         {"\\q", 0, 0},     {"\\x41", 0, 0},   {"\\x\\", 0, 0},  {"\\", 0, 0},
      {"\\n ", 0, 0},       {"\x80", 0, 0},    {"\xc3", 0, 0},    {"\\x80000000\\", 0, 0},
  };
  for (const Case& c : cases) {
    int32_t code = -7;
    EXPECT_EQ(lv_parse_char_literal(c.text, &code), c.ok) << c.text;
    if (c.ok != 0) {
      EXPECT_EQ(code, c.code) << c.text;
    }
  }
}

TEST_F(EscapeTest, ConversionTable) {
  lv_char_conversion_clear();
  EXPECT_EQ(lv_char_conversion('a'), 'a');
  EXPECT_EQ(lv_char_conversion_set('a', 'b'), 1);
  EXPECT_EQ(lv_char_conversion_set('c', 'd'), 1);
  EXPECT_EQ(lv_char_conversion('a'), 'b');
  EXPECT_EQ(lv_char_conversion_set('a', 'e'), 1);
  EXPECT_EQ(lv_char_conversion('a'), 'e');
  EXPECT_EQ(lv_char_conversion_count(), 2);
  // Mapping a character to itself removes its pair; the last pair moves up.
  EXPECT_EQ(lv_char_conversion_set('a', 'a'), 1);
  EXPECT_EQ(lv_char_conversion('a'), 'a');
  EXPECT_EQ(lv_char_conversion('c'), 'd');
  EXPECT_EQ(lv_char_conversion_count(), 1);
  lv_char_conversion_clear();
  for (int i = 0; i < LV_CHAR_CONVERSION_PAIRS; i++) EXPECT_EQ(lv_char_conversion_set(1000 + i, 1), 1);
  EXPECT_EQ(lv_char_conversion_set(5, 6), 0);
  EXPECT_EQ(lv_char_conversion_set(1000, 2), 1);
  EXPECT_EQ(lv_char_conversion(1000), 2);
  lv_char_conversion_clear();
  EXPECT_EQ(lv_char_conversion_count(), 0);
}

}  // namespace
