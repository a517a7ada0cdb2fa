// Numbers as text for the writers: integers in any radix, floats in the
// format letters, and the numeric format directives. Texts are returned in
// blocks allocated with LV_malloc, which the caller frees with LV_free; a
// block that cannot be allocated is the fatal memory error.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/term.h"

// Room for the text of every 64-bit integer in radix 2: sign, 64 digits, NUL.
constexpr size_t LV_INT_TEXT_SIZE = 66;

// Writes value in radix |radix| (2..36; a negative radix gives upper-case
// letters for the digits above 9) into buffer, which holds at least
// LV_INT_TEXT_SIZE bytes; returns the text's length.
size_t lv_int_to_text(int64_t value, int radix, char* buffer);

// Precisions of the float letters lie in -LIMIT..LIMIT.
constexpr int64_t LV_FLOAT_PRECISION_LIMIT = 99999;

// The default float format of the writers: letter H, precision 3.
constexpr int LV_DEFAULT_FLOAT_LETTER = 'H';
constexpr int64_t LV_DEFAULT_FLOAT_PRECISION = 3;

// The text of x in a format letter with precision p, or null when p lies
// outside -LIMIT..LIMIT:
//   e, E  p + 1 significant digits in the exponent form, p digits after the
//         point (p below 0 counts as 0);
//   f, F  p digits after the point (p below 0 counts as 0);
//   g, G  p significant digits, trailing zeros dropped; the fixed form when
//         the point lies at -3 .. p, else the exponent form;
//   h, H  the fewest digits that read back as x; the fixed form unless p is
//         negative or the point lies outside -p .. p + the digit count;
//   other letters: the fewest digits, always in the fixed form.
// The exponent form is one digit, ".", the other digits (at least one), the
// letter (e for g and h, E for G and H), a sign and an exponent of at least
// two digits. The fixed form has at least one digit on each side of the
// point. Infinities and NaN are "+inf", "-inf" and "+nan". The block is as
// long as the text needs.
char* lv_format_float(int letter, int64_t precision, double x);

// The text C's printf gives x with "%.*e", "%.*E", "%.*f", "%.*F", "%.*g" or
// "%.*G" for the letter and precision p (p below 0 counts as 0): no point
// at precision 0, trailing zeros of g dropped with the point, "inf", "-inf"
// and "nan" for the non-finite values. Null for another letter or p above
// LIMIT.
char* lv_format_printf_float(int letter, int64_t precision, double x);

// The text of a d, D, r or R format directive with argument n, or null for
// another letter or a number that is no number. d and D write the integer
// in decimal; with n above 0 a "." stands n digits from the right (zeros
// added so that a digit precedes it), and D separates the digits before it
// in groups of three with ",". r and R write it in radix n when n is 2..36,
// else in radix 8, R with upper-case letters. A float is written as by
// letter H with precision 3.
char* lv_format_integer(int letter, int64_t n, lv_term number);

// The text of a number term: an integer in the radix (2..36, negative for
// upper-case letters), a float by lv_format_float with the letter and
// precision (letter H and precision 3 when the precision is out of range).
// Null for a term that is no number. With check_events set, converting a
// big integer runs the event check.
char* lv_number_to_text(lv_term number, int radix, int float_letter, int64_t float_precision, int check_events);
