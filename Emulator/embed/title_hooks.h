// The window-title hooks of the C interface (slots 123 and 124): a program
// with a window of its own answers and takes the title text.
#pragma once

#include "lorvika.h"

extern "C" {
// Each stores the hook with its user data (a null hook removes it) and
// returns the previous hook.
lv_set_title_hook_fn LV_set_set_window_title_hook(lv_set_title_hook_fn hook, void* data);
lv_get_title_hook LV_set_get_window_title_hook(lv_get_title_hook hook, void* data);
}
