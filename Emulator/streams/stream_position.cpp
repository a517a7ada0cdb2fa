// One-item push-back and repositioning.
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/operation_flags.h"
#include "streams/stream.h"
#include "streams/stream_internal.h"

namespace {

int64_t unget(lv_stream* s, int64_t item, uint32_t kind) {
  if (s == nullptr || (s->flags & LV_STREAM_INPUT) == 0 || (s->flags & kind) == 0) return LVIO_E_PARAMETER_ERROR;
  if (item == LV_STREAM_END) {
    if ((s->flags & LV_STREAM_AT_END) == 0) return LVIO_E_PARAMETER_ERROR;
    if ((s->flags & LV_STREAM_PAST_END) != 0) {
      s->flags &= ~LV_STREAM_PAST_END;
    } else {
      lv_stream_count_sync(s, 0);
      s->flags &= ~LV_STREAM_AT_END;
      s->pushback_mark = s->item_count;
      s->previous_line_position = -1;
      s->previous_line_count = -1;
    }
    lv_stream_update_capabilities(s);
    return 0;
  }
  if ((s->flags & LV_STREAM_AT_END) != 0) return LVIO_E_PARAMETER_ERROR;
  lv_stream_count_sync(s, 0);
  if (s->item_count == s->pushback_mark) return LVIO_E_PARAMETER_ERROR;
  lvio_buffer* b = s->read_buffer;
  uint8_t* cursor = lv_read_cursor(s);
  uint64_t size = lv_item_size(s);
  if (b == nullptr || cursor == nullptr || cursor < b->data + size || lv_item_at(s, cursor - size) != item)
    return LVIO_E_PARAMETER_ERROR;
  lv_set_read_cursors(s, cursor - size, lv_read_limit(s));
  s->item_count--;
  s->counted_mark--;
  s->pushback_mark = s->item_count;
  if (kind == LV_STREAM_TEXT) {
    // The terminal's counters follow an interactive stream: they step
    // back with it, so that a newline given back is not counted as read.
    lv_stream* terminal = lv_stream_ring_head();
    if ((s->flags & LV_STREAM_INTERACTIVE) != 0 && terminal != nullptr && terminal != s) {
      terminal->item_count--;
      if (item == 10) {
        terminal->line_count--;
        terminal->line_position = s->previous_line_position;
      } else if (terminal->line_position > 0) {
        terminal->line_position--;
      }
    }
    s->line_count = s->previous_line_count;
    s->line_position = s->previous_line_position;
  }
  s->previous_line_position = -1;
  s->previous_line_count = -1;
  return 0;
}

// Writes the whole write buffer out.
int64_t write_out(lv_stream* s) {
  while (s->write_buffer != nullptr) {
    uint64_t before = s->write_buffer->used;
    int64_t rc = lv_stream_write_buffer(s, 0);
    if (rc == LV_STREAM_INTERRUPTED) return LVIO_E_INTERRUPTED;
    if (rc < 0) return rc;
    if (s->write_buffer->used == 0) return 0;
    if (s->write_buffer->used >= before) return LVIO_E_WRITE_ERROR;
  }
  return 0;
}

}  // namespace

int64_t lv_stream_unget_code(lv_stream* s, int64_t code) { return unget(s, code, LV_STREAM_TEXT); }

int64_t lv_stream_unget_byte(lv_stream* s, int64_t byte) { return unget(s, byte, LV_STREAM_BINARY); }

int64_t lv_stream_set_position(lv_stream* s, int64_t position, int64_t line_count, int64_t line_position,
                               uint32_t options) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  bool resync = options == LV_SEEK_RESYNC && position == 0;
  bool seek = (options & LV_SEEK) != 0;
  constexpr uint32_t WHENCE = LV_SEEK_FROM_START | LV_SEEK_FROM_CURRENT | LV_SEEK_FROM_END;
  uint32_t whence = seek ? options & WHENCE : LV_SEEK_FROM_START;
  if (!resync && whence != LV_SEEK_FROM_START && whence != LV_SEEK_FROM_CURRENT && whence != LV_SEEK_FROM_END)
    return LVIO_E_PARAMETER_ERROR;
  // A stream whose device cannot move keeps its position.
  if (!resync && s->chain != nullptr && (s->flags & LV_STREAM_REPOSITIONABLE) == 0) return LVIO_E_SEEK_ERROR;
  int64_t rc = write_out(s);
  if (rc < 0) return rc;
  lv_stream_count_sync(s, 0);
  int64_t size = static_cast<int64_t>(lv_item_size(s));
  if (resync) {
    position = s->item_count;
    lvio_buffer* b = s->read_buffer;
    uint8_t* cursor = lv_read_cursor(s);
    if (s->chain != nullptr && b != nullptr && cursor != nullptr) {
      uint8_t* end = b->data + b->used;
      uint64_t unread = cursor < end ? static_cast<uint64_t>(end - cursor) : 0;
      if (unread != 0) {
        lvio_buffer source = {cursor, unread, unread,
                              LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
        int64_t at = 0;
        rc = lvio_stream_seek(&s->chain, -static_cast<int64_t>(unread), &at, &source,
                              LVIO_SEEK_RELATIVE | LVIO_SEEK_GIVE_BACK);
        if (rc < 0) return rc;
      }
    }
  } else if (s->chain != nullptr) {
    if (whence == LV_SEEK_FROM_CURRENT) {
      if (__builtin_add_overflow(position, s->item_count, &position)) return LVIO_E_SEEK_ERROR;
      whence = LV_SEEK_FROM_START;
    }
    if (position < 0 && whence == LV_SEEK_FROM_START) return LVIO_E_SEEK_ERROR;
    // A position whose byte offset does not fit is out of reach; wrapped, it
    // would name some other position.
    int64_t offset;
    if (__builtin_mul_overflow(position, size, &offset)) return LVIO_E_SEEK_ERROR;
    int64_t at = 0;
    rc = lvio_stream_seek(&s->chain, offset, &at, nullptr,
                          whence == LV_SEEK_FROM_END ? LVIO_SEEK_FROM_END : LVIO_SEEK_ABSOLUTE);
    if (rc < 0) return rc;
    position = at / size;
  } else {
    if (whence == LV_SEEK_FROM_END) return LVIO_E_SEEK_ERROR;
    if (whence == LV_SEEK_FROM_CURRENT && __builtin_add_overflow(position, s->item_count, &position))
      return LVIO_E_SEEK_ERROR;
  }
  lvio_buffer_free(s->read_buffer);
  s->read_buffer = nullptr;
  lv_set_read_cursors(s, nullptr, nullptr);
  s->item_count = position;
  s->pushback_mark = position;
  s->counted_mark = 0;
  if (!resync) {
    s->line_count = seek ? 0 : line_count;
    s->line_position = seek ? 0 : line_position;
  }
  s->previous_line_position = -1;
  s->previous_line_count = -1;
  if (lvio_buffer* w = s->write_buffer; w != nullptr)
    lv_set_write_cursors(s, w->data + w->used, w->data + (w->capacity - w->capacity % static_cast<uint64_t>(size)));
  s->flags &= ~(LV_STREAM_AT_END | LV_STREAM_PAST_END);
  if (position + 1 == s->end_position) {
    s->flags |= LV_STREAM_AT_END;
    s->pushback_mark = 0;
  }
  lv_stream_update_capabilities(s);
  return 0;
}
