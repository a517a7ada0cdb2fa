// File names as the runtime opens them.
#pragma once

#include <cstdint>

// The absolute form of a file name: relative names are resolved against
// the runtime's current directory, "/" separates the components, and there
// are no "." or ".." components and no doubled separators ("/.." stays "/").
// 0 with a new lvio_alloc text in *out, LVIO_E_PARAMETER_ERROR for an empty
// name, or the failure to find the current directory.
int64_t lv_normalize_file_name(const char* path, uint32_t options, char** out);
