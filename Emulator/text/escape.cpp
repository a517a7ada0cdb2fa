// The escape machine of quoted items and the character literal parser.
#include "text/escape.h"

#include "text/char_class.h"
#include "text/utf8.h"

int32_t lv_escape_char(lv_escape_state* s, int32_t c) {
  switch (c) {
    case '\\':
    case '\'':
    case '"':
    case '`':
      return c;
    case 'a': return 7;
    case 'b': return 8;
    case 'd': return 127;
    case 'e': return 27;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'v': return 11;
    case 'x':
      s->value = 0;
      s->width = 4;
      s->flags = LV_ESCAPE_NO_DIGIT;
      return LV_ESCAPE_MORE;
    default:
      if (c >= '0' && c <= '7') {
        s->value = c - '0';
        s->width = 3;
        s->flags = 0;
        return LV_ESCAPE_MORE;
      }
      return LV_ESCAPE_UNDEFINED;
  }
}

int32_t lv_escape_digit(lv_escape_state* s, int32_t c) {
  if ((s->flags & LV_ESCAPE_FAILED) != 0) return LV_ESCAPE_OVERFLOW;
  int32_t digit = -1;
  switch (lv_char_class(c)) {
    case LV_CC_DIGIT: digit = c - 48; break;
    case LV_CC_LOWER: digit = c - 87; break;
    case LV_CC_UPPER: digit = c - 55; break;
    default: break;
  }
  if (digit >= 0 && digit < (1 << s->width)) {
    if (s->value > (0x7fffffff >> s->width)) s->flags |= LV_ESCAPE_OVERFLOWED;
    // Unsigned arithmetic: an overflowing value is only flagged, never used.
    s->value = static_cast<int32_t>((static_cast<uint32_t>(s->value) << s->width) + static_cast<uint32_t>(digit));
    s->flags &= static_cast<uint8_t>(~LV_ESCAPE_NO_DIGIT);
    return LV_ESCAPE_MORE;
  }
  if (c == '\\' && (s->flags & LV_ESCAPE_NO_DIGIT) == 0) {
    if ((s->flags & LV_ESCAPE_OVERFLOWED) != 0) {
      s->flags = LV_ESCAPE_FAILED;
      return LV_ESCAPE_MORE;
    }
    return s->value;
  }
  return LV_ESCAPE_BAD_DIGIT;
}

int lv_parse_char_literal(const char* text, int32_t* out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  int32_t code;
  if (p[0] == '\'') {
    if (p[1] != '\'' || p[2] != '\0') return 0;
    code = '\'';
    p += 2;
  } else if (p[0] == '\\') {
    lv_escape_state s;
    lv_escape_reset(&s);
    code = lv_escape_char(&s, p[1]);
    if (p[1] == '\0') return 0;
    p += 2;
    while (code == LV_ESCAPE_MORE) {
      if (*p == '\0') return 0;
      code = lv_escape_digit(&s, *p++);
    }
    if (code < 0) return 0;
  } else {
    int n = LV_wci_code(&code, text);
    if (n <= 0) return 0;
    if (lv_char_class(code) == LV_CC_LAYOUT && code != ' ') return 0;
    p += n;
  }
  if (*p != '\0') return 0;
  *out = code;
  return 1;
}
