// Numbers as text for the writers.
#include "text/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/fault.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "machine/bignum.h"
#include "text/float_digits.h"

namespace {

char* new_block(size_t size) {
  char* block = static_cast<char*>(LV_malloc(size));
  if (block == nullptr) lv_memory_fault("Resource error: insufficient memory", LV_CAT_LV_MALLOC);
  return block;
}

char* copy_text(const char* text, size_t length) {
  char* block = new_block(length + 1);
  std::memcpy(block, text, length);
  block[length] = '\0';
  return block;
}

// Appends to a block whose size was computed beforehand.
struct text_out {
  char* p;
  void put(char c) { *p++ = c; }
  void put(const char* s, size_t n) {
    std::memcpy(p, s, n);
    p += n;
  }
  void zeros(int64_t n) {
    if (n <= 0) return;
    std::memset(p, '0', static_cast<size_t>(n));
    p += n;
  }
};

// A float as digits 0.d1d2...dn * 10^decpt, laid out in the fixed or the
// exponent form with at least min_fraction digits after the point.
struct float_layout {
  const char* digits;
  int64_t n;
  int64_t decpt;
  bool negative;
  int64_t min_fraction;
  char exponent_letter;  // 0: the fixed form

  int64_t fixed_fraction() const {
    int64_t f = decpt < 0 ? -decpt + n : (n > decpt ? n - decpt : 0);
    return f > min_fraction ? f : min_fraction;
  }

  size_t size() const {
    if (exponent_letter != 0) {
      int64_t fraction = n - 1 > min_fraction ? n - 1 : min_fraction;
      return static_cast<size_t>(1 + 2 + fraction + 2 + 4 + 1);  // sign, "d.", fraction, letter and sign, exponent, NUL
    }
    int64_t integer = decpt > 0 ? decpt : 1;
    return static_cast<size_t>(1 + integer + 1 + fixed_fraction() + 1);
  }

  char* write() const {
    char* block = new_block(size());
    text_out out{block};
    if (negative) out.put('-');
    if (exponent_letter != 0) {
      out.put(digits[0]);
      out.put('.');
      out.put(digits + 1, static_cast<size_t>(n - 1));
      out.zeros(min_fraction - (n - 1));
      out.put(exponent_letter);
      int64_t e = decpt - 1;
      out.put(e < 0 ? '-' : '+');
      if (e < 0) e = -e;
      char text[LV_INT_TEXT_SIZE];
      size_t length = lv_int_to_text(e, 10, text);
      if (length < 2) out.put('0');
      out.put(text, length);
    } else {
      if (decpt <= 0) {
        out.put('0');
      } else {
        int64_t lead = decpt < n ? decpt : n;
        out.put(digits, static_cast<size_t>(lead));
        out.zeros(decpt - lead);
      }
      out.put('.');
      int64_t written = 0;
      if (decpt < 0) {
        out.zeros(-decpt);
        out.put(digits, static_cast<size_t>(n));
        written = -decpt + n;
      } else if (n > decpt) {
        out.put(digits + decpt, static_cast<size_t>(n - decpt));
        written = n - decpt;
      }
      out.zeros(min_fraction - written);
    }
    out.put('\0');
    return block;
  }
};

// The integer text of a small integer or an integer box.
char* integer_text(lv_term number, int radix, int check_events) {
  if (lv_is_small(number)) {
    char* block = new_block(LV_INT_TEXT_SIZE);
    lv_int_to_text(lv_small_value(number), radix, block);
    return block;
  }
  return lv_bignum_to_text(lv_struct_cells(number), radix, check_events);
}

// Inserts the point n digits from the right of an integer text, and for D
// the groups of three before it; frees the text given.
char* place_point(char* text, int64_t n, bool group) {
  const char* digits = text;
  bool negative = *digits == '-';
  if (negative) digits++;
  int64_t count = static_cast<int64_t>(std::strlen(digits));
  int64_t pad = n > 0 && count <= n ? n + 1 - count : 0;  // zeros that make a digit precede the point
  int64_t integer = count + pad - (n > 0 ? n : 0);
  int64_t commas = group ? (integer - 1) / 3 : 0;
  char* block = new_block(static_cast<size_t>(1 + count + pad + 1 + commas + 1));
  text_out out{block};
  if (negative) out.put('-');
  // The integer part's digits, then the fraction's, of the padded digit
  // string.
  for (int64_t i = 0; i < count + pad; i++) {
    if (i == integer) out.put('.');
    else if (group && i > 0 && i < integer && (integer - i) % 3 == 0) out.put(',');
    out.put(i < pad ? '0' : digits[i - pad]);
  }
  out.put('\0');
  LV_free(text);
  return block;
}

}  // namespace

size_t lv_int_to_text(int64_t value, int radix, char* buffer) {
  const char* letters = radix < 0 ? "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ" : "0123456789abcdefghijklmnopqrstuvwxyz";
  uint64_t r = static_cast<uint64_t>(radix < 0 ? -radix : radix);
  LV_ASSERT(r >= 2 && r <= 36);
  size_t n = 0;
  uint64_t magnitude = static_cast<uint64_t>(value);
  if (value < 0) {
    buffer[n++] = '-';
    magnitude = 0 - magnitude;
  }
  size_t first = n;
  do {
    buffer[n++] = letters[magnitude % r];
    magnitude /= r;
  } while (magnitude != 0);
  for (size_t i = first, j = n - 1; i < j; i++, j--) {
    char c = buffer[i];
    buffer[i] = buffer[j];
    buffer[j] = c;
  }
  buffer[n] = '\0';
  return n;
}

char* lv_format_float(int letter, int64_t precision, double x) {
  if (precision < -LV_FLOAT_PRECISION_LIMIT || precision > LV_FLOAT_PRECISION_LIMIT) return nullptr;
  if (std::isnan(x)) return copy_text("+nan", 4);
  if (std::isinf(x)) return copy_text(x < 0 ? "-inf" : "+inf", 4);
  int p = static_cast<int>(precision);
  int nonnegative = p < 0 ? 0 : p;
  char digits[LV_DIGITS_BUFFER_SIZE];
  int decpt = 0;
  int sign = 0;
  float_layout layout{digits, 0, 0, false, 1, 0};
  switch (letter) {
    case 'e':
    case 'E':
      lv_double_to_digits(x, LV_DIGITS_SIGNIFICANT, nonnegative + 1, &decpt, &sign, digits, sizeof digits);
      layout.exponent_letter = static_cast<char>(letter);
      layout.min_fraction = nonnegative > 1 ? nonnegative : 1;
      break;
    case 'f':
    case 'F':
      lv_double_to_digits(x, LV_DIGITS_FIXED, nonnegative, &decpt, &sign, digits, sizeof digits);
      layout.min_fraction = nonnegative > 1 ? nonnegative : 1;
      break;
    case 'g':
    case 'G':
      lv_double_to_digits(x, LV_DIGITS_SIGNIFICANT, p, &decpt, &sign, digits, sizeof digits);
      if (decpt < -3 || decpt > p) layout.exponent_letter = letter == 'g' ? 'e' : 'E';
      break;
    case 'h':
    case 'H': {
      lv_double_to_digits(x, LV_DIGITS_SHORTEST, 0, &decpt, &sign, digits, sizeof digits);
      int64_t count = static_cast<int64_t>(std::strlen(digits));
      if (p < 0 || decpt < -p || decpt > p + count) layout.exponent_letter = letter == 'h' ? 'e' : 'E';
      break;
    }
    default:
      lv_double_to_digits(x, LV_DIGITS_SHORTEST, 0, &decpt, &sign, digits, sizeof digits);
      break;
  }
  layout.n = static_cast<int64_t>(std::strlen(digits));
  layout.decpt = decpt;
  layout.negative = sign != 0;
  return layout.write();
}

char* lv_format_printf_float(int letter, int64_t precision, double x) {
  if (precision < -LV_FLOAT_PRECISION_LIMIT || precision > LV_FLOAT_PRECISION_LIMIT) return nullptr;
  if (std::strchr("eEfFgG", letter) == nullptr || letter == 0) return nullptr;
  const char format[] = {'%', '.', '*', static_cast<char>(letter), '\0'};
  int p = precision < 0 ? 0 : static_cast<int>(precision);
  int length = std::snprintf(nullptr, 0, format, p, x);
  if (length < 0) return nullptr;
  char* block = new_block(static_cast<size_t>(length) + 1);
  std::snprintf(block, static_cast<size_t>(length) + 1, format, p, x);
  return block;
}

char* lv_format_integer(int letter, int64_t n, lv_term number) {
  number = lv_deref(number);
  int radix = 10;
  switch (letter) {
    case 'd':
    case 'D':
      break;
    case 'r':
    case 'R':
      radix = n >= 2 && n <= 36 ? static_cast<int>(n) : 8;
      if (letter == 'R') radix = -radix;
      break;
    default:
      return nullptr;
  }
  if (lv_is_float_box(number))
    return lv_format_float(LV_DEFAULT_FLOAT_LETTER, LV_DEFAULT_FLOAT_PRECISION, lv_float_value(number));
  if (!lv_is_integer(number)) return nullptr;
  char* text = integer_text(number, radix, 0);
  if (letter == 'd' || letter == 'D') {
    if (n > 0 || letter == 'D') return place_point(text, n, letter == 'D');
  }
  return text;
}

char* lv_number_to_text(lv_term number, int radix, int float_letter, int64_t float_precision, int check_events) {
  number = lv_deref(number);
  if (lv_is_integer(number)) return integer_text(number, radix, check_events);
  if (!lv_is_float_box(number)) return nullptr;
  double x = lv_float_value(number);
  char* text = lv_format_float(float_letter, float_precision, x);
  if (text == nullptr) text = lv_format_float(LV_DEFAULT_FLOAT_LETTER, LV_DEFAULT_FLOAT_PRECISION, x);
  return text;
}
