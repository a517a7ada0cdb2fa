// The pending-error codes of the engine, by name (rows in error_codes.def).
#pragma once

#include <cstdint>

enum lv_error_code : int32_t {
#define LV_ERROR_CODE(name, code, formal) LV_ERROR_##name = code,
#include "core/error_codes.def"
#undef LV_ERROR_CODE
};
