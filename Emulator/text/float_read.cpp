// Decimal text to floats. The syntax is checked here; the C library's
// correctly rounded conversion does the arithmetic on exactly the text
// checked, so that none of its own extensions (hexadecimal floats, "inf",
// "nan", locale decimal points) is ever read.
#include "text/float_read.h"

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>

namespace {

locale_t c_locale() {
  static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double lv_text_to_double(const char* text, const char** end) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) p++;
  const char* start = p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const char* digits = p;
  while (is_digit(*p)) p++;
  size_t integer_digits = static_cast<size_t>(p - digits);
  size_t fraction_digits = 0;
  if (*p == '.') {
    const char* fraction = ++p;
    while (is_digit(*p)) p++;
    fraction_digits = static_cast<size_t>(p - fraction);
  }
  if (integer_digits + fraction_digits == 0) {
    if (end != nullptr) *end = text;
    return 0;
  }
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') q++;
    if (is_digit(*q)) {
      while (is_digit(*q)) q++;
      p = q;
    }
  }
  if (end != nullptr) *end = p;
  // "0x..." would be read as hexadecimal: the decimal reading is the 0.
  if (integer_digits == 1 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    return negative ? -0.0 : 0.0;
  int saved = errno;
  errno = 0;
  double d = strtod_l(start, nullptr, c_locale());
  // Only an infinity or a zero is a range error; the library also reports
  // results that are subnormal.
  if (errno == ERANGE && std::isfinite(d) && d != 0) errno = 0;
  if (errno == 0) errno = saved;
  return d;
}

double lv_float_special_from_text(const char* text, int* special) {
  static const struct {
    const char* text;
    double value;
  } specials[] = {
      {"+inf", std::numeric_limits<double>::infinity()},
      {"-inf", -std::numeric_limits<double>::infinity()},
      {"+nan", std::numeric_limits<double>::quiet_NaN()},
      {"-nan", -std::numeric_limits<double>::quiet_NaN()},
  };
  for (const auto& s : specials) {
    if (std::strcmp(text, s.text) == 0) {
      *special = 1;
      return s.value;
    }
  }
  *special = 0;
  if (text[0] == '-') return -lv_text_to_double(text + 1, nullptr);
  return lv_text_to_double(text, nullptr);
}
