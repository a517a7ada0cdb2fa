// Text comparisons that ignore case, and the character set of the user's
// locale. The layer never changes the process's locale.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

// Results of the comparisons.
constexpr lvio_code LVIO_COMPARE_LESS = LVIO_S_PRIVATE_ERROR_0 + 1;
constexpr lvio_code LVIO_COMPARE_EQUAL = LVIO_S_PRIVATE_ERROR_0 + 2;
constexpr lvio_code LVIO_COMPARE_GREATER = LVIO_S_PRIVATE_ERROR_0 + 3;

// Two UTF-8 texts compared code point by code point, each taken in upper
// case. Text that is not UTF-8 is compared byte by byte, ASCII letters in
// either case alike.
[[nodiscard]] lvio_code lvio_locale_compare(const char* a, const char* b);

// Byte by byte, ASCII letters in either case alike. A null b counts as the
// empty text, except that a longer a is then LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_ascii_compare(const char* a, const char* b);

// The name of the character set of the locale that the environment names
// (LC_ALL, LC_CTYPE, LANG), as the C library gives it ("UTF-8",
// "ANSI_X3.4-1968", "ISO-8859-15", ...), in a new lvio_alloc block.
// LVIO_E_OS_ERROR when the environment names a locale that is not installed.
[[nodiscard]] lvio_code lvio_ansi_charset_name(char** out);
