// Settings of the runtime, read by name: first the override table that
// start-up installs (the -D items of the initial options), then the layer's
// private environment (settings made while the runtime runs), then the
// process environment. Names are compared as they are: environment names are
// case-sensitive on Linux.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/result_codes.h"

constexpr uint32_t LVIO_OVERRIDE_EMPTY = 1;    // an item that is skipped
constexpr uint32_t LVIO_OVERRIDE_SETTING = 2;  // a name=value setting

struct lvio_override_item {
  uint32_t kind;
  const char* name;
  const char* value;
};

struct lvio_override_table {
  uint32_t version;  // always 1
  uint64_t count;
  const lvio_override_item* items;
};

// Lookup flags of lvio_setting_get.
constexpr uint32_t LVIO_SETTING_SKIP_PROCESS_ENV = 1;
constexpr uint32_t LVIO_SETTING_SKIP_OVERRIDES = 2;  // skips the private environment as well

// Installs the override table (kept by pointer, not copied). Flag 1 or a null
// table uninstalls. A table whose version is not 1 is LVIO_E_VERSION_ERROR;
// a malformed item or a null item array with a non-zero count is
// LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_install_overrides(const lvio_override_table* table, uint32_t flags);

// The installed override table, or null.
const lvio_override_table* lvio_installed_overrides();

// The value of the first setting item of that name in the installed table;
// LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_override_lookup(const char* name, const char** value);

// Copies the value of the setting, NUL included, into buffer. On entry *size
// is the buffer's size; on exit it is the value's size with its NUL. Absent:
// LVIO_E_NOT_FOUND. A buffer too small: LVIO_E_OUT_OF_MEMORY with the needed
// size in *size and nothing copied.
[[nodiscard]] lvio_code lvio_setting_get(const char* name, char* buffer, size_t* size, uint32_t flags);

// The copy-out rule of lvio_setting_get, for every source of setting texts.
[[nodiscard]] lvio_code lvio_copy_setting_text(const char* value, char* buffer, size_t* size);

// The setting's value in a new lvio_alloc block (freed with lvio_free), or
// null when absent or out of memory.
char* lvio_setting_get_string(const char* name);

// A boolean setting: yes, no, true or false, each letter in either case;
// anything else, or an absent setting, gives the default.
int lvio_setting_boolean(const char* name, int deflt);
int lvio_setting_boolean_flags(const char* name, int deflt, uint32_t lookup_flags);

// The boolean reading of a text: 1 or 0 in *value; no match is
// LVIO_E_INVALID_NAME.
[[nodiscard]] lvio_code lvio_parse_boolean(const char* text, int* value);

// An integer setting read by lvio_parse_integer; the default when absent or
// out of range.
int64_t lvio_setting_integer(const char* name, int64_t deflt);

// An integer text: blanks (spaces and tabs), an optional minus sign and
// blanks, decimal digits (none reads as 0), blanks, then an optional suffix K,
// M or G (either case) multiplying by 2^10, 2^20 or 2^30; any other text after
// the number is ignored. A number that does not fit in int64_t, or a suffixed
// magnitude beyond 2^53-1 (K), 2^43-1 (M) or 2^33-1 (G), is
// LVIO_E_MISC_ERROR_1.
[[nodiscard]] lvio_code lvio_parse_integer(const char* text, int64_t* value);
