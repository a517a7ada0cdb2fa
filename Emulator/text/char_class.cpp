// Character classes.
#include "text/char_class.h"

#include "core/atoms.h"
#include "lvio/unicode_ranges.h"

lv_class_cache_slot lv_class_cache[2][256];

namespace {

uint8_t class_table[257];  // entry 0 is end of file (-1)
int letter_switch;

// Letters above 255 are the I/O layer's Unicode set B.
int unicode_letter(int32_t c) { return lvio_unicode_in_set_b(static_cast<uint32_t>(c)) == 1 ? 1 : 0; }

lv_letter_lookup letter_lookup = unicode_letter;

void set_range(int lo, int hi, uint8_t cls) {
  for (int c = lo; c <= hi; c++) class_table[c + 1] = cls;
}

void reset_cache() {
  for (int i = 0; i < 256; i++) {
    lv_class_cache[0][i] = {i + 1, 0};
    lv_class_cache[1][i] = {i + 257, 0};
  }
}

}  // namespace

void lv_char_classes_init() {
  set_range(-1, 127, LV_CC_LAYOUT);
  set_range('a', 'z', LV_CC_LOWER);
  set_range('A', 'Z', LV_CC_UPPER);
  set_range('0', '9', LV_CC_DIGIT);
  for (const char* p = "#$&*+-./:<=>?@^\\`~"; *p != '\0'; p++) class_table[static_cast<unsigned char>(*p) + 1] = LV_CC_SYMBOL;
  // Latin-1: layout, letters, and symbol characters for the rest.
  set_range(128, 255, LV_CC_SYMBOL);
  set_range(127, 160, LV_CC_LAYOUT);
  set_range(170, 170, LV_CC_LOWER);
  set_range(186, 186, LV_CC_LOWER);
  set_range(223, 246, LV_CC_LOWER);
  set_range(248, 255, LV_CC_LOWER);
  set_range(192, 214, LV_CC_UPPER);
  set_range(216, 222, LV_CC_UPPER);
  static const struct {
    char c;
    uint8_t cls;
  } solo[] = {{'!', LV_CC_CUT},      {'|', LV_CC_BAR},       {',', LV_CC_COMMA},     {'"', LV_CC_DQUOTE},
              {'(', LV_CC_LPAREN},   {'{', LV_CC_LBRACE},    {'[', LV_CC_LBRACKET},  {'%', LV_CC_PERCENT},
              {')', LV_CC_RPAREN},   {'}', LV_CC_RBRACE},    {']', LV_CC_RBRACKET},  {';', LV_CC_SEMICOLON},
              {'\'', LV_CC_QUOTE},   {'_', LV_CC_UNDERSCORE}, {'`', LV_CC_BACKQUOTE}};
  for (const auto& s : solo) class_table[static_cast<unsigned char>(s.c) + 1] = s.cls;
  letter_switch = 0;
  reset_cache();
}

uint8_t lv_char_class_cached(int32_t c) {
  uint8_t cls;
  if (c < 0)
    cls = class_table[0];  // end of file, and any other negative value read as it
  else if (c <= 255)
    cls = class_table[c + 1];
  else if (c == 8206 || c == 8207 || c == 8232 || c == 8233)
    cls = LV_CC_LAYOUT;
  else if (letter_switch && letter_lookup(c))
    cls = LV_CC_LOWER;
  else
    cls = LV_CC_OTHER;
  unsigned s = static_cast<unsigned>(c) & 255;
  lv_class_cache[1][s] = lv_class_cache[0][s];
  lv_class_cache[0][s] = {c, cls};
  return cls;
}

int lv_get_unicode_letter_switch() { return letter_switch; }

void lv_set_unicode_letter_switch(int on) {
  int value = on != 0 ? 1 : 0;
  if (value == letter_switch) return;
  letter_switch = value;
  reset_cache();
  lv_atoms_reclassify();
}

void lv_set_letter_lookup(lv_letter_lookup lookup) { letter_lookup = lookup != nullptr ? lookup : unicode_letter; }
