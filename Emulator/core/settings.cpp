// Settings readers of the runtime.
#include "core/settings.h"

#include <cstring>

#include "core/memory.h"
#include "core/registry.h"
#include "lvio/settings.h"

namespace {

// Settings are read into a buffer of this size; longer values count as absent.
constexpr size_t SETTING_TEXT_MAX = 100;

bool read_setting(const char* name, char (&buffer)[SETTING_TEXT_MAX]) {
  size_t size = sizeof buffer;
  return lvio_setting_get(name, buffer, &size, 0) >= 0;
}

// The setting, else the installation value of the same name.
bool read_setting_or_installed(const char* name, char (&buffer)[SETTING_TEXT_MAX]) {
  return read_setting(name, buffer) || lv_registry_value(name, buffer, sizeof buffer) != nullptr;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Matches text against a lower-case word, letters in either case, with
// nothing after it.
bool matches_word(const char* text, const char* word) {
  for (; *word != '\0'; text++, word++) {
    char c = *text;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *word) return false;
  }
  return *text == '\0';
}

}  // namespace

uint64_t lv_parse_size_setting(const char* text, uint64_t deflt, uint64_t minimum) {
  const char* p = text;
  while (is_blank(*p)) p++;
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    uint64_t digit = static_cast<uint64_t>(*p - '0');
    if (__builtin_mul_overflow(value, 10, &value) || __builtin_add_overflow(value, digit, &value))
      return deflt > minimum ? deflt : minimum;
  }
  while (is_blank(*p)) p++;
  unsigned shift = 0;
  switch (*p) {
    case 'K': case 'k': shift = 10; break;
    case 'M': case 'm': shift = 20; break;
    case 'G': case 'g': shift = 30; break;
    default: break;
  }
  if (shift != 0) {
    if (value > (UINT64_MAX >> shift))
      value = deflt;
    else
      value <<= shift;
  }
  return value > minimum ? value : minimum;
}

uint64_t lv_getenv_int_suffixed(const char* name, uint64_t deflt, uint64_t minimum) {
  char text[SETTING_TEXT_MAX];
  if (!read_setting_or_installed(name, text)) return deflt > minimum ? deflt : minimum;
  return lv_parse_size_setting(text, deflt, minimum);
}

int32_t lv_getenv_yes_no(const char* name, int32_t deflt) {
  char text[SETTING_TEXT_MAX];
  if (!read_setting_or_installed(name, text)) return deflt;
  if (matches_word(text, "yes")) return 1;
  if (matches_word(text, "no")) return 0;
  return deflt;
}

char* lv_get_property_text_default(const char* name, char* buffer, size_t* size) {
  if (size != nullptr) {
    if (buffer == nullptr) return nullptr;
    return lvio_setting_get(name, buffer, size, 0) >= 0 ? buffer : nullptr;
  }
  if (buffer != nullptr) return nullptr;
  // Try a small block first, then once more at the size the lookup reports.
  size_t want = 20;
  for (int attempt = 0; attempt < 2; attempt++) {
    char* text = static_cast<char*>(LV_malloc(want));
    if (text == nullptr) return nullptr;
    size_t got = want;
    lvio_code rc = lvio_setting_get(name, text, &got, 0);
    if (rc >= 0) return text;
    LV_free(text);
    if (rc != LVIO_E_OUT_OF_MEMORY) return nullptr;
    want = got;
  }
  return nullptr;
}
