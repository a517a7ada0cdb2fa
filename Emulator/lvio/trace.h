// Trace lines, assertion reports and the debug break of the I/O layer.
//
// A trace line reads
//   <file>:<line> <function>() 0x<thread id>@<process id> LVIO <text> (<value>) <message>
// after an empty line. Lines go to the trace file chosen once from
// LVIO_TRACE_FILE or LVIO_TRACE_FD, except that lines of threads other than
// the layer's main thread always go to standard error.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "lvio/result_codes.h"

// Writes a trace line when level >= the trace level (LVIO_TRACE_LEVEL,
// default 2). The _ptr variant prints a pointer value, the 2 variant two
// values. Function and message may be null. Returns 0.
lvio_code lvio_trace_line(const char* function, const char* file, int line, const char* text, int64_t value,
                          const char* message, int level);
lvio_code lvio_trace_line_ptr(const char* function, const char* file, int line, const char* text, const void* value,
                              const char* message, int level);
lvio_code lvio_trace_line2(const char* function, const char* file, int line, const char* text, int64_t value1,
                           int64_t value2, const char* message, int level);

// The same, whatever the trace level.
lvio_code lvio_trace_print(const char* function, const char* file, int line, const char* text, int64_t value,
                           const char* message);
lvio_code lvio_trace_print_ptr(const char* function, const char* file, int line, const char* text, const void* value,
                               const char* message);
lvio_code lvio_trace_print2(const char* function, const char* file, int line, const char* text, int64_t value1,
                            int64_t value2, const char* message);

// True when a line of this level would be written.
bool lvio_trace_enabled(int level);

// Reports a failed assertion by LVIO_ASSERTION_LEVEL: "disable(d)" nothing,
// "report" and "debug" (the default) a trace line "ASSERTION ERROR!",
// "abort" the line and then abort(). Returns 0.
lvio_code lvio_assert_failure(const char* function, const char* file, int line);

#define LVIO_ASSERT(condition) \
  ((condition) ? static_cast<void>(0) : static_cast<void>(lvio_assert_failure(__func__, __FILE__, __LINE__)))

// Announces a debug break on the trace file and spins until a debugger sets
// lvio_debug_break_release to a non-zero value (for example with
// "set var lvio_debug_break_release = 1"). Returns 0.
lvio_code lvio_debug_break(const char* file, int line);
extern std::atomic<int> lvio_debug_break_release;

// Standard output for flag 1, standard error for flag 2, else the trace file.
FILE* lvio_trace_stream_for(const void* ignored, uint32_t flags);

// True on the layer's main thread: the thread that started the diagnostics
// module, or else the first thread that asks.
bool lvio_on_main_thread();

// The diagnostics module's start (reads LVIO_TRACE_LEVEL, records the main
// thread, reads LVIO_ASSERTION_LEVEL) and stop (forgets the main thread).
lvio_code lvio_diagnostics_module(uint32_t flags);
