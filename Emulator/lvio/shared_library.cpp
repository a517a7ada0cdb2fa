// Shared libraries, on the dynamic linker.
#include "lvio/shared_library.h"

#include <dlfcn.h>
#include <link.h>

lvio_code lvio_module_handle(const void* address, void** module) {
  Dl_info info;
  link_map* object = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) == 0 || object == nullptr)
    return LVIO_E_FILE_NOT_FOUND;
  // The object is loaded already: opening it again by the name it was
  // loaded under only finds it (the program's own has no name), and the
  // reference that this adds is given back at once.
  bool program = object->l_name == nullptr || object->l_name[0] == '\0';
  void* handle = program ? dlopen(nullptr, RTLD_LAZY) : dlopen(object->l_name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return LVIO_E_FILE_NOT_FOUND;
  dlclose(handle);
  *module = handle;
  return 0;
}

lvio_code lvio_library_symbol(const char* symbol, const char* path, void** function, void** module) {
  void* library = module != nullptr ? *module : nullptr;
  bool loaded_here = false;
  if (library == nullptr) {
    if (path == nullptr) return LVIO_E_PARAMETER_ERROR;
    library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return LVIO_E_FILE_NOT_FOUND;
    loaded_here = true;
  }
  dlerror();
  void* found = dlsym(library, symbol);
  if (found == nullptr) {
    if (module != nullptr) {
      *module = library;
    } else if (loaded_here) {
      dlclose(library);
    }
    return LVIO_E_NOT_FOUND;
  }
  if (function != nullptr) *function = found;
  if (module != nullptr) *module = library;
  return 0;
}
