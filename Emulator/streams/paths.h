// Small helpers on path texts.
#pragma once

#include <cstddef>

// The last '.' of the last path component (components are separated by '/'
// or '\'), so the extension with its dot; null when that component has none.
const char* lv_path_extension(const char* path);

// The length of the path's directory part: up to and including the '/' that
// ends it, found scanning back from the end past one trailing '/'; 0 when the
// path has none.
size_t lv_path_dirname_length(const char* path);

// A new LV_malloc copy of the path's directory part; null when it has none.
char* lv_path_dirname(const char* path);

// A new LV_malloc copy of the last component (after any trailing '/' is
// passed over), without the text from its last '.' on when asked.
char* lv_path_basename(const char* path, int without_extension);

// The path's end; *root_end just past its root ("/"), null for a path
// without one; *last the start of its last component; *extension its
// extension as lv_path_extension gives it. Out pointers may be null.
const char* lv_split_path(const char* path, const char** root_end, const char** last, const char** extension);

// 1 when the path names an existing directory, else 0.
int lv_is_directory(const char* path);

// 1 when the path names an existing file that is not a directory, else 0.
int lv_is_regular_file(const char* path);

// 1 when the path may be read (the I/O layer's access test), else 0.
int lv_file_access_ok(const char* path);

// A copy of the text with every "\" turned into "/", kept in the memory
// manager's permanent-text category; null when out of memory. Freed with
// lv_strdup_perm_free.
char* lv_strdup_perm(const char* text);
void lv_strdup_perm_free(char* text);
