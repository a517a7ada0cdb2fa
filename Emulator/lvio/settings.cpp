// Settings lookup and typed setting readers.
#include "lvio/settings.h"

#include <cstring>

#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "lvio/os_environment.h"

namespace {

const lvio_override_table* installed_overrides;

// Typed settings are read into a buffer of this size; longer values count as
// absent.
constexpr size_t TYPED_SETTING_MAX = 100;

bool item_valid(const lvio_override_item& item) {
  if (item.kind == LVIO_OVERRIDE_EMPTY) return true;
  return item.kind == LVIO_OVERRIDE_SETTING && item.name != nullptr && item.value != nullptr;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The whole text is the word, each letter in either case.
bool matches_word(const char* text, const char* lower, const char* upper) {
  for (; *lower != '\0'; text++, lower++, upper++)
    if (*text != *lower && *text != *upper) return false;
  return *text == '\0';
}

}  // namespace

lvio_code lvio_install_overrides(const lvio_override_table* table, uint32_t flags) {
  if ((flags & 1) != 0 || table == nullptr) {
    installed_overrides = nullptr;
    return 0;
  }
  if (table->version != 1) return LVIO_E_VERSION_ERROR;
  if (table->items == nullptr && table->count != 0) return LVIO_E_PARAMETER_ERROR;
  for (uint64_t i = 0; i < table->count; i++)
    if (!item_valid(table->items[i])) return LVIO_E_PARAMETER_ERROR;
  installed_overrides = table;
  return 0;
}

const lvio_override_table* lvio_installed_overrides() { return installed_overrides; }

lvio_code lvio_override_lookup(const char* name, const char** value) {
  const lvio_override_table* t = installed_overrides;
  if (t == nullptr) return LVIO_E_NOT_FOUND;
  for (uint64_t i = 0; i < t->count; i++) {
    const lvio_override_item& item = t->items[i];
    if (item.kind == LVIO_OVERRIDE_SETTING && std::strcmp(item.name, name) == 0) {
      *value = item.value;
      return 0;
    }
  }
  return LVIO_E_NOT_FOUND;
}

lvio_code lvio_copy_setting_text(const char* value, char* buffer, size_t* size) {
  size_t needed = std::strlen(value) + 1;
  size_t room = buffer != nullptr ? *size : 0;
  *size = needed;
  if (room < needed) return LVIO_E_OUT_OF_MEMORY;
  std::memcpy(buffer, value, needed);
  return 0;
}

lvio_code lvio_setting_get(const char* name, char* buffer, size_t* size, uint32_t flags) {
  if (name == nullptr || size == nullptr) return LVIO_E_PARAMETER_ERROR;
  if ((flags & LVIO_SETTING_SKIP_OVERRIDES) == 0) {
    const char* value;
    if (lvio_override_lookup(name, &value) == 0) return lvio_copy_setting_text(value, buffer, size);
    lvio_code rc = lvio_private_environment_lookup(name, buffer, size);
    if (rc != LVIO_E_NOT_FOUND) return rc;
  }
  if ((flags & LVIO_SETTING_SKIP_PROCESS_ENV) == 0) return lvio_getenv(name, buffer, size, 0);
  return LVIO_E_NOT_FOUND;
}

char* lvio_setting_get_string(const char* name) {
  size_t want = 20;
  for (int attempt = 0; attempt < 2; attempt++) {
    auto* text = static_cast<char*>(lvio_alloc(want));
    if (text == nullptr) return nullptr;
    size_t got = want;
    lvio_code rc = lvio_setting_get(name, text, &got, 0);
    if (rc >= 0) return text;
    lvio_free(text);
    if (rc != LVIO_E_OUT_OF_MEMORY) return nullptr;
    want = got;
  }
  return nullptr;
}

lvio_code lvio_parse_boolean(const char* text, int* value) {
  static const struct {
    const char* lower;
    const char* upper;
    int value;
  } words[] = {{"yes", "YES", 1}, {"no", "NO", 0}, {"true", "TRUE", 1}, {"false", "FALSE", 0}};
  for (const auto& w : words) {
    if (matches_word(text, w.lower, w.upper)) {
      *value = w.value;
      return 0;
    }
  }
  return LVIO_E_INVALID_NAME;
}

int lvio_setting_boolean_flags(const char* name, int deflt, uint32_t lookup_flags) {
  char text[TYPED_SETTING_MAX];
  size_t size = sizeof text;
  int value;
  if (lvio_setting_get(name, text, &size, lookup_flags) < 0 || lvio_parse_boolean(text, &value) < 0) return deflt;
  return value;
}

int lvio_setting_boolean(const char* name, int deflt) { return lvio_setting_boolean_flags(name, deflt, 0); }

lvio_code lvio_parse_integer(const char* text, int64_t* value) {
  const char* p = text;
  while (is_blank(*p)) p++;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    p++;
    while (is_blank(*p)) p++;
  }
  // Accumulated with the sign, so that the most negative value is reachable;
  // every step is checked, the last digit included.
  int64_t n = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    int64_t digit = *p - '0';
    if (__builtin_mul_overflow(n, 10, &n)) return LVIO_E_MISC_ERROR_1;
    if (negative ? __builtin_sub_overflow(n, digit, &n) : __builtin_add_overflow(n, digit, &n))
      return LVIO_E_MISC_ERROR_1;
  }
  while (is_blank(*p)) p++;
  // Each suffix allows magnitudes up to 2^bits - 1.
  static const struct {
    char letter;
    int shift;
    int bits;
  } suffixes[] = {{'K', 10, 53}, {'M', 20, 43}, {'G', 30, 33}};
  for (const auto& s : suffixes) {
    if (*p != s.letter && *p != s.letter - 'A' + 'a') continue;
    int64_t limit = (int64_t{1} << s.bits) - 1;
    if (n > limit || n < -limit) return LVIO_E_MISC_ERROR_1;
    n *= int64_t{1} << s.shift;
    break;
  }
  *value = n;
  return 0;
}

int64_t lvio_setting_integer(const char* name, int64_t deflt) {
  char text[TYPED_SETTING_MAX];
  size_t size = sizeof text;
  int64_t value;
  if (lvio_setting_get(name, text, &size, 0) < 0 || lvio_parse_integer(text, &value) < 0) return deflt;
  return value;
}
