// Making, deleting and renaming files and directories.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

// A new directory with the default permissions (as the process's umask
// allows). LVIO_E_FILE_EXISTS when the name is taken.
[[nodiscard]] lvio_code lvio_make_directory(const char* path, uint32_t ignored);

// Flag 1 removes a directory (LVIO_E_DIR_NOT_EMPTY while it has entries,
// LVIO_E_FILE_NOT_DIRECTORY for another kind of file; with flag 4 as well
// LVIO_E_NOT_IMPLEMENTED); otherwise removes a file that is not a directory
// (LVIO_E_FILE_IS_DIRECTORY for one). A symbolic link is removed itself, not
// what it points to.
[[nodiscard]] lvio_code lvio_file_delete(const char* path, uint32_t flags);

// Renames old_path to new_path. An existing new_path is never replaced:
// LVIO_E_FILE_EXISTS.
[[nodiscard]] lvio_code lvio_file_rename(const char* old_path, const char* new_path);

// The rename for file systems that cannot refuse to replace a target by
// themselves: a file is linked under its new name (which fails when the name
// is taken) and unlinked under its old one; a directory is renamed after a
// check that its new name is free. Used by lvio_file_rename.
[[nodiscard]] lvio_code lvio_file_rename_by_link(const char* old_path, const char* new_path);
