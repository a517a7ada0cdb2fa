// Floats as decimal digit strings: the digits, the position of the decimal
// point and the sign, for the writers to lay out.
#pragma once

#include <cstddef>

// Modes of lv_double_to_digits.
constexpr int LV_DIGITS_SHORTEST = 0;     // fewest digits that read back as x
constexpr int LV_DIGITS_SIGNIFICANT = 2;  // at most ndigits significant digits
constexpr int LV_DIGITS_FIXED = 3;        // ndigits digits after the point

// A buffer of this size holds the digits of every double in every mode.
constexpr size_t LV_DIGITS_BUFFER_SIZE = 800;

// Writes the correctly rounded (ties to even) digits of x into buffer,
// NUL-terminated, with trailing zeros dropped, and returns buffer. The value
// is 0.d1d2... * 10^*decpt; *sign is 1 when the sign bit of x is set. Zero
// gives "0" with *decpt 1. In the fixed mode a value that rounds to zero
// gives no digits with *decpt = -ndigits. Infinities and NaNs give
// "Infinity" and "NaN" with *decpt 9999. Mode 2 with ndigits below 1 gives
// one digit. A buffer shorter than LV_DIGITS_BUFFER_SIZE gets the digits cut
// to fit (the text is then not rounded).
char* lv_double_to_digits(double x, int mode, int ndigits, int* decpt, int* sign, char* buffer, size_t size);
