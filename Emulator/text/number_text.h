// Number text: the syntax of a number written as a whole text, read into a
// value description that the term builder of the engine core turns into a
// number term.
#pragma once

#include <cstddef>
#include <cstdint>

// Flags of the number reader.
constexpr int LV_NUMBER_DIRECT = 1;      // the text begins with the number: no sign, no layout
constexpr int LV_NUMBER_PLUS_SIGN = 4;   // a leading "+" is accepted

// Errors of the number reader.
constexpr int LV_NUMBER_SYNTAX = 1;      // not a number
constexpr int LV_NUMBER_OUT_OF_RANGE = 2;  // a float that reads as an infinity
constexpr int LV_NUMBER_TOO_LARGE = 4;   // an integer that cannot be built

enum lv_number_kind : int {
  LV_NUMBER_SMALL = 1,    // integer whose value is in `value`
  LV_NUMBER_DIGITS = 2,   // integer given by its digits, to be read as a big integer
  LV_NUMBER_FLOAT = 3,    // float in `float_value`, sign applied
};

struct lv_number_scan {
  lv_number_kind kind;
  int negative;        // 1 for a negative integer (LV_NUMBER_DIGITS: sign not in the digits)
  int radix;           // radix of the digits
  const char* digits;  // LV_NUMBER_DIGITS: the digits, running to the end of the text
  int64_t value;       // LV_NUMBER_SMALL: the value, sign applied
  double float_value;  // LV_NUMBER_FLOAT
};

// Reads a whole NUL-terminated UTF-8 text as one number in radix 2-36.
// Unless LV_NUMBER_DIRECT is given: layout, "/* */" and "%" comments (each
// closed) come first, then an optional sign ("-", a quoted minus '-' or its
// escapes '\0..55\' and '\x0..2d\', or "+" with LV_NUMBER_PLUS_SIGN), which
// layout and comments may follow ("-" must not be followed by "/"). Then, in
// radix 10, "0'" and one character literal, or "0b", "0o", "0x" and digits of
// radix 2, 8, 16; or digits of the radix (letters either case above 10); in
// radix 10 digits with a fraction and an optional exponent make a float.
// Nothing may follow the number. Returns 0 with *out filled, or an error.
int lv_scan_number(const char* text, int radix, int flags, lv_number_scan* out);
