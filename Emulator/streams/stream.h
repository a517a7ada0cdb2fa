// Byte input streams: the stream record with its inline read cursors, opened
// on a file or on a copy of a memory buffer, and the ring of open streams
// that stream arguments are checked against.
//
// The record keeps the field order of the full stream record: the eight
// cursor fields first (the byte read cursor and limit are the ones used
// here), then the flags and the capability word. What follows them is the
// inside of this reader: a file descriptor or a memory copy, one buffer,
// the byte count, a name for messages and the ring links. Only binary
// reading is offered.
#pragma once

#include <cstdint>

#include "core/term.h"

struct lv_stream {
  uint8_t* byte_read_cursor;  // next byte to read
  uint8_t* byte_read_limit;   // end of the readable bytes
  uint8_t* byte_write_cursor;
  uint8_t* byte_write_limit;
  uint32_t* code_read_cursor;
  uint32_t* code_read_limit;
  uint32_t* code_write_cursor;
  uint32_t* code_write_limit;
  uint32_t flags;         // LV_STREAM_* bits
  uint64_t capabilities;  // LV_CAP_* bits, derived from the flags

  int fd;                 // -1 for a memory stream
  uint8_t* data;          // the read buffer, or the memory copy
  uint64_t data_size;     // bytes allocated at data
  uint64_t consumed;      // bytes of earlier buffers
  bool at_end;
  char* name;             // for messages
  lv_stream* prev;        // ring links
  lv_stream* next;
};
static_assert(__builtin_offsetof(lv_stream, flags) == 64 && __builtin_offsetof(lv_stream, capabilities) == 72);

// Flags.
constexpr uint32_t LV_STREAM_INPUT = 0x1;
constexpr uint32_t LV_STREAM_OUTPUT = 0x2;
constexpr uint32_t LV_STREAM_BINARY = 0x8;
constexpr uint32_t LV_STREAM_TEXT = 0x10;

// Capabilities, as stream arguments ask for them.
constexpr uint64_t LV_CAP_STREAM = 0x1;
constexpr uint64_t LV_CAP_INPUT = 0x2;
constexpr uint64_t LV_CAP_OUTPUT = 0x4;
constexpr uint64_t LV_CAP_BINARY = 0x800;
constexpr uint64_t LV_CAP_TEXT = 0x4000;
// Not a capability: the stream-argument check sets no pending error.
constexpr uint64_t LV_CAP_QUIET = 0x40000;

// Mode flags of LV_fopen.
constexpr uint32_t LV_FOPEN_READ = 0x1;
constexpr uint32_t LV_FOPEN_WRITE = 0x2;
constexpr uint32_t LV_FOPEN_BINARY = 0x8;
constexpr uint32_t LV_FOPEN_TEXT = 0x10;
constexpr uint32_t LV_FOPEN_NAME_AS_GIVEN = 0x400;

// Opens the named file (UTF-8 text) as a stream: 0 and *out, or a negative
// lvio code (LVIO_E_FILE_NOT_FOUND, LVIO_E_PERMISSION_ERROR, ...). Only a
// binary read (read and binary, text not set) is offered: other modes give
// LVIO_E_NOT_SUPPORTED. The name is used as given. options must be 0.
int64_t LV_fopen(const char* name, uint64_t options, uint32_t mode, lv_stream** out);

// A binary input stream over a copy of count bytes; name is used in
// messages. 0 and *out, or a negative lvio code.
int64_t lv_open_memory_input(const void* bytes, uint64_t count, const char* name, lv_stream** out);

// Closes the stream and releases the record: 0 or a negative lvio code. A
// failure to close keeps the record (and the stream in the ring) unless
// bit 0 of flags is set, which releases it in any case.
int64_t LV_fclose(lv_stream* stream, uint32_t flags);

// The slow path of reading a byte, for when the read cursor has reached the
// limit: refills the buffer and returns its first byte (consumed), or -1
// (LVIO_E_END_OF_FILE) at the end of the data, or another negative code.
// Interrupted reads are retried unless bit 2 of flags is set.
int64_t lv_get_byte_helper(lv_stream* stream, uint32_t flags);

// The next byte (0-255), or a negative code as lv_get_byte_helper.
inline int64_t lv_get_byte(lv_stream* s) {
  if (s->byte_read_cursor < s->byte_read_limit) return *s->byte_read_cursor++;
  return lv_get_byte_helper(s, 0);
}

// The stream's counters: items (bytes read so far), lines and line position
// (0: a binary stream counts no lines). 0 or a negative code.
int64_t LV_get_stream_counts(lv_stream* stream, int64_t* items, int64_t* lines, int64_t* line_position,
                             uint32_t flags);

// The name the stream was opened under ("" when none).
const char* lv_stream_name(const lv_stream* stream);

// The stream when it is in the ring of open streams, else null.
lv_stream* lv_stream_known(const void* address);

// A stream argument: an integer (small or boxed) holding the address of an
// open stream. The standard streams (user_input, user_output, user_error,
// user) do not exist yet, so their aliases are not streams. The stream must
// have every capability in required and none in forbidden; otherwise null
// with the pending error 262 (input asked for) or 518 with the term as
// culprit. A term that is not an open stream gives null and the pending
// error 2306. With LV_CAP_QUIET in required no pending error is set.
lv_stream* lv_get_stream_arg(lv_term term, uint64_t required, uint64_t forbidden);

// The term a stream is handed to Prolog as: its address as an integer.
lv_term lv_stream_term(const lv_stream* stream);
