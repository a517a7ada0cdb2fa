// The null device: reading gives end of file at once, writing drops
// everything.
#pragma once

#include <cstdint>

#include "lvio/layer.h"

constexpr uint32_t LVIO_NULL_READABLE = 0x4;
constexpr uint32_t LVIO_NULL_WRITABLE = 0x8;

// Opens a null device as a new chain. Flags: LVIO_NULL_READABLE and/or
// LVIO_NULL_WRITABLE, plus the item kind of the simple device in bits 0-1
// (LVIO_DEVICE_BYTES or LVIO_DEVICE_CODES). Its control answers the
// time-out request with LVIO_S_NOT_SUPPORTED and refuses every other
// request with LVIO_E_NOT_IMPLEMENTED.
[[nodiscard]] lvio_code lvio_open_null_device(lvio_layer** chain, uint32_t flags);
