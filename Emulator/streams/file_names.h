// File names as the runtime opens them, and the runtime's own current
// directory.
//
// A normalised name is absolute, "/" separates its components, and it has no
// "." or ".." components and no doubled separators. Names keep their case
// (Linux file names are case-sensitive) and "/" is the only root.
#pragma once

#include <cstdint>

// Flags of lv_normalize_file_name.
constexpr uint32_t LV_NAME_DIRECTORY = 0x1;      // the result ends with "/"
constexpr uint32_t LV_NAME_ABSOLUTE = 0x2;       // a relative name fails
constexpr uint32_t LV_NAME_NO_VARIABLE = 0x4;    // a leading "$" is an ordinary character
constexpr uint32_t LV_NAME_NO_HOME = 0x8;        // a leading "~" is an ordinary character
constexpr uint32_t LV_NAME_ROOT_DOT = 0x10;      // a bare root gives "/."
constexpr uint32_t LV_NAME_ROOT_OK = 0x20;       // a bare root is accepted as "/"
constexpr uint32_t LV_NAME_KEEP_CASE = 0x40;     // always so here: names are never folded

// The normalised form of name, in a new LV_malloc block the caller frees
// with LV_free; null when the name fails. A leading "$NAME" is replaced by
// the value of that setting (system property or environment), a leading "~"
// by the current user's home directory and "~user" by that user's; a
// relative name is taken against base, or against the runtime current
// directory when base is null or empty. A name that is not well-formed
// UTF-8, a ".." above the root, an unset or empty variable, an unknown user
// and a bare root without LV_NAME_DIRECTORY, LV_NAME_ROOT_DOT or
// LV_NAME_ROOT_OK all fail.
char* lv_normalize_file_name(const char* name, const char* base, uint32_t flags);

// base normalised in directory form (when given), then name normalised
// against it; null when either step fails.
char* lv_expand_relative(const char* name, const char* base, uint32_t flags);

// The runtime's current directory: normalised, in directory form. Relative
// names are taken against it, not against the process's working directory;
// while none is set the I/O layer's current directory stands in.
//
// Options word bit 0: do not change the process's working directory; bit 1:
// do not change the runtime current directory. The setting LV_ALLOW_CHDIR
// ("yes" or "no") overrides bit 0.
uint32_t lv_current_dir_options();
void lv_set_current_dir_options(uint32_t options);

// The runtime current directory as it is kept (null when none is set); the
// text stays valid until the directory changes.
const char* lv_current_dir();

// Forgets the runtime current directory (start-up of a runtime).
void lv_clear_current_dir();

// Sets up the start-up directory (LV_STARTUP_DIR, else the process's working
// directory) as the runtime current directory, storing it back as the
// setting LV_STARTUP_DIR, and the temporary directory as LV_TEMP_DIR.
// 1 on success, else 0.
int lv_init_startup_dir();

extern "C" {
// 0, 1 when the runtime directory changed but the process's working
// directory could not follow, or a negative lvio code.
int64_t LV_set_current_dir(const char* dir);
// A new LV_malloc copy of the runtime current directory; null when none.
char* LV_get_current_dir();
// 0 with *result as lv_expand_relative gives it; LVIO_E_ERROR on failure.
int64_t LV_expand_file_name(const char* name, const char* base, uint32_t flags, char** result);
}
