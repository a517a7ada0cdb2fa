// Number text: syntax and values without the heap.
#include "text/number_text.h"

#include <cmath>
#include <cstring>

#include "text/char_class.h"
#include "text/escape.h"
#include "text/float_read.h"
#include "text/utf8.h"

namespace {

// Skips layout characters and comments up to the first other character (or
// the end); false for malformed UTF-8 or an unclosed comment.
bool skip_layout(const char*& p) {
  for (;;) {
    if (*p == '\0') return true;
    if (p[0] == '/' && p[1] == '*') {
      const char* close = std::strstr(p + 2, "*/");
      if (close == nullptr) return false;
      p = close + 2;
      continue;
    }
    if (*p == '%') {
      const char* newline = std::strchr(p, '\n');
      if (newline == nullptr) return false;
      p = newline + 1;
      continue;
    }
    int32_t code = 0;
    int n = LV_wci_code(&code, p);
    if (n <= 0) return false;
    if (lv_char_class(code) != LV_CC_LAYOUT) return true;
    p += n;
  }
}

void skip_continuations(const char*& p) {
  while (p[0] == '\\' && p[1] == '\n') p += 2;
}

// A quoted minus at p (a single quote): '-', '\0..055\' with at least one
// leading zero, or '\x0..2d\' in either case. The position after the closing
// quote, or null.
const char* quoted_minus(const char* p) {
  p++;
  skip_continuations(p);
  if (*p == '-') {
    p++;
  } else if (p[0] == '\\' && p[1] == '0') {
    p++;
    while (*p == '0') p++;
    if (p[0] != '5' || p[1] != '5' || p[2] != '\\') return nullptr;
    p += 3;
  } else if (p[0] == '\\' && p[1] == 'x') {
    p += 2;
    while (*p == '0') p++;
    if (p[0] != '2' || (p[1] != 'd' && p[1] != 'D') || p[2] != '\\') return nullptr;
    p += 3;
  } else {
    return nullptr;
  }
  skip_continuations(p);
  return *p == '\'' ? p + 1 : nullptr;
}

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int lv_scan_number(const char* text, int radix, int flags, lv_number_scan* out) {
  if (radix < 2 || radix > 36) return LV_NUMBER_SYNTAX;
  const char* p = text;
  bool negative = false;
  if ((flags & LV_NUMBER_DIRECT) == 0) {
    if (!skip_layout(p)) return LV_NUMBER_SYNTAX;
    if (*p == '-' || *p == '+') {
      if (*p == '+' && (flags & LV_NUMBER_PLUS_SIGN) == 0) return LV_NUMBER_SYNTAX;
      negative = *p++ == '-';
      if (*p == '/' || !skip_layout(p)) return LV_NUMBER_SYNTAX;
    } else if (*p == '\'') {
      p = quoted_minus(p);
      if (p == nullptr || !skip_layout(p)) return LV_NUMBER_SYNTAX;
      negative = true;
    }
  }
  out->negative = negative ? 1 : 0;
  if (radix == 10 && p[0] == '0') {
    if (p[1] == '\'') {
      int32_t code = 0;
      if (!lv_parse_char_literal(p + 2, &code)) return LV_NUMBER_SYNTAX;
      out->kind = LV_NUMBER_SMALL;
      out->radix = 10;
      out->value = negative ? -int64_t{code} : int64_t{code};
      return 0;
    }
    int prefixed = p[1] == 'b' ? 2 : p[1] == 'o' ? 8 : p[1] == 'x' ? 16 : 0;
    if (prefixed != 0) {
      radix = prefixed;
      p += 2;
    }
  }
  const char* digits = p;
  while (digit_value(*p) < radix) p++;
  if (p == digits) return LV_NUMBER_SYNTAX;
  if (radix == 10 && p[0] == '.' && is_digit(p[1])) {
    p++;
    while (is_digit(*p)) p++;
    if (*p == 'e' || *p == 'E') {
      p++;
      if (*p == '+' || *p == '-') p++;
      if (!is_digit(*p)) return LV_NUMBER_SYNTAX;
      while (is_digit(*p)) p++;
    }
    if (*p != '\0') return LV_NUMBER_SYNTAX;
    double d = lv_text_to_double(digits, nullptr);
    if (std::isinf(d)) return LV_NUMBER_OUT_OF_RANGE;
    out->kind = LV_NUMBER_FLOAT;
    out->radix = 10;
    out->float_value = negative ? -d : d;
    return 0;
  }
  if (*p != '\0') return LV_NUMBER_SYNTAX;
  out->radix = radix;
  size_t count = static_cast<size_t>(p - digits);
  if (radix == 10 && count <= 8) {
    int64_t v = 0;
    for (const char* q = digits; q < p; q++) v = v * 10 + (*q - '0');
    out->kind = LV_NUMBER_SMALL;
    out->value = negative ? -v : v;
    return 0;
  }
  out->kind = LV_NUMBER_DIGITS;
  out->digits = digits;
  return 0;
}
