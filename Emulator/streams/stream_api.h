// The stream functions of the C interface. Each is a slot of the C-interface
// dispatch table; the number after "slot" is its position there (the
// support-table slots are marked so). Results are lvio codes: 0 or positive
// on success, negative LVIO_E_* on failure, unless stated otherwise.
//
// Operating-system handles on this platform are file descriptors, passed
// as 64-bit integers. LV_select and lv_wait_streams wait for such a handle
// to become readable (poll's POLLIN): a pipe, socket, terminal, eventfd or
// pidfd (which becomes readable when its process ends).
#pragma once

#include <cstdarg>
#include <cstdint>

#include "lvio/simple_device.h"
#include "lvio/time_value.h"
#include "streams/diagnostics.h"
#include "streams/std_streams.h"
#include "streams/stream.h"

// Slot 2: the default user-stream hook then makes all three standard
// streams interactive.
void LV_force_interactive();

// File-open options of LV_fopen.
constexpr uint32_t LV_FOPEN_READ = 0x1;
constexpr uint32_t LV_FOPEN_WRITE = 0x2;
constexpr uint32_t LV_FOPEN_APPEND = 0x4;  // implies write
constexpr uint32_t LV_FOPEN_BINARY = 0x8;
constexpr uint32_t LV_FOPEN_TEXT = 0x10;
constexpr uint32_t LV_FOPEN_INTERACTIVE = 0x20;
constexpr uint32_t LV_FOPEN_REPOSITION = 0x40;
constexpr uint32_t LV_FOPEN_LINE_FLUSH = 0x80;
constexpr uint32_t LV_FOPEN_NAME_AS_GIVEN = 0x100;
constexpr uint32_t LV_FOPEN_EXCLUSIVE = 0x200;
constexpr uint32_t LV_FOPEN_NAME_LAYER = 0x400;      // "url:" names through the file-name layer, as given
constexpr uint32_t LV_FOPEN_ENCODING_TERM = 0x2000;  // the encoding argument is a term word
constexpr uint32_t LV_FOPEN_ENCODING_REF = 0x4000;   // ... a term-reference index
constexpr uint32_t LV_FOPEN_HIDDEN = 0x10000;
constexpr uint32_t LV_FOPEN_NORMALIZE_0X40 = 0x20000;
constexpr uint32_t LV_FOPEN_CREATION_0X1000 = 0x40000;
constexpr uint32_t LV_FOPEN_DEVICE_0X80 = 0x80000;

// Slot 20: opens a file (UTF-8 path). The encoding argument is 0 (none),
// a term (LV_FOPEN_ENCODING_TERM) or a term-reference index
// (LV_FOPEN_ENCODING_REF): [] or encoding(Name, Signature, EndOfLine).
int64_t LV_fopen(const char* path, uintptr_t encoding, uint32_t options, lv_stream** out);

// Options of LV_create_os_stream.
constexpr uint32_t LV_OS_READ = 0x1;
constexpr uint32_t LV_OS_WRITE = 0x2;
constexpr uint32_t LV_OS_BINARY = 0x4;
constexpr uint32_t LV_OS_TEXT = 0x8;
constexpr uint32_t LV_OS_BORROWED = 0x20;      // the device neither closes the handle nor shuts it down
constexpr uint32_t LV_OS_OWN_POSITION = 0x40;  // the device uses the handle's own file position
constexpr uint32_t LV_OS_LINE_FLUSH = 0x80;
constexpr uint32_t LV_OS_CODER_STRICT = 0x100;
constexpr uint32_t LV_OS_CODER_REPLACE = 0x800;
constexpr uint32_t LV_OS_DETECT_BOM = 0x1000;
constexpr uint32_t LV_OS_WRITE_BOM = 0x4000;
constexpr uint32_t LV_OS_NO_UTF8_BOM = 0x8000;
constexpr uint32_t LV_OS_REPOSITION = 0x10000;
constexpr uint32_t LV_OS_LOCALE_ENCODING = 0x20000;  // no name: the locale's code set
constexpr uint32_t LV_OS_ENCODING_GIVEN = 0x40000;

// Slot 22: a stream over an operating-system handle, which it takes over
// (unless LV_OS_BORROWED) once the stream is made: a failure leaves the
// handle open. The encoding term is encoding(Name, Signature,
// EndOfLine) of atoms, Name default meaning none.
int64_t LV_create_os_stream(int64_t handle, lv_stream** out, lv_term encoding, uint32_t options);

// Slot 23: the user data of the stream's simple device when its class tag
// is the given one; LVIO_E_NOT_FOUND otherwise.
int64_t LV_get_stream_user_data(lv_stream* stream, const void* class_tag, void** user_data);

// Slot 24: the item count, line count and line position (any pointer may be
// null). Options: 1 the input side, 2 the output side, 0 either (an
// interactive stream then reports the terminal's counters).
int64_t LV_get_stream_counts(lv_stream* stream, int64_t* items, int64_t* lines, int64_t* line_position,
                             uint32_t options);

// Slots 68-72.
lv_stream* LV_get_stdin();
lv_stream* LV_get_stdout();
lv_stream* LV_get_stderr();
lv_stream* LV_get_curin();
lv_stream* LV_get_curout();

// Slots 73 and 74 (declared in streams/std_streams.h):
// LV_set_user_stream_hook, LV_set_user_stream_post_hook.

// Options of LV_create_stream.
constexpr uint32_t LV_CREATE_BYTES = 0x1;
constexpr uint32_t LV_CREATE_CODES = 0x2;
constexpr uint32_t LV_CREATE_INTERACTIVE = 0x4;
constexpr uint32_t LV_CREATE_LINE_FLUSH = 0x8;
constexpr uint32_t LV_CREATE_END_CODE = 0x10;
constexpr uint32_t LV_CREATE_END_RESET = 0x20;

// Slot 77: a stream over the caller's callbacks (a simple device): input
// when read is given, output when write is given.
int64_t LV_create_stream(void* user_data, const void* class_tag, lvio_device_read_fn read,
                         lvio_device_write_fn write, lvio_device_flush_fn flush, lvio_device_spare1_fn spare1,
                         lvio_device_close_fn close, lvio_device_spare2_fn spare2, lvio_device_control_fn control,
                         void* reserved, uint32_t options, lv_stream** out);

// Slots 78-81 (declared in streams/stream.h): lv_get_byte_helper,
// lv_put_byte_helper, lv_get_code_helper, lv_put_code_helper.

// Slots 82-84: formatted text (2048-byte buffer, longer texts allocated)
// written as UTF-8 to user_output, to the stream, to user_error.
int64_t LV_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int64_t LV_fprintf(lv_stream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
// lv_ttyprintf (slot 84) is declared in streams/diagnostics.h.
int64_t lv_stream_vprintf(lv_stream* stream, const char* format, va_list args);

// Option of LV_put_bytes and LV_put_codes: make room only.
constexpr uint32_t LV_PUT_RESERVE_ONLY = 0x1000;

// Slots 85-87. Option 1: don't wait.
int64_t LV_put_bytes(lv_stream* stream, const uint8_t* bytes, int64_t count, uint32_t options);
int64_t LV_put_codes(lv_stream* stream, const uint32_t* codes, int64_t count, uint32_t options);
int64_t LV_put_encoded_string(lv_stream* stream, const char* text, uint32_t options);

// Slot 88. Options: 1 don't wait, 2 line-end flush, 4 wait for the device
// to have the bytes (without it the bytes go to the operating system).
constexpr uint32_t LV_FLUSH_OUTPUT_DEVICE_SYNC = 0x4;
int64_t LV_flush_output(lv_stream* stream, uint32_t options);

// Close options.
constexpr uint32_t LV_CLOSE_FORCE = 0x1;
constexpr uint32_t LV_CLOSE_INPUT = 0x2;
constexpr uint32_t LV_CLOSE_OUTPUT = 0x4;
constexpr uint32_t LV_CLOSE_USER_CLASS = 0x10;  // LV_fclose: the argument is a simple-device class tag
constexpr uint32_t LV_CLOSE_REPLACE = 0x20;
constexpr uint32_t LV_CLOSE_FORGET = 0x40;

// Slot 89: closes the stream, or with LV_CLOSE_USER_CLASS every stream of
// that class. 0 (a side closed or nothing to do), 2 (the record was freed),
// or an error (a failed final flush among them: nothing is closed then,
// unless forced).
int64_t LV_fclose(void* stream, uint32_t options);

// Slots 90 and 91.
int64_t LV_unget_code(lv_stream* stream, int64_t code);
int64_t LV_unget_byte(lv_stream* stream, int64_t byte);

// Slot 137: the next newer stream that is not hidden (null: the oldest);
// *out is null at the end. Returns 0.
int64_t LV_next_stream(lv_stream* stream, lv_stream** out);

// Slot 138: waits until a handle is readable, a read stream has an item
// (or its end, or an error) or a write stream has room; a null time-out
// waits without limit. Entries that are not ready become -1 or null and the
// counts become the numbers of ready ones. LVIO_E_TIMEOUT, LVIO_E_INTERRUPTED.
int64_t LV_select(int64_t* handles, int64_t* handle_count, lv_stream** reads, int64_t* read_count,
                  lv_stream** writes, int64_t* write_count, const lvio_time* timeout, uint32_t reserved);
// The wait of LV_select on the handles and the streams' chain events.
int64_t lv_wait_streams(int64_t* handles, int64_t* handle_count, lv_stream** reads, int64_t* read_count,
                        lv_stream** writes, int64_t* write_count, const lvio_time* timeout);

// Slots 174-177: the I/O layer's diagnostics.
int64_t lv_lvio_assert_failure(const char* function, const char* file, int line);
int64_t lv_lvio_debug_break(const char* file, int line);
const char* lv_lvio_error_name(int64_t code);
int64_t lv_lvio_trace_line(const char* function, const char* file, int line, const char* text, int64_t value,
                           const char* message, int level);

// Slot 183, lv_ttyflush, and the support-table slots 25 (errprintf) and 34
// (LV_set_errprintf_hook) are declared in streams/diagnostics.h.

// Slot 186: adds an idle hook (or replaces its data); option 1 removes it
// (LVIO_E_NOT_FOUND when absent).
int64_t LV_install_idle_hook(int (*function)(void* data), void* data, uint32_t options);

// Not a slot: a binary input stream over a copy of count bytes, whose file
// name is the given name.
int64_t lv_open_memory_input(const void* bytes, uint64_t count, const char* name, lv_stream** out);
