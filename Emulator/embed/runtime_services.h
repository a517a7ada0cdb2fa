// Small services of the C interface: C-heap texts, UTF-16 texts, settings,
// the runtime's identity, the keyed words of the development tools, and the
// checked address of a term-reference slot.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/worker.h"

void* LV_calloc(size_t count, size_t size);
char* LV_strdup(const char* text);

// UTF-16 (NUL-terminated) to UTF-8 and back, allocated with LV_malloc; null
// for a malformed text or when memory runs out.
char* lv_widechar_to_ienc(const char16_t* text);
char16_t* lv_ienc_to_widechar(const char* text);

// The I/O layer's settings: 0 on success, 1 on failure; and an LV_malloc copy
// of a setting's value, or null.
int LV_setenv(const char* name, const char* value);
char* LV_getenv(const char* name);

const char* LV_get_emulator_version();
const char* LV_get_emulator_dir();

// A pointer and an int kept for the development tools, stored and read only
// with the key 40900.
int lv_set_corvid_magic(void* pointer, int key);
void* lv_get_corvid_magic(int key);
int lv_set_corvid_threadservermode(int mode, int key);
int lv_get_corvid_threadservermode(int* mode, int key);

// Support actions: 1 is a backtrace request to the debugger (it traces from
// here on; no backtrace is kept), 7 prints the current backtrace as $backtrace does;
// both answer 1. Any other action sets interface error 8 and answers 0.
int lv_action(int action);

// The slot of a valid term reference of the engine, or null.
lv_termref_slot* lv_get_globref_checked(int64_t index, lv_worker* w);
