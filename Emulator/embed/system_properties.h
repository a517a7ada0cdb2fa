// The settings of the runtime as the C interface reads and writes them
// (slots 192 to 194 and 95): the I/O layer's environment, made of the
// settings made while the runtime runs and the process environment.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
// Slot 192: *out receives one LV_malloc block: a null-terminated array of
// text pointers, then the texts "name=value" (flags bit 0: a NUL in place of
// "="). Flags bit 1 clear lists only the settings made while the runtime
// runs; bit 2 only the process environment. 0, LVIO_E_OUT_OF_MEMORY, or
// LVIO_E_INTERNAL_ERROR (also before the I/O layer runs).
int64_t LV_system_properties(char*** out, uint64_t flags);
// Slot 95: that block with flags 0, or null.
char** LV_copy_environ();
// Slot 193: *out receives a new LV_malloc copy of the setting's value;
// flags are the lookup's (1 skips the process environment, 2 the settings
// of the runtime). 0, the lookup's negative code, or LVIO_E_INTERNAL_ERROR
// before the I/O layer runs.
int64_t LV_get_system_property(const char* name, char** out, uint64_t flags);
// Slot 194: 0 or a negative code.
int64_t LV_set_system_property(const char* name, const char* value);
}

// A setting's value as lv_get_property_text_default gives it (core/
// settings.h), answering null unless flags bit 0 or 1 is set; flags bits 2-3
// are the lookup flags.
char* lv_get_property_text(const char* name, char* buffer, size_t* size, uint32_t flags);
