// The tool-interface plug-in and hook.
#include "embed/tool_interface.h"

#include <cstring>

#include "core/host.h"
#include "core/memory.h"
#include "core/worker.h"
#include "embed/dynamic_libraries.h"
#include "lvio/result_codes.h"
#include "lvio/settings.h"
#include "streams/file_names.h"

static_assert(sizeof(lvti_record) == 48 && __builtin_offsetof(lvti_record, env) == 16 &&
              __builtin_offsetof(lvti_record, arguments) == 40);

lvti_enable_words lvti_enabled;

namespace {

struct tool_state {
  lvti_hook hook;
  void* hook_data;
  uint64_t hook_flags;  // kept for the hook's owner, not read here
  void* library;
  lvti_entry on_load;
  lvti_entry on_unload;
  lvti_record record;
  lv_foreign_env env;
};

tool_state tools;

void set_all_enabled(int32_t value) { lvti_enabled = {value, value, value, value, value}; }

// Tells the hook of an event; the argument block lives on the caller's
// stack, so the record forgets it right after.
void notify(uint64_t event, const uint64_t* arguments, uint64_t count) {
  if (lvti_enabled.master == 0 || tools.hook == nullptr) return;
  tools.record.event = event;
  tools.record.argument_count = count;
  tools.record.arguments = arguments;
  tools.hook(&tools.record, tools.hook_data);
  tools.record.event = 0;
  tools.record.argument_count = 0;
  tools.record.arguments = nullptr;
}

void code_event(int32_t enabled, uint64_t event, const char* name, int64_t arity, const char* module, const void* code,
                uint64_t size) {
  if (enabled == 0) return;
  const uint64_t arguments[5] = {reinterpret_cast<uint64_t>(name), static_cast<uint64_t>(arity),
                                 reinterpret_cast<uint64_t>(module), reinterpret_cast<uint64_t>(code), size};
  notify(event, arguments, 5);
}

void compile_event(int32_t enabled, uint64_t event, const char* name, int64_t arity, const char* module) {
  if (enabled == 0) return;
  const uint64_t arguments[3] = {reinterpret_cast<uint64_t>(name), static_cast<uint64_t>(arity),
                                 reinterpret_cast<uint64_t>(module)};
  notify(event, arguments, 3);
}

// An entry point, with or without the leading underscore.
int64_t find_entry(void* library, const char* name, lvti_entry* out) {
  void* address = nullptr;
  int64_t rc = lv_dll_symbol(library, name, &address);
  if (rc == LVIO_E_NOT_FOUND) rc = lv_dll_symbol(library, name + 1, &address);
  if (rc < 0) return rc;
  if (address == nullptr) return LVIO_E_PARAMETER_ERROR;
  *out = reinterpret_cast<lvti_entry>(address);
  return 0;
}

// 0 when the plug-in is loaded, 1 when none is named, or a negative code.
int64_t load_plugin() {
  char value[4096];
  size_t size = sizeof value;
  if (lvio_setting_get("LV_LVTI_PATH", value, &size, 0) < 0) return 1;
  char* path = nullptr;
  int64_t rc = lvti_plugin_path(value, &path);
  if (rc != 0) return rc;
  void* library = nullptr;
  rc = lv_dll_open(path, &library);
  LV_free(path);
  if (rc < 0) return rc;
  lvti_entry on_load = nullptr;
  rc = find_entry(library, "_LVTI_OnLoad", &on_load);
  if (rc < 0) {
    lv_dll_close(library);
    return rc;
  }
  lvti_entry on_unload = nullptr;
  if (find_entry(library, "_LVTI_OnUnLoad", &on_unload) < 0) on_unload = nullptr;
  tools.library = library;
  tools.on_load = on_load;
  tools.on_unload = on_unload;
  return 0;
}

}  // namespace

int64_t lvti_plugin_path(const char* setting, char** path) {
  if (setting == nullptr || std::strcmp(setting, "none") == 0) return 1;
  if (std::strpbrk(setting, "/\\$:") != nullptr) {
    size_t n = std::strlen(setting) + 1;
    *path = static_cast<char*>(LV_malloc(n));
    if (*path == nullptr) return LVIO_E_OUT_OF_MEMORY;
    std::memcpy(*path, setting, n);
    return 0;
  }
  static const char prefix[] = "$LV_LIBRARY_DIR/" LV_HOST_PLATFORM "/lvti_";
  size_t n = sizeof prefix + std::strlen(setting) + sizeof LV_HOST_LIBRARY_SUFFIX;
  char* name = static_cast<char*>(LV_malloc(n));
  if (name == nullptr) return LVIO_E_OUT_OF_MEMORY;
  std::strcpy(name, prefix);
  std::strcat(name, setting);
  std::strcat(name, LV_HOST_LIBRARY_SUFFIX);
  *path = lv_normalize_file_name(name, nullptr, 0);
  LV_free(name);
  return *path != nullptr ? 0 : LVIO_E_OUT_OF_MEMORY;
}

int LV_install_lvti_hook(lvti_hook hook, void* data, uint64_t flags) {
  if (hook == nullptr) return LVIO_E_PARAMETER_ERROR;
  if ((flags & 1) == 0) {
    if (tools.hook != nullptr) return LVIO_E_INVALID_STATE;
    tools.hook = hook;
    tools.hook_data = data;
    tools.hook_flags = flags;
    set_all_enabled(1);
    return 0;
  }
  if (hook == tools.hook) {
    set_all_enabled(0);
    tools.hook = nullptr;
    tools.hook_data = nullptr;
    tools.hook_flags = 0;
  }
  return 0;
}

void lvti_notify_code_load(const char* name, int64_t arity, const char* module, const void* code, uint64_t size) {
  code_event(lvti_enabled.code_load, 1, name, arity, module, code, size);
}

void lvti_notify_code_unload(const char* name, int64_t arity, const char* module, const void* code, uint64_t size) {
  code_event(lvti_enabled.code_unload, 2, name, arity, module, code, size);
}

void lvti_notify_begin(const char* name, int64_t arity, const char* module) {
  compile_event(lvti_enabled.begin, 5, name, arity, module);
}

void lvti_notify_end(const char* name, int64_t arity, const char* module) {
  compile_event(lvti_enabled.end, 6, name, arity, module);
}

int64_t lvti_reset(uint32_t flags) {
  bool shutdown = (flags & 1) != 0;
  if (shutdown && tools.on_unload != nullptr) {
    tools.record.event = 4;
    tools.record.argument_count = 0;
    tools.record.arguments = nullptr;
    tools.on_unload(&tools.record, 0);
  }
  tools.on_unload = nullptr;
  tools.hook = nullptr;
  tools.hook_data = nullptr;
  tools.hook_flags = 0;
  tools.record = {48, 0, 0, nullptr, 0, 0, nullptr};
  tools.env = {};
  if (!shutdown) {
    const lv_dispatch* dispatch = LV_get_dispatch_40900(nullptr);
    tools.record.active = 1;
    tools.env = {dispatch->c_interface, dispatch->support, 0, get_current_worker()};
    tools.record.env = &tools.env;
  }
  set_all_enabled(0);
  if (shutdown) {
    // A library loaded by an earlier start is given back with its state.
    if (tools.library != nullptr) lv_dll_close(tools.library);
    tools.library = nullptr;
    return 0;
  }
  int64_t rc = load_plugin();
  if (rc < 0) return rc;
  if (rc == 1) return 0;
  tools.record.event = 3;
  tools.on_load(&tools.record, 0);
  tools.record.event = 0;
  tools.on_load = nullptr;
  return 0;
}
