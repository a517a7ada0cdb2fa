// Reading: the refill behind the inline read cursors, the end-of-stream
// state, the interactive protocol (prompt and idle hooks) and the get
// helpers of the C interface.
#include <cstring>

#include "core/atoms.h"
#include "core/flag_builtins.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/deferred_close.h"
#include "lvio/time_value.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "streams/stream_internal.h"

namespace {

constexpr int64_t IDLE_ROUNDS = 10;

int64_t take_item(lv_stream* s, uint8_t* cursor, uint8_t* limit, uint32_t options) {
  int64_t item = lv_item_at(s, cursor);
  if ((options & LV_GET_PEEK) == 0) cursor += lv_item_size(s);
  lv_set_read_cursors(s, cursor, limit);
  return item;
}

int64_t mark_end(lv_stream* s) {
  if ((s->flags & LV_STREAM_AT_END) != 0) {
    s->flags |= LV_STREAM_PAST_END;
  } else {
    s->flags |= LV_STREAM_AT_END;
    s->end_position = s->item_count + 1;
    s->pushback_mark = 0;
    s->previous_line_position = -1;
    s->previous_line_count = -1;
  }
  lv_stream_update_capabilities(s);
  return LV_STREAM_END;
}

// One read of the chain into the read buffer, after its used length.
int64_t read_chain(lv_stream* s, bool no_wait) {
  uint32_t flags = ((s->flags & LV_STREAM_TEXT) != 0 ? 2 : 1) | (no_wait ? 4 : 0);
  uint64_t before = s->read_buffer != nullptr ? s->read_buffer->used : 0;
  uint64_t size = lv_item_size(s);
  uint64_t whole;
  // A device that hands over part of an item is read again for the rest.
  do {
    int64_t rc = lvio_stream_read_buffer(&s->chain, &s->read_buffer, flags);
    if (rc < 0) return rc;
    whole = s->read_buffer->used - (s->read_buffer->used - before) % size;
  } while (whole == before);
  lvio_buffer* b = s->read_buffer;
  uint8_t* cursor = b->data + before;
  uint8_t* limit = (s->flags & LV_STREAM_SINGLE_READ) != 0 ? cursor + size : b->data + whole;
  lv_set_read_cursors(s, cursor, limit);
  return 0;
}

// Writes the prompt (the prompt flag's atom) to user_error when the
// terminal is at the start of a line.
int64_t prompt(void) {
  lv_stream* head = lv_stream_ring_head();
  lv_stream* err = lv_streams.user[LV_STD_ERROR];
  if (head == nullptr || err == nullptr || head->line_position != 0) return 0;
  const char* text = lv_flags.prompt != 0 ? lv_atom_text(lv_flags.prompt) : "|: ";
  if (*text == '\0') return 0;
  int64_t rc = LV_put_encoded_string(err, text, 0);
  if (rc < 0) return rc;
  rc = lv_stream_flush(err, 0);
  if (rc == LV_STREAM_INTERRUPTED) return LVIO_E_INTERRUPTED;
  return rc < 0 ? rc : 0;
}

// Runs the idle hooks in rounds until a round finds nothing to do (then a
// pause of 0.1 s) or ten rounds have passed.
void run_idle_hooks() {
  for (int64_t round = 0; round < IDLE_ROUNDS; round++) {
    bool busy = false;
  restart:
    uint64_t changes = lv_idle_hooks_changes;
    for (lv_idle_hook* h = lv_idle_hooks; h != nullptr && h->function != nullptr; h++) {
      if (h->function(h->data) != 0) busy = true;
      if (lv_idle_hooks_changes != changes) goto restart;
    }
    if (!busy) {
      lvio_time pause = {0, 100000000};
      int64_t none = 0;
      lv_wait_streams(nullptr, &none, nullptr, &none, nullptr, &none, &pause);
      return;
    }
  }
}

// The read of an interactive stream that would have to wait.
int64_t interactive_read(lv_stream* s) {
  int64_t rc = read_chain(s, true);
  if (rc != LVIO_E_WOULD_BLOCK) return rc;
  if (lv_flush_line_end_outputs(nullptr, 0) < 0) return LVIO_E_INTERRUPTED;
  rc = prompt();
  if (rc < 0) return rc;
  for (;;) {
    if (lv_idle_hooks == nullptr) return read_chain(s, false);
    run_idle_hooks();
    rc = read_chain(s, true);
    if (rc != LVIO_E_WOULD_BLOCK) return rc;
  }
}

int64_t fill(lv_stream* s, uint32_t options, uint32_t kind) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  uint8_t* cursor = lv_read_cursor(s);
  uint8_t* limit = lv_read_limit(s);
  if ((s->flags & (LV_STREAM_BINARY | LV_STREAM_TEXT)) == kind && cursor < limit)
    return take_item(s, cursor, limit, options);
  if ((s->flags & LV_STREAM_INPUT) == 0) return LVIO_E_NOT_READ;
  if ((s->flags & kind) == 0) return LVIO_E_GRANULARITY_ERROR;
  uint64_t size = lv_item_size(s);
  bool peek = (options & LV_GET_PEEK) != 0;
  if (lvio_buffer* b = s->read_buffer; b != nullptr) {
    uint8_t* end = b->data + (b->used - b->used % size);
    if (cursor != nullptr && cursor < end)
      return take_item(s, cursor, (s->flags & LV_STREAM_SINGLE_READ) != 0 ? cursor + size : end, options);
    lv_stream_count_sync(s, 0);
    // Keep the last item read, for a push-back across the refill.
    if (cursor != nullptr && cursor > b->data) {
      std::memmove(b->data, cursor - size, size);
      b->used = size;
      s->counted_mark = 1;
    } else {
      b->used = 0;
      s->counted_mark = 0;
    }
    lv_set_read_cursors(s, b->data + b->used, b->data + b->used);
  }
  if ((s->flags & LV_STREAM_AT_END) != 0) {
    if ((s->flags & LV_STREAM_END_CODE) != 0) {
      if (peek) return LV_STREAM_END;
      s->flags &= ~(LV_STREAM_AT_END | LV_STREAM_PAST_END);
      return mark_end(s);
    }
    if ((s->flags & LV_STREAM_END_RESET) == 0) return peek ? LV_STREAM_END : mark_end(s);
    s->end_position = -1;
    s->flags &= ~(LV_STREAM_AT_END | LV_STREAM_PAST_END);
    lv_stream_update_capabilities(s);
  } else if (s->item_count + 1 == s->end_position && s->item_count == s->pushback_mark) {
    // End of stream was pushed back.
    return peek ? LV_STREAM_END : mark_end(s);
  }
  if (s->chain == nullptr) return peek ? LV_STREAM_END : mark_end(s);
  bool no_wait = (options & LV_GET_NO_WAIT) != 0 || (s->flags & LV_STREAM_INPUT_NONBLOCKING) != 0;
  int64_t rc;
  if (kind == LV_STREAM_TEXT && (s->flags & LV_STREAM_INTERACTIVE) != 0 && !no_wait)
    rc = interactive_read(s);
  else
    rc = read_chain(s, no_wait);
  if (rc == LVIO_E_END_OF_FILE) return peek ? LV_STREAM_END : mark_end(s);
  if (rc < 0) return rc;
  return take_item(s, lv_read_cursor(s), lv_read_limit(s), options);
}

int64_t get_helper(lv_stream* s, uint32_t options, uint32_t kind) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  if ((options & LV_GET_RETURN_ON_INTERRUPT) == 0) {
    int64_t rc = lv_stream_validate(s);
    if (rc < 0) return rc;
  }
  for (;;) {
    int64_t c = fill(s, options & (LV_GET_NO_WAIT | LV_GET_PEEK), kind);
    if (c != LVIO_E_INTERRUPTED) return c;
    if ((options & LV_GET_RETURN_ON_INTERRUPT) != 0) return c;
    int64_t rc = lv_stream_validate(s);
    if (rc < 0) return rc;
  }
}

}  // namespace

int64_t lv_stream_fill_bytes(lv_stream* s, uint32_t options) { return fill(s, options, LV_STREAM_BINARY); }

int64_t lv_stream_fill_codes(lv_stream* s, uint32_t options) { return fill(s, options, LV_STREAM_TEXT); }

int64_t lv_stream_validate(lv_stream* s) {
  int64_t drained = lvio_deferred_close_all(0);
  if (s == nullptr || lv_find_stream_by_id(s, 0) == nullptr) return LVIO_E_INTERNAL_ERROR;
  if (lv_stream_hooks.take_pending_event != nullptr && lv_stream_hooks.take_pending_event() != 0)
    return LVIO_E_INTERRUPTED;
  return drained >= 0 ? 0 : drained;
}

int64_t lv_get_byte_helper(lv_stream* s, uint32_t options) { return get_helper(s, options, LV_STREAM_BINARY); }

int64_t lv_get_code_helper(lv_stream* s, uint32_t options) { return get_helper(s, options, LV_STREAM_TEXT); }
