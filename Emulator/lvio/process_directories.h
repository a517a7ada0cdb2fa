// The current and the temporary directory of the process. Directory texts
// handed out end in "/" and are freed by the caller with lvio_free.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

// Flag 2: the process's working directory as the system has it (flag 8, to
// fold the case of the name, changes nothing). Otherwise the copy the layer
// keeps (made at the start of the file system module, replaced by
// lvio_set_current_directory with flag 1), or the working directory when no
// copy is kept.
[[nodiscard]] lvio_code lvio_get_current_directory(char** out, uint32_t flags);

// Flag 2 changes the process's working directory to the path; flag 1 makes
// the path the kept copy. A failing change leaves the copy as it was.
[[nodiscard]] lvio_code lvio_set_current_directory(const char* path, uint32_t flags);

// The directory for temporary files: TMPDIR when it names a directory by an
// absolute path, else the system's default ("/tmp"). Flag 1 (fold the case)
// changes nothing.
[[nodiscard]] lvio_code lvio_temp_directory(char** out, uint32_t flags);

// The file system module: its start keeps the working directory (a working
// directory that no longer exists leaves no copy), its stop frees the copy.
[[nodiscard]] lvio_code lvio_file_system_module(uint32_t flags);
