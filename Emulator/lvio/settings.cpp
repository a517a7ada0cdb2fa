// Settings lookup of the I/O layer.
#include "lvio/settings.h"

#include <cstdlib>
#include <cstring>

namespace {

const lvio_override_table* installed_overrides;

bool item_valid(const lvio_override_item& item) {
  if (item.kind == LVIO_OVERRIDE_EMPTY) return true;
  return item.kind == LVIO_OVERRIDE_SETTING && item.name != nullptr && item.value != nullptr;
}

const char* override_lookup(const char* name) {
  const lvio_override_table* t = installed_overrides;
  if (t == nullptr) return nullptr;
  for (uint64_t i = 0; i < t->count; i++) {
    const lvio_override_item& item = t->items[i];
    if (item.kind == LVIO_OVERRIDE_SETTING && std::strcmp(item.name, name) == 0) return item.value;
  }
  return nullptr;
}

}  // namespace

lvio_code lvio_install_overrides(const lvio_override_table* table, uint32_t flags) {
  if ((flags & 1) != 0 || table == nullptr) {
    installed_overrides = nullptr;
    return 0;
  }
  if (table->version != 1) return LVIO_E_VERSION_ERROR;
  if (table->items == nullptr && table->count != 0) return LVIO_E_PARAMETER_ERROR;
  for (uint64_t i = 0; i < table->count; i++)
    if (!item_valid(table->items[i])) return LVIO_E_PARAMETER_ERROR;
  installed_overrides = table;
  return 0;
}

lvio_code lvio_setting_get(const char* name, char* buffer, size_t* size, uint32_t flags) {
  if (name == nullptr || size == nullptr) return LVIO_E_PARAMETER_ERROR;
  const char* value = nullptr;
  if ((flags & LVIO_SETTING_SKIP_OVERRIDES) == 0) value = override_lookup(name);
  if (value == nullptr && (flags & LVIO_SETTING_SKIP_PROCESS_ENV) == 0) value = std::getenv(name);
  if (value == nullptr) return LVIO_E_NOT_FOUND;
  size_t needed = std::strlen(value) + 1;
  size_t room = *size;
  *size = needed;
  if (buffer == nullptr || room < needed) return LVIO_E_OUT_OF_MEMORY;
  std::memcpy(buffer, value, needed);
  return 0;
}
