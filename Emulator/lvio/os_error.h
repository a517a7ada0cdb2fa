// Operating-system error numbers as result codes.
#pragma once

#include "lvio/result_codes.h"

// The result code for an error number of this system: the errno values of
// the C library and the kernel (read from errno, or returned as the pthread
// functions return them), never another platform's error numbers. Values
// without a code of their own give the caller's fallback (typically
// LVIO_E_OS_ERROR or a code that names the failed operation).
[[nodiscard]] lvio_code lvio_os_error_code(int os_error, lvio_code fallback);
