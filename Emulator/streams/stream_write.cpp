// Writing: the write-out behind the inline write cursors, flushing, the
// line-end flush of terminal-like outputs, and the put functions of the C
// interface.
#include <cstring>

#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/char_coder_layer.h"
#include "lvio/layer.h"
#include "lvio/utf8.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "streams/stream_internal.h"

namespace {

constexpr uint64_t BINARY_BUFFER_BYTES = 65536;
constexpr uint64_t KEEP_ON_INTERRUPT_GROWTH = 100;
constexpr uint32_t UNWRAPPED_WRITE_ALL = 0x20;

bool output_only(const lv_stream* s) { return lv_stream_counts_output(s); }

// The end of whole items in the buffer's capacity.
uint8_t* room_end(const lv_stream* s, const lvio_buffer* b) {
  return b->data + (b->capacity - b->capacity % lv_item_size(s));
}

// Points the write cursor at the used end, the limit at the room's end
// (or one item on for single-item writes).
void reset_write_cursors(lv_stream* s) {
  lvio_buffer* b = s->write_buffer;
  uint8_t* cursor = b->data + b->used;
  uint8_t* limit = (s->flags & LV_STREAM_SINGLE_WRITE) != 0 ? cursor + lv_item_size(s) : room_end(s, b);
  if (limit > room_end(s, b)) limit = room_end(s, b);
  lv_set_write_cursors(s, cursor, limit);
}

// Makes the write buffer when there is none.
int64_t ensure_write_buffer(lv_stream* s, uint64_t bytes) {
  if (s->write_buffer != nullptr) return 0;
  s->write_buffer = lvio_buffer_create(nullptr, bytes, 0);
  if (s->write_buffer == nullptr) return LVIO_E_OUT_OF_MEMORY;
  s->counted_mark = output_only(s) ? 0 : s->counted_mark;
  reset_write_cursors(s);
  return 0;
}

// Writes out a full buffer once to make room: 0, or LVIO_E_INTERRUPTED
// unless the stream keeps its output on interrupt, or the failure.
int64_t make_room(lv_stream* s, uint32_t options) {
  int64_t rc = lv_stream_write_buffer(s, options & 1);
  if (rc == LV_STREAM_INTERRUPTED || rc == LVIO_E_INTERRUPTED) {
    if ((s->flags & LV_STREAM_KEEP_ON_INTERRUPT) == 0) return LVIO_E_INTERRUPTED;
    rc = lvio_buffer_reserve(s->write_buffer, KEEP_ON_INTERRUPT_GROWTH);
    if (rc < 0) return rc;
    reset_write_cursors(s);
    return 0;
  }
  return rc < 0 ? rc : 0;
}

int64_t put_item(lv_stream* s, int64_t item, uint32_t options, uint32_t kind) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  uint8_t* cursor = lv_write_cursor(s);
  bool text = kind == LV_STREAM_TEXT;
  uint64_t size = text ? 4 : 1;
  if ((s->flags & (LV_STREAM_BINARY | LV_STREAM_TEXT)) == kind && cursor < lv_write_limit(s)) {
    if (text)
      *reinterpret_cast<uint32_t*>(cursor) = static_cast<uint32_t>(item);
    else
      *cursor = static_cast<uint8_t>(item);
    lv_set_write_cursors(s, cursor + size, lv_write_limit(s));
    return text ? item : item & 0xFF;
  }
  if ((s->flags & LV_STREAM_OUTPUT) == 0) return LVIO_E_NOT_WRITE;
  if ((s->flags & kind) == 0) return LVIO_E_GRANULARITY_ERROR;
  lvio_buffer* b = s->write_buffer;
  if (b == nullptr) {
    int64_t rc = ensure_write_buffer(s, text ? 0 : BINARY_BUFFER_BYTES);
    if (rc < 0) return rc;
    b = s->write_buffer;
  } else if (cursor == nullptr || cursor >= room_end(s, b)) {
    b->used = b->capacity;
    int64_t rc = make_room(s, options);
    // An earlier code without bytes was taken out by the write-out, which
    // made the room: the item is stored, and the put reports the code.
    if (rc == LVIO_E_ENCODING_UNMAPPABLE) {
      reset_write_cursors(s);
      int64_t stored = put_item(s, item, options, kind);
      return stored < 0 ? stored : rc;
    }
    if (rc < 0) return rc;
  } else {
    b->used = static_cast<uint64_t>(cursor - b->data);
  }
  if (b->capacity - b->used < size) {
    int64_t rc = lvio_buffer_reserve(b, size);
    if (rc < 0) return rc;
  }
  reset_write_cursors(s);
  return put_item(s, item, options, kind);
}

int64_t put_items(lv_stream* s, const void* items, int64_t count, uint32_t options, uint32_t kind) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  if ((s->flags & LV_STREAM_OUTPUT) == 0) return LVIO_E_NOT_WRITE;
  if ((s->flags & kind) == 0) return LVIO_E_GRANULARITY_ERROR;
  if (count == 0) return 0;
  if (count < 0 || static_cast<uint64_t>(count) > UINT64_MAX / 8) return LVIO_E_OUT_OF_MEMORY;
  uint64_t size = lv_item_size(s);
  uint8_t* cursor = lv_write_cursor(s);
  if (cursor == nullptr || lv_write_limit(s) - cursor < count * static_cast<int64_t>(size)) {
    uint64_t bytes = static_cast<uint64_t>(count) * size;
    bool fresh = s->write_buffer == nullptr;
    int64_t rc = ensure_write_buffer(s, 0);
    if (rc < 0) return rc;
    lvio_buffer* b = s->write_buffer;
    if (!fresh) b->used = static_cast<uint64_t>(lv_write_cursor(s) - b->data);
    if (b->capacity - b->used < bytes) {
      rc = make_room(s, options);
      if (rc < 0) return rc;
      if (b->capacity - b->used < bytes) {
        rc = lvio_buffer_reserve(b, bytes);
        if (rc < 0) return rc;
      }
    }
    uint8_t* c = b->data + b->used;
    lv_set_write_cursors(s, c, (s->flags & LV_STREAM_SINGLE_WRITE) != 0 ? c + bytes : room_end(s, b));
  }
  if ((options & LV_PUT_RESERVE_ONLY) == 0) {
    cursor = lv_write_cursor(s);
    std::memcpy(cursor, items, static_cast<uint64_t>(count) * size);
    lv_set_write_cursors(s, cursor + count * static_cast<int64_t>(size), lv_write_limit(s));
  }
  return 0;
}

}  // namespace

int64_t lv_stream_write_buffer(lv_stream* s, uint32_t options) {
  lvio_buffer* b = s->write_buffer;
  if (b == nullptr) return 0;
  uint64_t size = lv_item_size(s);
  uint8_t* cursor = lv_write_cursor(s);
  if (cursor != nullptr && cursor >= b->data && cursor <= b->data + b->capacity) {
    uint64_t used = static_cast<uint64_t>(cursor - b->data);
    b->used = used - used % size;
  }
  if (b->used == 0) {
    reset_write_cursors(s);
    return 0;
  }
  if (output_only(s)) lv_stream_count_sync(s, 1);
  bool interrupted = false;
  bool unmappable = false;
  int64_t failure = 0;
  uint64_t written = b->used;
  if (s->chain != nullptr) {
    uint64_t position = 0;
    bool no_wait = (options & 1) != 0 || (s->flags & LV_STREAM_OUTPUT_NONBLOCKING) != 0;
    uint32_t flags = UNWRAPPED_WRITE_ALL | (size == 4 ? 2 : 1) | (no_wait ? 4 : 0);
    int64_t rc = lvio_stream_write_buffer(&s->chain, b, &position, flags);
    // A code with no bytes in the stream's encoding is taken out and the
    // rest written: the write-out reports it once, and keeps the text
    // around it.
    while (rc == LVIO_E_ENCODING_UNMAPPABLE && position < b->used) {
      std::memmove(b->data + position, b->data + position + size, b->used - position - size);
      b->used -= size;
      if (output_only(s) && s->counted_mark > 0) s->counted_mark--;
      unmappable = true;
      rc = position < b->used ? lvio_stream_write_buffer(&s->chain, b, &position, flags) : 0;
    }
    if (rc < 0 && position == 0) {
      reset_write_cursors(s);
      return rc;
    }
    // What was not written stays buffered; an error after a partial write
    // is still reported, so that no output is lost without a word.
    if (rc == LVIO_E_INTERRUPTED)
      interrupted = true;
    else if (rc < 0)
      failure = rc;
    written = position;
  }
  // written never exceeds the used length, which is all the call checks.
  (void)lvio_buffer_set_position(b, static_cast<int64_t>(written));
  if (output_only(s)) s->counted_mark -= static_cast<int64_t>(written / size);
  reset_write_cursors(s);
  if (failure < 0) return failure;
  if (interrupted) return LV_STREAM_INTERRUPTED;
  return unmappable ? LVIO_E_ENCODING_UNMAPPABLE : 0;
}

int64_t lv_stream_can_encode(lv_stream* s, uint32_t code) {
  if (code < 0x80 || s->chain == nullptr || (s->flags & LV_STREAM_TEXT) == 0) return 0;
  lvio_code rc = lvio_stream_control_request(&s->chain, LVIO_REQUEST_CAN_ENCODE, &code, LVIO_OP_WALK_DOWN);
  return rc == LVIO_E_ENCODING_UNMAPPABLE ? rc : 0;
}

int64_t lv_stream_flush(lv_stream* s, uint32_t options) {
  if ((s->flags & LV_STREAM_OUT_AUTO) != 0) options |= LV_FLUSH_CLOSING;
  if ((options & LV_FLUSH_LINE_END) != 0) {
    if ((s->flags & LV_STREAM_OUTPUT) == 0) return 0;
    if (lv_streams.last_line_flush != s) {
      lv_streams.last_line_flush = s;
      int64_t rc = lv_flush_line_end_outputs(s, options & LV_FLUSH_NO_WAIT);
      if (rc < 0) return rc;
    }
  }
  if (s->write_buffer == nullptr) return 0;
  bool interrupted = false;
  int64_t unmappable = 0;
  for (;;) {
    uint64_t before = s->write_buffer->used;
    int64_t rc = lv_stream_write_buffer(s, options & LV_FLUSH_NO_WAIT);
    // A code without bytes was taken out and the rest written: the flush
    // goes on, and reports it at the end.
    if (rc == LVIO_E_ENCODING_UNMAPPABLE) {
      unmappable = rc;
      rc = 0;
    }
    if (rc < 0) return rc;
    if (rc == LV_STREAM_INTERRUPTED) interrupted = true;
    if (s->write_buffer->used == 0) break;
    // A don't-wait write that moved nothing would loop for ever.
    if (s->write_buffer->used >= before && rc != LV_STREAM_INTERRUPTED) return LVIO_E_WOULD_BLOCK;
  }
  if ((options & LV_FLUSH_NO_SYNC) == 0 && s->chain != nullptr) {
    bool no_wait = (options & LV_FLUSH_NO_WAIT) != 0 || (s->flags & LV_STREAM_OUTPUT_NONBLOCKING) != 0;
    // The device sync is skipped (0x40) unless asked for.
    uint32_t word = ((options & LV_FLUSH_CLOSING) != 0 ? 0x80 : 0) |
                    ((options & LV_FLUSH_DEVICE_SYNC) == 0 ? 0x40 : 0) | 0x0C | (no_wait ? 1 : 0);
    int64_t rc = lvio_stream_sync_all(&s->chain, word);
    if (rc < 0) return rc;
  }
  if (interrupted) return LV_STREAM_INTERRUPTED;
  return unmappable;
}

int64_t lv_flush_line_end_outputs(lv_stream* skip, uint32_t options) {
  lv_stream* head = lv_stream_ring_head();
  if (head == nullptr) return 0;
  constexpr uint32_t LINE_FLUSHED_TEXT_OUTPUT = LV_STREAM_OUTPUT | LV_STREAM_TEXT | LV_STREAM_LINE_FLUSH;
  bool interrupted = false;
  for (lv_stream* t = head->prev; t != head;) {
    lv_stream* newer = t->prev;
    if (t != skip && (t->flags & LINE_FLUSHED_TEXT_OUTPUT) == LINE_FLUSHED_TEXT_OUTPUT) {
      int64_t rc = lv_stream_flush(t, (options & 1) | (interrupted ? LV_FLUSH_NO_WAIT : 0));
      if (rc == LV_STREAM_INTERRUPTED || rc == LVIO_E_INTERRUPTED) interrupted = true;
    }
    t = newer;
  }
  return interrupted ? LVIO_E_INTERRUPTED : 0;
}

int64_t lv_stream_probe_output(lv_stream* s) {
  int64_t rc = ensure_write_buffer(s, 0);
  if (rc < 0) return rc;
  uint8_t* cursor = lv_write_cursor(s);
  if (cursor != nullptr && cursor < room_end(s, s->write_buffer)) return 0;
  rc = lv_stream_write_buffer(s, 1);
  if (rc == LV_STREAM_INTERRUPTED) return LVIO_E_INTERRUPTED;
  if (rc < 0) return rc;
  return lv_write_cursor(s) < room_end(s, s->write_buffer) ? 0 : LVIO_E_WOULD_BLOCK;
}

int64_t lv_put_byte_helper(lv_stream* s, int64_t byte, uint32_t options) {
  return put_item(s, byte, options, LV_STREAM_BINARY);
}

int64_t lv_put_code_helper(lv_stream* s, int64_t code, uint32_t options) {
  return put_item(s, code, options, LV_STREAM_TEXT);
}

int64_t LV_put_bytes(lv_stream* s, const uint8_t* bytes, int64_t count, uint32_t options) {
  return put_items(s, bytes, count, options, LV_STREAM_BINARY);
}

int64_t LV_put_codes(lv_stream* s, const uint32_t* codes, int64_t count, uint32_t options) {
  return put_items(s, codes, count, options, LV_STREAM_TEXT);
}

int64_t LV_put_encoded_string(lv_stream* s, const char* text, uint32_t options) {
  if (text == nullptr) return LVIO_E_PARAMETER_ERROR;
  uint64_t length = std::strlen(text);
  if (length == 0) return 0;
  int64_t rc = LV_put_codes(s, nullptr, static_cast<int64_t>(length), LV_PUT_RESERVE_ONLY | (options & 1));
  if (rc < 0) return rc;
  uint32_t* codes = s->code_write_cursor;
  uint64_t ascii = 0;
  while (ascii < length && static_cast<uint8_t>(text[ascii]) < 0x80) {
    codes[ascii] = static_cast<uint8_t>(text[ascii]);
    ascii++;
  }
  uint64_t decoded = length - ascii;
  if (decoded != 0) {
    rc = lvio_utf8_next_char(reinterpret_cast<const uint8_t*>(text) + ascii, length - ascii, codes + ascii, &decoded,
                             LVIO_UTF8_ACCEPT_C080 | LVIO_UTF8_EXTENDED);
    if (rc < 0) return rc;
  }
  s->code_write_cursor = codes + ascii + decoded;
  return 0;
}

int64_t LV_flush_output(lv_stream* s, uint32_t options) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  if ((s->flags & LV_STREAM_OUTPUT) == 0) return LVIO_E_NOT_WRITE;
  uint32_t flush = options & (LV_FLUSH_NO_WAIT | LV_FLUSH_LINE_END);
  if ((options & LV_FLUSH_OUTPUT_DEVICE_SYNC) != 0) flush |= LV_FLUSH_DEVICE_SYNC;
  if ((s->flags & LV_STREAM_OUTPUT_NONBLOCKING) != 0) flush |= LV_FLUSH_NO_WAIT;
  int64_t rc = lv_stream_flush(s, flush);
  if (rc == LVIO_E_WOULD_BLOCK && (options & LV_FLUSH_LINE_END) != 0) return 0;
  return rc;
}

int64_t lv_ttyflush() {
  lv_stream* err = lv_streams.user[LV_STD_ERROR];
  if (err == nullptr) return 0;
  return lv_stream_flush(err, 0);
}
