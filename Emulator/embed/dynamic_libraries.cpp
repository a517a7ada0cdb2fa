// Shared libraries, on the dynamic linker.
#include "embed/dynamic_libraries.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "core/error_codes.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "lvio/result_codes.h"
#include "text/utf8.h"

namespace {

// The linker's last text, kept past the next dlerror call.
char last_error[512];

void note_error() {
  const char* text = dlerror();
  std::snprintf(last_error, sizeof last_error, "%s", text != nullptr ? text : "");
}

void pending(const char* format, const char* a, const char* b = "") {
  char message[2048];
  if (std::snprintf(message, sizeof message, format, a, b) < 0) message[0] = '\0';
  lv_set_pending_error(LV_ERROR_SYSTEM, message, LV_ATOM_NIL);
}

}  // namespace

int64_t lv_dll_open(const char* path, void** module) {
  if (path == nullptr || module == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (lv_text_is_utf8(path) == 0) return LVIO_E_OS_ERROR;
  dlerror();
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    note_error();
    return LVIO_E_FILE_NOT_FOUND;
  }
  last_error[0] = '\0';
  *module = handle;
  return 0;
}

int64_t lv_dll_close(void* module) {
  if (module == nullptr) return LVIO_E_INTERNAL_ERROR;
  dlclose(module);
  return 0;
}

int64_t lv_dll_symbol(void* module, const char* name, void** out) {
  if (module == nullptr) return LVIO_E_INTERNAL_ERROR;
  dlerror();
  void* address = dlsym(module, name);
  if (address == nullptr) {
    note_error();
    return LVIO_E_NOT_FOUND;
  }
  *out = address;
  return 0;
}

const char* lv_dll_error() { return last_error; }

lv_foreign_entry lv_foreign_entry_lookup(const char* path, const char* name, void** module) {
  void* library = nullptr;
  int64_t rc = lv_dll_open(path, &library);
  if (rc == LVIO_E_OS_ERROR || rc == LVIO_E_PARAMETER_ERROR) {
    pending("Path error in load_foreign_resource/1: %s", path != nullptr ? path : "");
    return nullptr;
  }
  if (rc < 0) {
    pending("dlopen(\"%s\") failed in load_foreign_resource/1: %s", path, lv_dll_error());
    return nullptr;
  }
  size_t n = std::strlen(name) + sizeof "_lv_main_LVENV_";
  char* symbol = static_cast<char*>(LV_malloc(n));
  if (symbol == nullptr) {
    lv_dll_close(library);
    pending("out of memory in load_foreign_resource/1", "");
    return nullptr;
  }
  std::snprintf(symbol, n, "_lv_main_LVENV_%s", name);
  void* entry = nullptr;
  if (lv_dll_symbol(library, symbol, &entry) < 0 && lv_dll_symbol(library, symbol + 1, &entry) < 0) {
    pending("dlsym(handle,\"%s\") failed in load_foreign_resource/1: %s", symbol, lv_dll_error());
    LV_free(symbol);
    lv_dll_close(library);
    return nullptr;
  }
  LV_free(symbol);
  *module = library;
  return reinterpret_cast<lv_foreign_entry>(entry);
}
