// Path texts of the I/O layer. Between the runtime and the layer a path is
// UTF-8 with "/" between its components, which is also the operating
// system's own form: no conversion is needed. Names keep their case (Linux
// file names are case-sensitive) and "/" is the only root.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/result_codes.h"

// The length of the path's root: 1 for an absolute path, else
// LVIO_E_FILE_NOT_ABSOLUTE.
[[nodiscard]] lvio_code lvio_path_root_length(const char* path);

// The form in which two file names are compared: the name itself (names are
// not folded to one case), in a new lvio_alloc block.
[[nodiscard]] lvio_code lvio_path_normalize(const char* path, char** out);

// Replaces every byte `from` by `to`; returns how many were replaced.
int64_t lvio_char_replace(char* text, char from, char to);

// True when the bytes are well-formed UTF-8: shortest forms only, no
// surrogates, nothing beyond U+10FFFF.
bool lvio_utf8_valid(const char* text, size_t length);
