// Shared libraries the runtime loads by path: foreign resources and the
// tool-interface plug-in.
#pragma once

#include <cstdint>

// Loads the library (its symbols kept to itself): 0, LVIO_E_PARAMETER_ERROR
// for a null path, LVIO_E_OS_ERROR when the path is no valid text, or
// LVIO_E_FILE_NOT_FOUND when the library does not load (lv_dll_error then
// tells why).
int64_t lv_dll_open(const char* path, void** module);
// LVIO_E_INTERNAL_ERROR for a null module, else 0.
int64_t lv_dll_close(void* module);
// LVIO_E_INTERNAL_ERROR for a null module, LVIO_E_NOT_FOUND for a symbol the
// library does not define, else 0 with the address in *out.
int64_t lv_dll_symbol(void* module, const char* name, void** out);
// The dynamic linker's text for the last failure (an empty text when none),
// valid until the next call.
const char* lv_dll_error();

typedef int (*lv_foreign_entry)(void* params);

// Loads the library of a foreign resource and looks up its entry,
// "_lv_main_LVENV_<name>" and then "lv_main_LVENV_<name>". On success the
// library goes to *module and the entry is returned. Otherwise the pending
// error (code 5) says why, with the messages "Path error in
// load_foreign_resource/1: <path>", "dlopen(\"<path>\") failed in
// load_foreign_resource/1: <linker text>", "dlsym(handle,
// \"<underscored entry name>\") failed in load_foreign_resource/1: <linker
// text>" (the library is closed again) or "out of memory in
// load_foreign_resource/1", and the result is null.
lv_foreign_entry lv_foreign_entry_lookup(const char* path, const char* name, void** module);
