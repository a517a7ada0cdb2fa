// The process environment, as the I/O layer sees it. Entries are kept in the
// name-value form: the name, a NUL, the value and a NUL. Names are compared
// byte for byte: environment names are case-sensitive on Linux.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/result_codes.h"

// The process environment in one lvio_alloc block: a null-terminated array
// of pointers followed by the strings they point into. Only entries with a
// "=" after their first character are listed; flag 1 splits each at that
// "=" into the name-value form, otherwise they stay NAME=VALUE. *size (when
// given) receives the block's size in bytes.
[[nodiscard]] lvio_code lvio_os_environment_strings(char*** block, size_t* size, uint32_t flags);

// An environment variable, copied with its NUL as lvio_setting_get does.
// The process-environment snapshot is searched when one was taken and flag 2
// is not given; otherwise the live environment is read (flag 1 without a
// snapshot: LVIO_E_INVALID_STATE). Absent: LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_getenv(const char* name, char* buffer, size_t* size, uint32_t flags);

// The order of two environment names: -1, 0 or 1, by their bytes.
int lvio_name_compare(const char* a, const char* b);
