// Decimal text to floats, correctly rounded.
#pragma once

// Reads a float from text in the C locale: white space (C isspace) is
// skipped, then an optional sign, digits with an optional fraction (at least
// one digit in all) and an optional exponent. The result is correctly
// rounded in the current rounding mode. Overflow gives an infinity and
// underflow to zero gives zero, each with errno set to ERANGE; otherwise
// errno is left alone. *end (when end is given) receives the first unread
// position, or text itself when no number was read (the result is then 0).
// Hexadecimal forms, "inf" and "nan" are not read.
double lv_text_to_double(const char* text, const char** end);

// The float items of quick-load files: "+inf" and "-inf" give the
// infinities, "+nan" the canonical NaN and "-nan" the NaN with the sign bit
// set, each with *special = 1. Otherwise *special = 0 and the text is read by
// lv_text_to_double, a leading "-" by negating the value read after it.
double lv_float_special_from_text(const char* text, int* special);
