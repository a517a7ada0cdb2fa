// The solver's hooks.
#include "core/fd_hooks.h"

namespace {

void* hook_data;
lv_fd_event_hook event_hook;
lv_fd_free_hook free_hook;

}  // namespace

int LV_install_fd_hooks(void* data, lv_fd_event_hook on_event, lv_fd_free_hook on_free, int install) {
  hook_data = install ? data : nullptr;
  event_hook = install ? on_event : nullptr;
  free_hook = install ? on_free : nullptr;
  return 1;
}

lv_fd_event_hook lv_swap_fd_event_hook(lv_fd_event_hook hook) {
  lv_fd_event_hook old = event_hook;
  event_hook = hook;
  return old;
}

int64_t lv_call_fd_hook(int64_t event, int64_t argument) {
  if (event_hook == nullptr) return 0;
  return event_hook(hook_data, get_current_worker(), event, argument);
}

void lv_call_fd_free_hook(uint64_t* word) {
  if (free_hook != nullptr) free_hook(hook_data, word);
}
