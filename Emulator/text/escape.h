// The escape sequences of quoted items: the state machine that reads what
// follows a backslash, and the parser of a single character literal.
#pragma once

#include <cstdint>

// Results of the escape machine besides a finished code (0 and above).
constexpr int32_t LV_ESCAPE_MORE = -10;       // more characters needed
constexpr int32_t LV_ESCAPE_UNDEFINED = -11;  // undefined letter after the backslash
constexpr int32_t LV_ESCAPE_BAD_DIGIT = -12;  // bad character in a numeric escape
constexpr int32_t LV_ESCAPE_OVERFLOW = -13;   // numeric escape above 0x7fffffff

// An open numeric escape: its value so far, the bits per digit (3 octal,
// 4 hex; -1 when no numeric escape is open) and the flag bits below.
struct lv_escape_state {
  int32_t value;
  int32_t width;
  uint8_t flags;
};
constexpr uint8_t LV_ESCAPE_NO_DIGIT = 1;   // \x with no digit yet
constexpr uint8_t LV_ESCAPE_OVERFLOWED = 2; // a digit pushed the value past 31 bits
constexpr uint8_t LV_ESCAPE_FAILED = 4;     // closed after an overflow

inline void lv_escape_reset(lv_escape_state* s) {
  s->value = 0;
  s->width = -1;
  s->flags = 0;
}

// The character after a backslash: the code it stands for,
// LV_ESCAPE_MORE when it opens an octal or hex escape, or
// LV_ESCAPE_UNDEFINED.
int32_t lv_escape_char(lv_escape_state* s, int32_t c);

// One more character of an open numeric escape: the code when c is the
// closing backslash, LV_ESCAPE_MORE, LV_ESCAPE_BAD_DIGIT, or
// LV_ESCAPE_OVERFLOW for the character after an overflowing escape.
int32_t lv_escape_digit(lv_escape_state* s, int32_t c);

// A whole NUL-terminated UTF-8 text as one character: "''" (the quote), a
// backslash escape, or one character that is not layout (the blank
// excepted). 1 with the code stored in *out, or 0.
int lv_parse_char_literal(const char* text, int32_t* out);
