// Access checks on paths, for the calling process.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

constexpr uint32_t LVIO_ACCESS_EXECUTE = 0x1;
constexpr uint32_t LVIO_ACCESS_WRITE = 0x2;
constexpr uint32_t LVIO_ACCESS_CREATE = 0x8;      // the file may be created: a missing one is checked in its directory
constexpr uint32_t LVIO_ACCESS_DIRECTORY = 0x20;  // a directory is expected
constexpr uint32_t LVIO_ACCESS_NO_PARENT = 0x40;  // do not look at the parent directory

// 0 when the path may be used as the flags say; without execute, write or
// create it must be readable. LVIO_E_FILE_NOT_FOUND for a missing path (with
// create: for a missing directory to create it in); LVIO_E_FILE_IS_DIRECTORY
// or LVIO_E_FILE_NOT_DIRECTORY for the wrong kind; LVIO_E_FILE_ACCESS when
// the permissions do not allow it.
[[nodiscard]] lvio_code lvio_path_attributes(const char* path, uint32_t flags);
