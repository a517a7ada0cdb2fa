// Floats as text: the fewest significant digits that read back as the same
// double.
#pragma once

#include <cstddef>

// Writes d into buffer (NUL-terminated; at least 32 bytes make every value
// fit) as C-locale text that reads back as d with the fewest digits: always
// with a fraction ("2.0", "1.0e+22"), "-0.0" for negative zero, and "nan",
// "inf" and "-inf" for the values that have no digits. Returns the length.
size_t lv_float_text(double d, char* buffer, size_t size);
