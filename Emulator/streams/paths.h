// Small helpers on path texts.
#pragma once

// The last '.' of the last path component (components are separated by '/'
// or '\'), so the extension with its dot; null when that component has none.
const char* lv_path_extension(const char* path);
