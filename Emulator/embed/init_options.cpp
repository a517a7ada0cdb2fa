// The initial options of start-up.
#include "embed/init_options.h"

#include <cstddef>
#include <cstring>

#include "embed/startup.h"

static_assert(sizeof(lv_init_option) == sizeof(lvio_override_item));
static_assert(offsetof(lv_init_option, name) == offsetof(lvio_override_item, name));
static_assert(offsetof(lv_init_option, value) == offsetof(lvio_override_item, value));
static_assert(sizeof(lv_init_options) == 24 && offsetof(lv_init_options, items) == 16);

namespace {

const lv_init_options* stored;

}  // namespace

bool lv_init_options_valid(const lv_init_options* options) {
  if (options == nullptr || options->format != LV_INIT_OPTIONS_FORMAT) return false;
  if (options->count != 0 && options->items == nullptr) return false;
  for (uint64_t i = 0; i < options->count; i++) {
    const lv_init_option& item = options->items[i];
    if (item.kind == LV_INIT_OPTION_IGNORED) continue;
    if (item.kind != LV_INIT_OPTION_SETTING || item.name == nullptr || item.value == nullptr) return false;
  }
  return true;
}

lvio_override_table lv_init_options_overrides(const lv_init_options* options) {
  return {1, options->count, reinterpret_cast<const lvio_override_item*>(options->items)};
}

int lv_init_option_flag(const lv_init_options* options, const char* name, int deflt) {
  int answer = deflt;
  if (options == nullptr || options->items == nullptr) return answer;
  for (uint64_t i = 0; i < options->count; i++) {
    const lv_init_option& item = options->items[i];
    if (item.kind != LV_INIT_OPTION_SETTING || item.name == nullptr || item.value == nullptr ||
        std::strcmp(item.name, name) != 0)
      continue;
    if (std::strcmp(item.value, "yes") == 0) answer = 1;
    if (std::strcmp(item.value, "no") == 0) answer = 0;
  }
  return answer;
}

uint32_t lv_init_io_start_flags(const lv_init_options* options) {
  uint32_t flags = 0;
  if (lv_init_option_flag(options, "LVRM_21178", 1) != 0) flags |= 4;
  if (lv_init_option_flag(options, "LVRM_21329_NO_STDIN_", 0) != 0) flags |= 8;
  return flags;
}

int LV_set_initial_options(const lv_init_options* options) {
  if (lv_runtime_state() != LV_RUNTIME_NOT_STARTED) return 0;
  if (options == nullptr) {
    stored = nullptr;
    return 1;
  }
  if (!lv_init_options_valid(options)) return 0;
  stored = options;
  return 1;
}

const lv_init_options* lv_stored_init_options() { return stored; }
void lv_clear_stored_init_options() { stored = nullptr; }
void lv_store_init_options(const lv_init_options* options) { stored = options; }
