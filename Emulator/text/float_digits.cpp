// Floats as decimal digit strings.
#include "text/float_digits.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// A double has at most 767 significant decimal digits; more precision only
// pads with zeros.
constexpr int EXACT_PRECISION = 780;

struct digit_string {
  char d[EXACT_PRECISION + 16];
  int n;      // digits in d
  int decpt;  // value = 0.d * 10^decpt
};

// Reads the mantissa digits and the exponent of to_chars scientific output
// ("d.ddde+XX") of a positive value.
void from_scientific(const char* text, const char* end, digit_string* out) {
  out->n = 0;
  const char* p = text;
  for (; p < end && *p != 'e'; p++)
    if (*p != '.') out->d[out->n++] = *p;
  int exponent = 0;
  bool negative = p + 1 < end && p[1] == '-';
  for (p += 2; p < end; p++) exponent = exponent * 10 + (*p - '0');
  if (negative) exponent = -exponent;
  out->decpt = exponent + 1;
  while (out->n > 1 && out->d[out->n - 1] == '0') out->n--;
}

// The exact decimal expansion of a positive finite value.
void exact_digits(double x, digit_string* out) {
  char text[EXACT_PRECISION + 32];
  auto r = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific, EXACT_PRECISION);
  from_scientific(text, r.ptr, out);
}

// Rounds the exact digits to the first keep of them (keep >= 0), ties to
// even; trailing zeros are dropped. With keep 0 the value becomes one unit
// of the rounding place or nothing.
void round_digits(digit_string* s, int keep) {
  if (keep >= s->n) return;
  char first = s->d[keep];
  bool rest_nonzero = false;
  for (int i = keep + 1; i < s->n; i++) rest_nonzero |= s->d[i] != '0';
  bool up = first > '5' || (first == '5' && rest_nonzero) ||
            (first == '5' && keep > 0 && ((s->d[keep - 1] - '0') & 1) != 0);
  if (keep == 0) {
    s->n = 0;
    if (up) {
      s->d[s->n++] = '1';
      s->decpt++;
    }
    return;
  }
  s->n = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && s->d[i] == '9') i--;
    if (i < 0) {
      s->d[0] = '1';
      s->n = 1;
      s->decpt++;
    } else {
      s->d[i]++;
      s->n = i + 1;
    }
  }
  while (s->n > 0 && s->d[s->n - 1] == '0') s->n--;
}

char* put(char* buffer, size_t size, const char* text, size_t n) {
  if (size == 0) return buffer;
  if (n >= size) n = size - 1;
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return buffer;
}

}  // namespace

char* lv_double_to_digits(double x, int mode, int ndigits, int* decpt, int* sign, char* buffer, size_t size) {
  *sign = std::signbit(x) ? 1 : 0;
  if (!std::isfinite(x)) {
    *decpt = 9999;
    return std::isnan(x) ? put(buffer, size, "NaN", 3) : put(buffer, size, "Infinity", 8);
  }
  x = std::fabs(x);
  if (x == 0) {
    *decpt = 1;
    return put(buffer, size, "0", 1);
  }
  digit_string s;
  if (mode == LV_DIGITS_SIGNIFICANT || mode == LV_DIGITS_FIXED) {
    exact_digits(x, &s);
    if (mode == LV_DIGITS_SIGNIFICANT) {
      round_digits(&s, ndigits < 1 ? 1 : ndigits);
    } else {
      if (ndigits < -100000) ndigits = -100000;  // keeps -ndigits in range; nothing is kept anyway
      // Digits before the point plus ndigits after it; clamped where the
      // expansion has no more digits anyway.
      long keep = static_cast<long>(s.decpt) + ndigits;
      if (keep > s.n) keep = s.n;
      if (keep < 0)
        s.n = 0;
      else
        round_digits(&s, static_cast<int>(keep));
      if (s.n == 0) s.decpt = -ndigits;
    }
  } else {
    char text[64];
    auto r = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific);
    from_scientific(text, r.ptr, &s);
  }
  *decpt = s.decpt;
  return put(buffer, size, s.d, static_cast<size_t>(s.n));
}
