// Settings readers of the runtime. A setting is looked up by name through the
// I/O layer: the -D items of the initial options first, then the process
// environment. The size and yes/no readers then fall back on the
// installation value of the same name (core/registry.h).
#pragma once

#include <cstddef>
#include <cstdint>

// A size setting: blanks and tabs, decimal digits, blanks and tabs, then an
// optional K, M or G suffix (either case) multiplying by 2^10, 2^20 or 2^30;
// anything after that is ignored, and a text that does not start with a digit
// reads as 0. An absent setting, or a value that overflows 64 bits in its
// digits or by its suffix, gives the default. The result is the larger of the
// value and the minimum.
uint64_t lv_getenv_int_suffixed(const char* name, uint64_t deflt, uint64_t minimum);

// The same parse applied to a text (the part of lv_getenv_int_suffixed after
// the lookup); the value is taken from deflt when the text overflows.
uint64_t lv_parse_size_setting(const char* text, uint64_t deflt, uint64_t minimum);

// A yes/no switch: "yes" gives 1 and "no" gives 0, each letter in either case
// and nothing after it; any other text, or an absent setting, gives the
// default.
int32_t lv_getenv_yes_no(const char* name, int32_t deflt);

// The text of a setting. With a size pointer, copies the value into buffer
// (*size is the buffer's size on entry and the value's, NUL included, on
// exit) and returns buffer, or null when the setting is absent or does not
// fit. With neither buffer nor size, returns a new LV_malloc copy that the
// caller frees with LV_free, or null when the setting is absent.
char* lv_get_property_text_default(const char* name, char* buffer, size_t* size);
