// The Unicode range tables: their sizes, their order, lookups, and the
// letter lookup of the character classes.
#include "lvio/unicode_ranges.h"

#include <gtest/gtest.h>

#include "text/char_class.h"

namespace {

uint64_t code_points(const lvio_unicode_range* t, uint64_t n) {
  uint64_t total = 0;
  for (uint64_t i = 0; i < n; i++) total += t[i].last - t[i].first + 1;
  return total;
}

// Sorted, disjoint and not adjacent (adjacent ranges would have been merged).
bool well_formed(const lvio_unicode_range* t, uint64_t n) {
  for (uint64_t i = 0; i < n; i++) {
    if (t[i].first > t[i].last || t[i].last > 0x10FFFF) return false;
    if (i > 0 && t[i].first <= t[i - 1].last + 1) return false;
  }
  return true;
}

TEST(UnicodeRanges, SetsHaveTheUnicode15Sizes) {
  EXPECT_EQ(lvio_unicode_set_b_count, 705u);
  EXPECT_EQ(code_points(lvio_unicode_set_b, lvio_unicode_set_b_count), 149251u);
  EXPECT_EQ(lvio_unicode_set_a_count, 769u);
  EXPECT_EQ(code_points(lvio_unicode_set_a, lvio_unicode_set_a_count), 148020u);
  EXPECT_TRUE(well_formed(lvio_unicode_set_a, lvio_unicode_set_a_count));
  EXPECT_TRUE(well_formed(lvio_unicode_set_b, lvio_unicode_set_b_count));
}

TEST(UnicodeRanges, Membership) {
  struct {
    uint32_t cp;
    lvio_code a;
    lvio_code b;
  } cases[] = {
      {0x41, 1, 1},    {0x300, 0, 1},    {0x301, 0, 1},
      {0x304, 0, 1},   {0x305, 1, 1},    {0x3B1, 1, 1},
      {0x378, 0, 0},                    // unassigned
      {0xD800, 0, 0},  {0xE000, 0, 0},  // surrogate, private use
      {0xAC00, 1, 1},  {0xD7A3, 1, 1},  // first and last Hangul syllable
      {0x1F600, 1, 1}, {0x10FFFF, 0, 0}, {0x110000, LVIO_E_ENCODING_UNMAPPABLE, LVIO_E_ENCODING_UNMAPPABLE},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lvio_unicode_in_set_a(c.cp), c.a) << std::hex << c.cp;
    EXPECT_EQ(lvio_unicode_in_set_b(c.cp), c.b) << std::hex << c.cp;
  }
}

TEST(UnicodeRanges, LookupOnAnyTable) {
  const lvio_unicode_range t[] = {{10, 20}, {30, 30}, {40, 50}};
  struct {
    uint32_t cp;
    int in;
  } cases[] = {{0, 0}, {9, 0}, {10, 1}, {20, 1}, {21, 0}, {30, 1}, {31, 0}, {45, 1}, {50, 1}, {51, 0}};
  for (const auto& c : cases) EXPECT_EQ(lvio_range_table_lookup(c.cp, t, 3), c.in) << c.cp;
  EXPECT_EQ(lvio_range_table_lookup(15, t, 0), 0);
}

TEST(UnicodeRanges, LetterSwitchUsesSetB) {
  lv_char_classes_init();
  lv_set_unicode_letter_switch(1);
  EXPECT_EQ(lv_char_class(0x3B1), LV_CC_LOWER);
  EXPECT_EQ(lv_char_class(0x4E2D), LV_CC_LOWER);
  EXPECT_EQ(lv_char_class(0xE000), LV_CC_OTHER);
  EXPECT_EQ(lv_char_class(0x378), LV_CC_OTHER);
  EXPECT_EQ(lv_char_class(0x2028), LV_CC_LAYOUT);
  lv_set_unicode_letter_switch(0);
  EXPECT_EQ(lv_char_class(0x3B1), LV_CC_OTHER);
}

}  // namespace
