// Directory listings. A listing reads the whole directory when it is opened
// and yields the entries in byte order of their names, "." and ".."
// included, so that listings do not depend on the file system's own order.
// Names are given as they are: they are not folded to one case.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_dir;

struct lvio_dir_entry {
  uint32_t name_offset;
  uint32_t name_length;
  uint32_t is_directory;  // a symbolic link counts as what it points to
};

constexpr uint32_t LVIO_DIR_DIRECTORIES = 0x1;  // only directories
constexpr uint32_t LVIO_DIR_FILES = 0x2;        // only other files
constexpr uint32_t LVIO_DIR_FOLD_CASE = 0x4;    // asks to fold names: they are kept as they are

// Opens a listing of the directory (directories and other files alike when
// the flags ask for neither or both). Returns 0; LVIO_E_FILE_NOT_DIRECTORY
// when the path names another kind of file, else the error with
// LVIO_E_FILE_NOT_FOUND as the fallback.
[[nodiscard]] lvio_code lvio_dir_open(const char* path, lvio_dir** out, uint32_t flags);

// The next entry (valid until the next call); LVIO_E_NO_MORE_ENTRIES at the end.
[[nodiscard]] lvio_code lvio_dir_next(lvio_dir* listing, const lvio_dir_entry** entry);

// The entry's name, kept by the listing until it is closed.
// LVIO_E_INVALID_NAME for a name that is not UTF-8 (the runtime's text).
[[nodiscard]] lvio_code lvio_dir_entry_name(lvio_dir* listing, const lvio_dir_entry* entry, const char** name);

// Null is ignored.
void lvio_dir_close(lvio_dir* listing);
