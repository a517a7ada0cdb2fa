// The stream record: buffered items over an I/O-layer chain, the inline
// cursors that the fast paths move, the item, line and line-position
// counters, the end-of-stream state and the ring of open streams.
//
// Only one cursor pair per direction is live: the byte pairs on a binary
// stream, the code pairs (32-bit character codes) on a text stream. A read
// limit is the buffer's data plus its used length, a write limit the data
// plus its capacity; the single-item flags shorten a limit to cursor + 1.
// Items are counted lazily, when a buffer boundary is reached or a counter
// is read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/term.h"
#include "core/worker.h"
#include "lvio/result_codes.h"

struct lvio_buffer;
struct lvio_layer;

struct lv_stream {
  // The eight cursor fields are part of the binary interface: the inline
  // get and put macros of the C interface test and move them directly.
  uint8_t* byte_read_cursor;
  uint8_t* byte_read_limit;
  uint8_t* byte_write_cursor;
  uint8_t* byte_write_limit;
  uint32_t* code_read_cursor;
  uint32_t* code_read_limit;
  uint32_t* code_write_cursor;
  uint32_t* code_write_limit;
  uint32_t flags;         // LV_STREAM_* bits
  uint64_t capabilities;  // LV_CAP_* bits, derived from the flags
  lvio_buffer* read_buffer;
  lvio_buffer* write_buffer;
  lvio_layer* chain;  // top layer; null only for the null stream
  lv_stream* prev;    // towards newer streams (the ring head after the newest)
  lv_stream* next;    // towards older streams (the ring head after the oldest)
  lv_term file_name;  // registered atom, 0 when none
  int64_t item_count;
  int64_t counted_mark;  // items of the current buffer already counted
  int64_t line_position;
  int64_t line_count;
  int64_t previous_line_position;  // before the last counted item; -1 unknown
  int64_t previous_line_count;
  int64_t end_position;   // item count + 1 where end of stream was met; -1
  int64_t pushback_mark;  // item count at the last push-back or reposition
  int64_t id;
};
static_assert(offsetof(lv_stream, byte_read_limit) == 8 && offsetof(lv_stream, byte_write_cursor) == 16 &&
              offsetof(lv_stream, byte_write_limit) == 24 && offsetof(lv_stream, code_read_cursor) == 32 &&
              offsetof(lv_stream, code_read_limit) == 40 && offsetof(lv_stream, code_write_cursor) == 48 &&
              offsetof(lv_stream, code_write_limit) == 56 && offsetof(lv_stream, flags) == 64 &&
              offsetof(lv_stream, capabilities) == 72 && offsetof(lv_stream, chain) == 96 &&
              offsetof(lv_stream, file_name) == 120 && offsetof(lv_stream, item_count) == 128 &&
              offsetof(lv_stream, id) == 192 && sizeof(lv_stream) == 200);

// Flags.
constexpr uint32_t LV_STREAM_INPUT = 0x1;
constexpr uint32_t LV_STREAM_OUTPUT = 0x2;
constexpr uint32_t LV_STREAM_APPEND = 0x4;
constexpr uint32_t LV_STREAM_BINARY = 0x8;
constexpr uint32_t LV_STREAM_TEXT = 0x10;
constexpr uint32_t LV_STREAM_SINGLE_READ = 0x20;
constexpr uint32_t LV_STREAM_SINGLE_WRITE = 0x40;
constexpr uint32_t LV_STREAM_INTERACTIVE = 0x80;
constexpr uint32_t LV_STREAM_LINE_FLUSH = 0x100;
constexpr uint32_t LV_STREAM_INPUT_NONBLOCKING = 0x200;
constexpr uint32_t LV_STREAM_OUTPUT_NONBLOCKING = 0x400;
constexpr uint32_t LV_STREAM_KEEP_ON_INTERRUPT = 0x800;
constexpr uint32_t LV_STREAM_AT_END = 0x1000;
constexpr uint32_t LV_STREAM_PAST_END = 0x2000;
constexpr uint32_t LV_STREAM_NULL_DEVICE = 0x4000;
constexpr uint32_t LV_STREAM_BOM_FOUND = 0x8000;
constexpr uint32_t LV_STREAM_REPOSITIONABLE = 0x10000;
constexpr uint32_t LV_STREAM_END_CODE = 0x20000;
constexpr uint32_t LV_STREAM_END_RESET = 0x40000;
constexpr uint32_t LV_STREAM_CLOSE_CLEANUP = 0x80000;
constexpr uint32_t LV_STREAM_HIDDEN = 0x100000;
constexpr uint32_t LV_STREAM_STANDARD = 0x200000;
constexpr uint32_t LV_STREAM_INPUT_WATCHED = 0x400000;
constexpr uint32_t LV_STREAM_IN_CRLF = 0x800000;
constexpr uint32_t LV_STREAM_IN_AUTO = 0x1000000;
constexpr uint32_t LV_STREAM_OUT_CRLF = 0x2000000;
constexpr uint32_t LV_STREAM_OUT_AUTO = 0x4000000;  // flushes pass the closing sync option

// Capabilities, as stream arguments ask for them.
constexpr uint64_t LV_CAP_STREAM = 0x1;
constexpr uint64_t LV_CAP_INPUT = 0x2;
constexpr uint64_t LV_CAP_OUTPUT = 0x4;
constexpr uint64_t LV_CAP_INTERACTIVE = 0x8;
constexpr uint64_t LV_CAP_STANDARD = 0x10;
constexpr uint64_t LV_CAP_APPEND = 0x20;
constexpr uint64_t LV_CAP_HIDDEN = 0x40;
constexpr uint64_t LV_CAP_REPOSITIONABLE = 0x100;
constexpr uint64_t LV_CAP_END_CODE = 0x200;
constexpr uint64_t LV_CAP_END_RESET = 0x400;
constexpr uint64_t LV_CAP_BINARY = 0x800;
constexpr uint64_t LV_CAP_CLOSE_CLEANUP = 0x1000;
constexpr uint64_t LV_CAP_TEXT = 0x4000;
constexpr uint64_t LV_CAP_LINE_FLUSH = 0x8000;
// Not a capability: the stream-argument check sets no pending error.
constexpr uint64_t LV_CAP_QUIET = 0x40000;

// Results of the stream layer besides the lvio codes.
constexpr int64_t LV_STREAM_END = -1;           // end of stream
constexpr int64_t LV_STREAM_INTERRUPTED = 5;    // a write-out was interrupted after writing part
constexpr int64_t LV_STREAM_PROBE_END = 30000;  // end of file, from the readiness probes
constexpr int64_t LV_STREAM_BOM = 30001;        // a byte-order mark was found

// Options of the refills and of the get helpers.
constexpr uint32_t LV_GET_NO_WAIT = 0x1;
constexpr uint32_t LV_GET_PEEK = 0x2;
constexpr uint32_t LV_GET_RETURN_ON_INTERRUPT = 0x4;

// Options of lv_stream_flush.
constexpr uint32_t LV_FLUSH_NO_WAIT = 0x1;
constexpr uint32_t LV_FLUSH_LINE_END = 0x2;
constexpr uint32_t LV_FLUSH_NO_SYNC = 0x8;
constexpr uint32_t LV_FLUSH_CLOSING = 0x10;
// Waits for the device to have the bytes (a disk file's sync); without it
// a flush hands the bytes to the operating system and returns.
constexpr uint32_t LV_FLUSH_DEVICE_SYNC = 0x20;

// The record, the ring and the counters.

// A zeroed record (previous-line fields and end position -1, the next id),
// not linked; null when out of memory.
lv_stream* lv_stream_new();
// Frees a record that is not linked (its buffers too).
void lv_stream_free(lv_stream* stream);
void lv_stream_update_capabilities(lv_stream* stream);
// Recomputes the capabilities and links the stream right after the ring head.
void lv_stream_link(lv_stream* stream);
void lv_stream_unlink(lv_stream* stream);
// The dummy head of the ring; its counters are the terminal's, shared by
// every interactive stream. Null before the streams are initialised.
lv_stream* lv_stream_ring_head();
// Makes the ring head (once); false when out of memory.
bool lv_stream_ring_create();
// Frees the ring head (the ring must be empty but for it).
void lv_stream_ring_destroy();
// Restarts the stream ids (start-up): streams count from 1, the ring head is 0.
void lv_stream_reset_ids();
// The stream when it is one of the three standard records or in the ring.
lv_stream* lv_stream_known(const void* address);
// The open stream a handle names: its id, which no other stream ever
// has. Null for a handle of no open stream (a closed one included).
lv_stream* lv_stream_of_handle(int64_t handle);
// With a stream: it, when known and id is 0 or its id. With null: the
// stream of the ring with that id (newest first). Else null.
lv_stream* lv_find_stream_by_id(lv_stream* stream, int64_t id);
// Brings the counters up to the cursor of the input side (else the output
// side). Option 1 on an interactive stream counts the other interactive
// text inputs first, so that the terminal counters stay in order.
void lv_stream_count_sync(lv_stream* stream, uint32_t options);

// Refills (options LV_GET_NO_WAIT, LV_GET_PEEK): the next byte or code,
// LV_STREAM_END at end of stream, or a negative lvio code.
int64_t lv_stream_fill_bytes(lv_stream* stream, uint32_t options);
int64_t lv_stream_fill_codes(lv_stream* stream, uint32_t options);
// Drains the deferred-close list; LVIO_E_INTERNAL_ERROR when the stream is
// no longer known or its id changed; LVIO_E_INTERRUPTED when an event was
// pending (it is taken).
int64_t lv_stream_validate(lv_stream* stream);

// Writes the buffered output once (option 1: don't wait): 0,
// LV_STREAM_INTERRUPTED when interrupted after a partial write, or a
// negative code; unwritten bytes stay buffered.
int64_t lv_stream_write_buffer(lv_stream* stream, uint32_t options);
// 0 when the stream's encoding has bytes for the code (always for codes
// below 128, binary and chainless streams), else LVIO_E_ENCODING_UNMAPPABLE.
// A code without bytes that reaches a write-out anyway is taken out of the
// buffer there and reported by that write-out, once.
int64_t lv_stream_can_encode(lv_stream* s, uint32_t code);
// Writes out everything and syncs the chain (LV_FLUSH_* options).
int64_t lv_stream_flush(lv_stream* stream, uint32_t options);
// Flushes every text output stream that flushes at line ends, but skip;
// LVIO_E_INTERRUPTED when one was interrupted.
int64_t lv_flush_line_end_outputs(lv_stream* skip, uint32_t options);
// Makes room in the write buffer without waiting (creates the buffer,
// writes a full one out): 0, LVIO_E_INTERRUPTED, or a negative code.
int64_t lv_stream_probe_output(lv_stream* stream);

// Gives back the last item read (LV_STREAM_END: the end of stream just
// met): 0 or LVIO_E_PARAMETER_ERROR.
int64_t lv_stream_unget_code(lv_stream* stream, int64_t code);
int64_t lv_stream_unget_byte(lv_stream* stream, int64_t byte);

// Options of lv_stream_set_position.
constexpr uint32_t LV_SEEK = 0x1;             // else: restore a saved position and its line counters
constexpr uint32_t LV_SEEK_FROM_START = 0x2;  // with LV_SEEK, the whence
constexpr uint32_t LV_SEEK_FROM_CURRENT = 0x4;
constexpr uint32_t LV_SEEK_FROM_END = 0x8;
constexpr uint32_t LV_SEEK_RESYNC = 0x15;  // with position 0: give buffered unread bytes back to the device
int64_t lv_stream_set_position(lv_stream* stream, int64_t position, int64_t line_count, int64_t line_position,
                               uint32_t options);

// Errors.

// Sets the pending error for an lvio code (output: the output side).
void lv_raise_lvio_error(int64_t code, bool output, lv_term culprit);
// The same with argument number argument of name/arity as culprit, then
// raises it in the goal context prolog:name/arity.
int lv_raise_stream_error(lv_worker* w, int64_t code, bool output, lv_term name, unsigned arity, int64_t argument);
// A stream argument: user_input, user_output, user_error, user (input when
// required holds LV_CAP_INPUT, else output) or an integer holding the
// handle of an open stream. It must have every capability of required
// and none of forbidden: null with pending error 262 (input asked) or 518
// otherwise, LV_ERROR_NO_SUCH_STREAM for an integer that names no open
// stream, or 2306 when it is no stream term at all. LV_CAP_QUIET sets none.
lv_stream* lv_get_stream_arg(lv_term term, uint64_t required, uint64_t forbidden);
// The integer that stands for a stream in Prolog: its handle, the stream's
// id. A handle names one stream for the stream's life: once the stream is
// closed it names none, whatever is opened later.
lv_term lv_stream_term(const lv_stream* stream);
// The file name the stream was opened under, "" when none.
const char* lv_stream_name(const lv_stream* stream);

// The slow paths behind the inline macros of the C interface (C-interface
// slots 78 lv_get_byte_helper, 79 lv_put_byte_helper, 80 lv_get_code_helper,
// 81 lv_put_code_helper). The get helpers validate the stream and retry an
// interrupted refill (LV_GET_RETURN_ON_INTERRUPT returns it instead); the
// put helpers give the item, or a negative code with nothing stored.
int64_t lv_get_byte_helper(lv_stream* stream, uint32_t options);
int64_t lv_get_code_helper(lv_stream* stream, uint32_t options);
int64_t lv_put_byte_helper(lv_stream* stream, int64_t byte, uint32_t options);
int64_t lv_put_code_helper(lv_stream* stream, int64_t code, uint32_t options);

inline int64_t lv_get_byte(lv_stream* s) {
  if (s->byte_read_cursor < s->byte_read_limit) return *s->byte_read_cursor++;
  return lv_get_byte_helper(s, 0);
}
inline int64_t lv_peek_byte(lv_stream* s) {
  if (s->byte_read_cursor < s->byte_read_limit) return *s->byte_read_cursor;
  return lv_get_byte_helper(s, LV_GET_PEEK);
}
inline int64_t lv_get_code(lv_stream* s) {
  if (s->code_read_cursor < s->code_read_limit) return *s->code_read_cursor++;
  return lv_get_code_helper(s, 0);
}
inline int64_t lv_peek_code(lv_stream* s) {
  if (s->code_read_cursor < s->code_read_limit) return *s->code_read_cursor;
  return lv_get_code_helper(s, LV_GET_PEEK);
}
inline int64_t lv_put_byte(lv_stream* s, uint8_t byte) {
  if (s->byte_write_cursor < s->byte_write_limit) return *s->byte_write_cursor++ = byte;
  return lv_put_byte_helper(s, byte, 0);
}
inline int64_t lv_put_code(lv_stream* s, uint32_t code) {
  if (s->code_write_cursor < s->code_write_limit) return *s->code_write_cursor++ = code;
  return lv_put_code_helper(s, code, 0);
}

// Services that the stream layer calls on the embedding side, installed by
// it: the Prolog query behind close cleanup, and taking the engine's
// pending-event flag. Null hooks are skipped.
struct lv_stream_services {
  // Runs prolog:close_cleanup(Stream, Which) once; which is read, write or all.
  void (*close_cleanup)(lv_stream* stream, lv_term which);
  // 1 when an event was pending (and is now taken), else 0.
  int (*take_pending_event)();
};
extern lv_stream_services lv_stream_hooks;
