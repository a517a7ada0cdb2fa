// Text comparisons that ignore case, and the locale's character set.
#include "lvio/locale_text.h"

#include <langinfo.h>
#include <locale.h>
#include <wctype.h>

#include <cstring>

#include "lvio/allocator.h"
#include "lvio/path_text.h"

namespace {

lvio_code order_of(int c) { return c < 0 ? LVIO_COMPARE_LESS : c > 0 ? LVIO_COMPARE_GREATER : LVIO_COMPARE_EQUAL; }

int ascii_upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Whatever locale the process has set: only ASCII letters fold.
int ascii_fold_compare(const char* a, const char* b) {
  const auto* p = reinterpret_cast<const unsigned char*>(a);
  const auto* q = reinterpret_cast<const unsigned char*>(b);
  while (*p != 0 && ascii_upper(*p) == ascii_upper(*q)) p++, q++;
  return ascii_upper(*p) - ascii_upper(*q);
}

// The code point at p (well-formed UTF-8), moving p past it.
uint32_t next_code(const unsigned char*& p) {
  unsigned char b = *p++;
  if (b < 0x80) return b;
  int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
  uint32_t code = b & (0x3F >> more);
  while (more-- > 0) code = (code << 6) | (*p++ & 0x3F);
  return code;
}

// The locale whose case mapping covers all of Unicode; made once, kept.
locale_t unicode_locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

}  // namespace

lvio_code lvio_locale_compare(const char* a, const char* b) {
  locale_t locale = unicode_locale();
  if (locale == static_cast<locale_t>(0) || !lvio_utf8_valid(a, std::strlen(a)) || !lvio_utf8_valid(b, std::strlen(b)))
    return order_of(ascii_fold_compare(a, b));
  const auto* p = reinterpret_cast<const unsigned char*>(a);
  const auto* q = reinterpret_cast<const unsigned char*>(b);
  while (*p != 0 && *q != 0) {
    auto x = static_cast<uint32_t>(towupper_l(next_code(p), locale));
    auto y = static_cast<uint32_t>(towupper_l(next_code(q), locale));
    if (x != y) return x < y ? LVIO_COMPARE_LESS : LVIO_COMPARE_GREATER;
  }
  return order_of((*p != 0) - (*q != 0));
}

lvio_code lvio_ascii_compare(const char* a, const char* b) {
  if (b == nullptr) return a[0] == '\0' ? LVIO_COMPARE_EQUAL : LVIO_E_PARAMETER_ERROR;
  return order_of(ascii_fold_compare(a, b));
}

lvio_code lvio_ansi_charset_name(char** out) {
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return LVIO_E_OS_ERROR;
  char* name = lvio_strdup(nl_langinfo_l(CODESET, locale));
  freelocale(locale);
  if (name == nullptr) return LVIO_E_OUT_OF_MEMORY;
  *out = name;
  return 0;
}
