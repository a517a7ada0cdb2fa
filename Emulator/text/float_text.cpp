// Floats as shortest round-trip text.
#include "text/float_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

size_t lv_float_text(double d, char* buffer, size_t size) {
  if (size == 0) return 0;
  char digits[40];
  size_t n = 0;
  if (std::isnan(d)) {
    std::memcpy(digits, "nan", n = 3);
  } else if (std::isinf(d)) {
    n = d < 0 ? 4 : 3;
    std::memcpy(digits, d < 0 ? "-inf" : "inf", n);
  } else {
    // The shortest digits, in plain or exponent form, whichever is shorter.
    auto result = std::to_chars(digits, digits + sizeof digits - 3, d);
    n = static_cast<size_t>(result.ptr - digits);
    char* e = static_cast<char*>(std::memchr(digits, 'e', n));
    if (std::memchr(digits, '.', e != nullptr ? static_cast<size_t>(e - digits) : n) == nullptr) {
      // No fraction: ".0" goes before the exponent, or at the end.
      size_t at = e != nullptr ? static_cast<size_t>(e - digits) : n;
      std::memmove(digits + at + 2, digits + at, n - at);
      digits[at] = '.';
      digits[at + 1] = '0';
      n += 2;
    }
  }
  if (n >= size) n = size - 1;
  std::memcpy(buffer, digits, n);
  buffer[n] = '\0';
  return n;
}
