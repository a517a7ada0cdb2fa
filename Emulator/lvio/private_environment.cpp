// The layer's private environment, the process-environment snapshot and the
// environment of child processes.
#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "lvio/os_environment.h"
#include "lvio/settings.h"

namespace {

// Null-terminated array of entries, each its own allocation; null until the
// environment module starts.
char** private_entries;
size_t private_count;

// The private entries packed into a block, dropped whenever a setting changes.
char** cached_block;
size_t cached_size;

char** snapshot;
size_t snapshot_size;

char** find_entry(const char* name) {
  for (size_t i = 0; i < private_count; i++)
    if (std::strcmp(private_entries[i], name) == 0) return &private_entries[i];
  return nullptr;
}

void drop_cache() {
  lvio_free(cached_block);
  cached_block = nullptr;
  cached_size = 0;
}

void free_private_environment() {
  drop_cache();
  for (size_t i = 0; i < private_count; i++) lvio_free(private_entries[i]);
  lvio_free(private_entries);
  private_entries = nullptr;
  private_count = 0;
  lvio_free(snapshot);
  snapshot = nullptr;
  snapshot_size = 0;
}

lvio_code take_snapshot(char*** block, size_t* size) { return lvio_os_environment_strings(block, size, 1); }

lvio_code start_environment() {
  lvio_code rc = take_snapshot(&snapshot, &snapshot_size);
  if (rc < 0) return rc;
  private_entries = static_cast<char**>(lvio_alloc(sizeof(char*)));
  if (private_entries == nullptr) return LVIO_E_OUT_OF_MEMORY;
  private_entries[0] = nullptr;
  const lvio_override_table* table = lvio_installed_overrides();
  for (uint64_t i = 0; table != nullptr && i < table->count; i++) {
    const lvio_override_item& item = table->items[i];
    if (item.kind != LVIO_OVERRIDE_SETTING || find_entry(item.name) != nullptr) continue;
    rc = lvio_setting_set(item.name, item.value);
    if (rc < 0) return rc;
  }
  return 0;
}

}  // namespace

lvio_code lvio_setting_set(const char* name, const char* value) {
  if (name == nullptr || value == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (private_entries == nullptr) return LVIO_E_NOT_FOUND;
  char** slot = find_entry(name);
  if (slot != nullptr && std::strcmp(lvio_entry_value(*slot), value) == 0) return 0;
  size_t name_size = std::strlen(name) + 1;
  size_t value_size = std::strlen(value) + 1;
  auto* entry = static_cast<char*>(lvio_alloc(name_size + value_size));
  if (entry == nullptr) return LVIO_E_OUT_OF_MEMORY;
  std::memcpy(entry, name, name_size);
  std::memcpy(entry + name_size, value, value_size);
  if (slot == nullptr) {
    auto** grown = static_cast<char**>(lvio_realloc(private_entries, (private_count + 2) * sizeof(char*)));
    if (grown == nullptr) {
      lvio_free(entry);
      return LVIO_E_OUT_OF_MEMORY;
    }
    private_entries = grown;
    slot = &private_entries[private_count++];
    private_entries[private_count] = nullptr;
  } else {
    lvio_free(*slot);
  }
  *slot = entry;
  drop_cache();
  return 0;
}

lvio_code lvio_private_environment_lookup(const char* name, char* buffer, size_t* size) {
  char** slot = find_entry(name);
  if (slot == nullptr) return LVIO_E_NOT_FOUND;
  return lvio_copy_setting_text(lvio_entry_value(*slot), buffer, size);
}

lvio_code lvio_private_environment_block(char*** block, size_t* size, uint32_t flags) {
  if (cached_block == nullptr) {
    static const char* const no_entries[] = {nullptr};
    const char* const* list = private_entries != nullptr ? private_entries : no_entries;
    lvio_code rc = lvio_environment_pack(list, &cached_block, &cached_size, 0);
    if (rc < 0) return rc;
  }
  *block = cached_block;
  if (size != nullptr) *size = cached_size;
  if ((flags & 1) == 0) {
    cached_block = nullptr;
    cached_size = 0;
  }
  return 0;
}

lvio_code lvio_environment_snapshot(char*** block, size_t* size, uint32_t flags) {
  if ((flags & 2) != 0) {
    if ((flags & 5) != 0) return LVIO_E_PARAMETER_ERROR;
    return take_snapshot(block, size);
  }
  if ((flags & 1) == 0) return LVIO_E_PARAMETER_ERROR;
  if ((flags & 4) != 0) {
    char** fresh;
    size_t fresh_size;
    lvio_code rc = take_snapshot(&fresh, &fresh_size);
    if (rc < 0) return rc;
    lvio_free(snapshot);
    snapshot = fresh;
    snapshot_size = fresh_size;
  }
  *block = snapshot;
  if (size != nullptr) *size = snapshot_size;
  return snapshot != nullptr ? 0 : LVIO_E_INVALID_STATE;
}

lvio_code lvio_environment_build(char*** block, size_t* size, uint32_t flags) {
  if (block == nullptr) {
    if (size != nullptr) *size = 0;
    return 0;
  }
  char** private_block = nullptr;
  if ((flags & 4) == 0) {
    lvio_code rc = lvio_private_environment_block(&private_block, nullptr, 1);
    if (rc < 0) return rc;
  }
  char** process_block = nullptr;
  char** fresh = nullptr;
  if ((flags & 2) == 0) {
    // Without a kept snapshot (the layer is not started) a fresh one serves
    // this call alone.
    lvio_code rc = snapshot != nullptr ? lvio_environment_snapshot(&process_block, nullptr, (flags & 16) != 0 ? 5 : 1)
                                       : take_snapshot(&fresh, nullptr);
    if (rc < 0) return rc;
    if (fresh != nullptr) process_block = fresh;
  }
  lvio_code rc = lvio_environment_merge(private_block, 0, process_block, 0, block, size, 4 | (flags & 9));
  lvio_free(fresh);
  return rc;
}

lvio_code lvio_environment_module(uint32_t flags) {
  if ((flags & 1) != 0) {
    free_private_environment();
    return 0;
  }
  lvio_code rc = start_environment();
  if (rc < 0) free_private_environment();
  (void)lvio_install_overrides(nullptr, 1);  // uninstalling cannot fail
  return rc;
}
