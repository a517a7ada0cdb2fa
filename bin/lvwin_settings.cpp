// The settings file: lines of a name, spaces or tabs, and a decimal number.
// The first line that begins with the name decides; a value that is no
// run of digits gives the default. It is read anew for every setting.
#include <cstring>

#include "lvwin.h"
#include "lvwin_runtime.h"

namespace {

constexpr int64_t NEWLINE = 10;
constexpr int64_t RETURN = 13;
constexpr int64_t LARGEST = 0x7FFFFFFF;

bool is_blank(int64_t c) { return c == ' ' || c == '\t'; }

}  // namespace

lv_stream* lvwin_open_file(const char* path, bool write) {
  // The encoding as a term: encoding('UTF-8', default, default).
  lv_term_ref t = rt::new_term_ref();
  lv_term_ref name = rt::new_term_ref();
  lv_term_ref signature = rt::new_term_ref();
  lv_term_ref end_of_line = rt::new_term_ref();
  lv_stream* s = nullptr;
  if (rt::put_string(name, "UTF-8") != 0 && rt::put_string(signature, "default") != 0 &&
      rt::put_string(end_of_line, "default") != 0 &&
      rt::cons_functor(t, rt::atom_from_string("encoding"), name, signature, end_of_line) != 0 &&
      rt::fopen(path, static_cast<uintptr_t>(t),
                (write ? LVWIN_OPEN_WRITE : LVWIN_OPEN_READ) | LVWIN_OPEN_ENCODING_REF, &s) < 0)
    s = nullptr;
  rt::reset_term_refs(t);
  return s;
}

int lvwin_read_setting(const char* name, int fallback) {
  lv_stream* s = lvwin_open_file(LVWIN_SETTINGS_FILE, false);
  if (s == nullptr) return fallback;
  size_t name_length = std::strlen(name);
  int result = fallback;
  for (;;) {
    size_t at = 0;  // characters of the line read
    bool named = true, digits = false, other = false, after_value = false;
    int64_t value = 0;
    int64_t c;
    while ((c = rt::get_code(s)) >= 0 && c != NEWLINE && c != RETURN) {
      if (at < name_length) {
        named = named && c == static_cast<unsigned char>(name[at]);
      } else if (named && !after_value) {
        if (is_blank(c)) {
          after_value = digits || other;
        } else if (c >= '0' && c <= '9') {
          // Beyond the largest 32-bit value the setting stays at it.
          value = value * 10 + (c - '0');
          if (value > LARGEST) value = LARGEST;
          digits = true;
        } else {
          other = true;
        }
      }
      at++;
    }
    if (c < -1 || (c == -1 && at == 0)) break;  // a read error, or the end
    if (named && at >= name_length) {
      if (digits && !other) result = static_cast<int>(value);
      break;
    }
    if (c == -1) break;
  }
  (void)rt::fclose(s);
  return result;
}
