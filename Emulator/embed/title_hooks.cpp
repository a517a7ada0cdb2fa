// The window-title hooks: each with its own user data, handed to the title
// text of the engine core through one pair of calls.
#include "embed/title_hooks.h"

#include "core/version_text.h"

namespace {

lv_get_title_hook get_hook;
void* get_data;
lv_set_title_hook_fn set_hook;
void* set_data;

const char* call_get(void*) { return get_hook(get_data); }
void call_set(void*, const char* text) { set_hook(set_data, text); }

void install() { lv_set_title_hook(get_hook != nullptr ? call_get : nullptr, set_hook != nullptr ? call_set : nullptr, nullptr); }

}  // namespace

lv_set_title_hook_fn LV_set_set_window_title_hook(lv_set_title_hook_fn hook, void* data) {
  lv_set_title_hook_fn previous = set_hook;
  set_hook = hook;
  set_data = data;
  install();
  return previous;
}

lv_get_title_hook LV_set_get_window_title_hook(lv_get_title_hook hook, void* data) {
  lv_get_title_hook previous = get_hook;
  get_hook = hook;
  get_data = data;
  install();
  return previous;
}
