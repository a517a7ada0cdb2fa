// Option lists: named, typed arguments of device opens and layer pushes
// ("pathname", "read-char-coder lvio_t_coder", ...). A list is an array of
// items ended by one whose value has kind LVIO_VALUE_END.
#pragma once

#include <cstddef>

#include "lvio/value.h"

struct lvio_option {
  const char* name;
  lvio_value value;
};
static_assert(sizeof(lvio_option) == 24 && offsetof(lvio_option, value) == 8);

// The string of the first item with that name (byte-equal); LVIO_E_NOT_FOUND
// when there is none or it is not a string. A null list is empty.
[[nodiscard]] lvio_code lvio_option_lookup(const lvio_option* list, const char* name, const char** value);

// The value of the first item with that name, which must be of the given
// kind (LVIO_E_NOT_FOUND otherwise); kinds other than string and pointer are
// LVIO_E_NOT_SUPPORTED.
[[nodiscard]] lvio_code lvio_option_lookup_kind(const lvio_option* list, const char* name, uint32_t kind,
                                                lvio_value* value);

// The first item with that name; LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_option_find(const lvio_option* list, const char* name, const lvio_option** item);
