// Character classes of the tokenizer, the writer and the atom table.
#pragma once

#include <cstdint>

enum lv_char_class : uint8_t {
  LV_CC_LAYOUT = 1,
  LV_CC_LOWER = 2,
  LV_CC_UPPER = 3,
  LV_CC_SOLO = 4,  // no code point has this class
  LV_CC_SYMBOL = 5,
  LV_CC_OTHER = 6,  // above 255: neither layout nor a letter
  LV_CC_DIGIT = 7,
  LV_CC_CUT = 8,          // !
  LV_CC_BAR = 9,          // |
  LV_CC_COMMA = 10,       // ,
  LV_CC_DQUOTE = 11,      // "
  LV_CC_LPAREN = 12,      // (
  LV_CC_LBRACE = 13,      // {
  LV_CC_LBRACKET = 14,    // [
  LV_CC_PERCENT = 15,     // %
  LV_CC_RPAREN = 16,      // )
  LV_CC_RBRACE = 17,      // }
  LV_CC_RBRACKET = 18,    // ]
  LV_CC_SEMICOLON = 19,   // ;
  LV_CC_QUOTE = 20,       // '
  LV_CC_UNDERSCORE = 21,  // _
  LV_CC_BACKQUOTE = 22,   // `
};

// Builds the class table for end of file (-1) and code points 0-255, resets
// the cache and switches the Unicode letter switch off.
void lv_char_classes_init();

// The class of a code point (-1 or any non-negative value; other negative
// values are classed as -1), through a two-way cache in front of the rule
// for code points above 255.
struct lv_class_cache_slot {
  int32_t key;
  uint8_t cls;
};
extern lv_class_cache_slot lv_class_cache[2][256];

uint8_t lv_char_class_cached(int32_t c);

inline uint8_t lv_char_class(int32_t c) {
  unsigned s = static_cast<unsigned>(c) & 255;
  if (lv_class_cache[0][s].key == c) return lv_class_cache[0][s].cls;
  if (lv_class_cache[1][s].key == c) return lv_class_cache[1][s].cls;
  return lv_char_class_cached(c);
}

int lv_get_unicode_letter_switch();
// Sets the switch (any non-zero value is on); a change resets the cache and
// recomputes every atom's writing class.
void lv_set_unicode_letter_switch(int on);

// Whether a code point above 255 is a letter, for the Unicode letter switch.
// The I/O layer's Unicode set B answers this unless another lookup is
// installed; null restores it.
typedef int (*lv_letter_lookup)(int32_t c);
void lv_set_letter_lookup(lv_letter_lookup lookup);
