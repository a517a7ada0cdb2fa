// Diagnostic output of the runtime: trace and report lines on user_error,
// and messages on the process's C-level standard error or output.
#pragma once

#include <cstdarg>
#include <cstdint>

// C-interface slot 84: formats like printf and writes the text to the
// user_error stream (before the standard streams exist: to descriptor 2).
// Returns 0 or a negative lvio code.
int64_t lv_ttyprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// C-interface slot 183: flushes the user_error stream. Returns 0,
// 5 (interrupted after a partial write) or a negative lvio code.
int64_t lv_ttyflush();

// Flag of errprintf: to the C standard output instead of standard error.
constexpr uint32_t LV_ERRPRINTF_STDOUT = 0x10;

typedef int (*lv_errprintf_hook)(void* data, uint32_t flags, const char* format, va_list args);

// Support-table slot 25: with a hook installed the hook takes the message
// and its result is returned. Otherwise the text goes to the C standard
// output (flag 0x10), or to the C standard error after a newline, and is
// flushed; the result is the number of characters written. Never writes to
// Prolog streams.
int errprintf(uint32_t flags, const char* format, ...) __attribute__((format(printf, 2, 3)));
int lv_verrprintf(uint32_t flags, const char* format, va_list args);

// Support-table slot 34: installs the hook (null: none) and its data;
// returns the previous hook.
lv_errprintf_hook LV_set_errprintf_hook(lv_errprintf_hook hook, void* data);
