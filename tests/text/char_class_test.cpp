// Character classes.
#include <gtest/gtest.h>

#include "text/char_class.h"

namespace {

TEST(CharClass, Table) {
  lv_char_classes_init();
  struct {
    int32_t c;
    uint8_t cls;
  } cases[] = {
      {-1, LV_CC_LAYOUT},  {0, LV_CC_LAYOUT},       {' ', LV_CC_LAYOUT},     {127, LV_CC_LAYOUT},
      {160, LV_CC_LAYOUT}, {'a', LV_CC_LOWER},      {'z', LV_CC_LOWER},      {170, LV_CC_LOWER},
      {223, LV_CC_LOWER},  {255, LV_CC_LOWER},      {'A', LV_CC_UPPER},      {192, LV_CC_UPPER},
      {215, LV_CC_SYMBOL}, {216, LV_CC_UPPER},      {247, LV_CC_SYMBOL},     {'0', LV_CC_DIGIT},
      {'#', LV_CC_SYMBOL}, {'\\', LV_CC_SYMBOL},    {'~', LV_CC_SYMBOL},     {161, LV_CC_SYMBOL},
      {'!', LV_CC_CUT},    {'|', LV_CC_BAR},        {',', LV_CC_COMMA},      {'"', LV_CC_DQUOTE},
      {'(', LV_CC_LPAREN}, {'{', LV_CC_LBRACE},     {'[', LV_CC_LBRACKET},   {'%', LV_CC_PERCENT},
      {')', LV_CC_RPAREN}, {'}', LV_CC_RBRACE},     {']', LV_CC_RBRACKET},   {';', LV_CC_SEMICOLON},
      {'\'', LV_CC_QUOTE}, {'_', LV_CC_UNDERSCORE}, {'`', LV_CC_BACKQUOTE},  {8206, LV_CC_LAYOUT},
      {8233, LV_CC_LAYOUT}, {0x3B1, LV_CC_OTHER},   {0x10000, LV_CC_OTHER},  {32, LV_CC_LAYOUT},
      {186, LV_CC_LOWER},  {191, LV_CC_SYMBOL},     {96, LV_CC_BACKQUOTE},   {8207, LV_CC_LAYOUT},
      {8232, LV_CC_LAYOUT}, {8234, LV_CC_OTHER},    {246, LV_CC_LOWER},      {248, LV_CC_LOWER},
  };
  for (const auto& c : cases) EXPECT_EQ(lv_char_class(c.c), c.cls) << c.c;
  // Again, through the cache, with colliding low bytes.
  for (const auto& c : cases) EXPECT_EQ(lv_char_class(c.c), c.cls) << c.c;
  EXPECT_EQ(lv_char_class(0x161), LV_CC_OTHER);
  EXPECT_EQ(lv_char_class(0x261), LV_CC_OTHER);
  EXPECT_EQ(lv_char_class(0x61), LV_CC_LOWER);
  // Negative values other than -1 read outside no table.
  EXPECT_EQ(lv_char_class(-2), LV_CC_LAYOUT);
  EXPECT_EQ(lv_char_class(INT32_MIN), LV_CC_LAYOUT);
}

// Two code points with the same low byte stay cached, one per way; a third
// evicts the older one, which is then computed again.
TEST(CharClass, CacheWays) {
  lv_char_classes_init();
  EXPECT_EQ(lv_char_class(65), LV_CC_UPPER);
  EXPECT_EQ(lv_char_class(321), LV_CC_OTHER);
  EXPECT_EQ(lv_class_cache[0][65].key, 321);
  EXPECT_EQ(lv_class_cache[1][65].key, 65);
  EXPECT_EQ(lv_char_class(65), LV_CC_UPPER);  // a hit leaves the ways as they are
  EXPECT_EQ(lv_class_cache[0][65].key, 321);
  EXPECT_EQ(lv_char_class(577), LV_CC_OTHER);
  EXPECT_EQ(lv_class_cache[0][65].key, 577);
  EXPECT_EQ(lv_class_cache[1][65].key, 321);
  EXPECT_EQ(lv_char_class(65), LV_CC_UPPER);
  EXPECT_EQ(lv_class_cache[0][65].key, 65);
  // A reset leaves keys that no code point with that low byte can match.
  lv_char_classes_init();
  EXPECT_EQ(lv_class_cache[0][0].key, 1);
  EXPECT_EQ(lv_class_cache[1][255].key, 512);
}

TEST(CharClass, LetterSwitch) {
  lv_char_classes_init();
  lv_set_letter_lookup([](int32_t c) { return c == 0x3B1 ? 1 : 0; });
  EXPECT_EQ(lv_char_class(0x3B1), LV_CC_OTHER);
  lv_set_unicode_letter_switch(7);
  EXPECT_EQ(lv_get_unicode_letter_switch(), 1);
  EXPECT_EQ(lv_char_class(0x3B1), LV_CC_LOWER);
  EXPECT_EQ(lv_char_class(0x3B2), LV_CC_OTHER);
  // Setting the switch to the value it has changes nothing: the cache is
  // kept (and the atoms are not reclassified).
  lv_set_unicode_letter_switch(1);
  EXPECT_EQ(lv_class_cache[0][0xB2].key, 0x3B2);
  EXPECT_EQ(lv_class_cache[0][0xB1].key, 0x3B1);
  lv_set_unicode_letter_switch(0);
  EXPECT_EQ(lv_class_cache[0][0xB1].key, 0xB1 + 1);
  EXPECT_EQ(lv_char_class(0x3B1), LV_CC_OTHER);
  lv_set_letter_lookup(nullptr);
}

}  // namespace
