// Shared libraries: the library that holds an address, and the functions of
// a library looked up by name.
#pragma once

#include "lvio/result_codes.h"

// The handle of the loaded object (the program or a shared library) that
// holds the address, without a reference of its own: it stays valid while
// that object stays loaded. An address in no loaded object:
// LVIO_E_FILE_NOT_FOUND.
[[nodiscard]] lvio_code lvio_module_handle(const void* address, void** module);

// Looks the symbol up in the library in *module when the slot is given and
// set, else in the library at the path, which is loaded (its symbols kept to
// itself). On success the function goes to *function and the library to
// *module (when those are given); the library stays loaded. A library that
// does not load: LVIO_E_FILE_NOT_FOUND; a symbol it does not define:
// LVIO_E_NOT_FOUND. A library loaded here for a missing symbol is stored in
// the module slot all the same, for its owner to look further or to close,
// and unloaded again when there is no slot. Neither a set slot nor a path:
// LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_library_symbol(const char* symbol, const char* path, void** function, void** module);
