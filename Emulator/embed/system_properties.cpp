// The settings of the runtime through the C interface.
#include "embed/system_properties.h"

#include <cstring>

#include "core/memory.h"
#include "embed/startup.h"
#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "lvio/settings.h"

namespace {

// The listing flags of lvio_environment_build for the slot's flags.
uint32_t listing_flags(uint64_t flags) {
  uint32_t listing = 0;
  if ((flags & 2) == 0) listing |= 2;  // without the process environment
  if ((flags & 4) != 0) listing |= 4;  // without the runtime's settings
  return listing;
}

bool io_running() { return lv_io_layer_available(); }

}  // namespace

int64_t LV_system_properties(char*** out, uint64_t flags) {
  if (out == nullptr || !io_running()) return LVIO_E_INTERNAL_ERROR;
  char** block = nullptr;
  size_t size = 0;
  int64_t rc = lvio_environment_build(&block, &size, listing_flags(flags));
  if (rc < 0) return rc;
  size_t count = 0;
  size_t texts = 0;
  for (; block[count] != nullptr; count++) texts += lvio_entry_size(block[count]);
  size_t pointers = (count + 1) * sizeof(char*);
  if (pointers + texts > size) {
    lvio_free(block);
    return LVIO_E_INTERNAL_ERROR;
  }
  auto* result = static_cast<char**>(LV_malloc(pointers + texts));
  if (result == nullptr) {
    lvio_free(block);
    return LVIO_E_OUT_OF_MEMORY;
  }
  char* text = reinterpret_cast<char*>(result) + pointers;
  for (size_t i = 0; i < count; i++) {
    result[i] = text;
    size_t name = std::strlen(block[i]);
    const char* value = lvio_entry_value(block[i]);
    size_t value_size = std::strlen(value) + 1;
    std::memcpy(text, block[i], name);
    text[name] = (flags & 1) != 0 ? '\0' : '=';
    std::memcpy(text + name + 1, value, value_size);
    text += name + 1 + value_size;
  }
  result[count] = nullptr;
  lvio_free(block);
  *out = result;
  return 0;
}

char** LV_copy_environ() {
  char** block = nullptr;
  return LV_system_properties(&block, 0) == 0 ? block : nullptr;
}

int64_t LV_get_system_property(const char* name, char** out, uint64_t flags) {
  if (!io_running()) return LVIO_E_INTERNAL_ERROR;
  if (name == nullptr || out == nullptr) return LVIO_E_PARAMETER_ERROR;
  size_t want = 20;
  for (int attempt = 0; attempt < 2; attempt++) {
    char* value = static_cast<char*>(LV_malloc(want));
    if (value == nullptr) return LVIO_E_OUT_OF_MEMORY;
    size_t got = want;
    int64_t rc = lvio_setting_get(name, value, &got, static_cast<uint32_t>(flags & 3));
    if (rc >= 0) {
      *out = value;
      return 0;
    }
    LV_free(value);
    if (rc != LVIO_E_OUT_OF_MEMORY || attempt == 1) return rc;
    want = got;
  }
  return LVIO_E_INTERNAL_ERROR;
}

int64_t LV_set_system_property(const char* name, const char* value) {
  if (!io_running()) return LVIO_E_INTERNAL_ERROR;
  return lvio_setting_set(name, value);
}

char* lv_get_property_text(const char* name, char* buffer, size_t* size, uint32_t flags) {
  if ((flags & 3) == 0) return nullptr;
  uint32_t lookup = (flags >> 2) & 3;
  if (size != nullptr) {
    if (buffer == nullptr) return nullptr;
    return lvio_setting_get(name, buffer, size, lookup) >= 0 ? buffer : nullptr;
  }
  if (buffer != nullptr || !io_running()) return nullptr;
  char* value = nullptr;
  return LV_get_system_property(name, &value, lookup) == 0 ? value : nullptr;
}
