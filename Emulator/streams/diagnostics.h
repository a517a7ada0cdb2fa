// Diagnostic output of the runtime: trace and report lines on user_error, and
// fatal messages on the C standard error or output stream.
#pragma once

#include <cstdint>

// Formats like printf (into a 2048-byte buffer) and writes the text to the
// user_error stream. Does not flush. Returns 0 or a negative lvio code.
int64_t lv_ttyprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Flushes the user_error stream. Returns 0 or a negative lvio code.
int64_t lv_ttyflush();

// Formats to the C standard output when flags bit 4 (16) is set, else to the
// C standard error preceded by a newline, and flushes. Returns the number of
// characters written.
int errprintf(uint32_t flags, const char* format, ...) __attribute__((format(printf, 2, 3)));
