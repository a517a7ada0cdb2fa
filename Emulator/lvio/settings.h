// Settings lookup of the I/O layer: a setting is looked up by name in the
// override table that start-up installs (the -D items of the initial options)
// and then in the process environment.
#pragma once

#include <cstddef>

#include "lvio/result_codes.h"

enum : uint32_t {
  LVIO_OVERRIDE_EMPTY = 1,    // an item that is skipped
  LVIO_OVERRIDE_SETTING = 2,  // a name=value setting
};

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

enum : uint32_t {
  LVIO_SETTING_SKIP_PROCESS_ENV = 1,
  LVIO_SETTING_SKIP_OVERRIDES = 2,
};

// Installs the override table (kept by pointer, not copied). Flag 1 or a null
// table uninstalls. A table whose version is not 1 is LVIO_E_VERSION_ERROR;
// a malformed item or a null item array with a non-zero count is
// LVIO_E_PARAMETER_ERROR.
lvio_code lvio_install_overrides(const lvio_override_table* table, uint32_t flags);

// Copies the value of the setting, NUL included, into buffer. On entry *size
// is the buffer's size; on exit it is the value's size with its NUL. Absent:
// LVIO_E_NOT_FOUND. A buffer too small: LVIO_E_OUT_OF_MEMORY with the needed
// size in *size and nothing copied.
lvio_code lvio_setting_get(const char* name, char* buffer, size_t* size, uint32_t flags);
