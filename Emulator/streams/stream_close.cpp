// Closing streams side by side, with the bookkeeping of the standard
// streams, the close-cleanup hook and the close-callback list.
#include "core/atoms.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/event.h"
#include "lvio/event_watch.h"
#include "lvio/simple_device.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_close.h"
#include "streams/stream_internal.h"

namespace {

struct close_callback {
  close_callback* next;
  lv_close_callback_fn function;
  void* data;
};

close_callback* callbacks = nullptr;

constexpr uint32_t CHAIN_CLOSE_FORCE = 0x1;
constexpr uint32_t CHAIN_CLOSE_READ = 0x2;
constexpr uint32_t CHAIN_CLOSE_WRITE = 0x4;
constexpr uint32_t CHAIN_CLOSE_NO_WAIT = 0x8;
constexpr uint32_t CHAIN_CLOSE_FINAL = 0x10;

void forget_everywhere(lv_stream* s) {
  lv_stream_globals& g = lv_streams;
  for (lv_stream*& u : g.user)
    if (u == s) u = nullptr;
  for (lv_stream*& h : g.hook_made)
    if (h == s) h = nullptr;
  if (g.current_input == s) g.current_input = nullptr;
  if (g.current_output == s) g.current_output = nullptr;
  if (g.null_stream == s) g.null_stream = nullptr;
  if (g.last_line_flush == s) g.last_line_flush = nullptr;
}

// The standard-stream bookkeeping of a close: false when the stream must
// stay open.
bool release_globals(lv_stream* s, uint32_t options, bool input_role, bool output_role) {
  lv_stream_globals& g = lv_streams;
  if ((options & LV_CLOSE_FORGET) != 0) {
    forget_everywhere(s);
    return true;
  }
  const bool role[3] = {input_role, output_role, output_role};
  if ((options & LV_CLOSE_REPLACE) != 0) {
    for (int k = 0; k < 3; k++)
      if (g.hook_made[k] == s && role[k]) g.hook_made[k] = lv_null_stream();
  } else if ((s->capabilities & LV_CAP_STANDARD) != 0) {
    return false;
  }
  for (int k = 0; k < 3; k++)
    if (g.user[k] == s && role[k]) g.user[k] = g.hook_made[k];
  for (int k = 0; k < 3; k++)
    if (g.user[k] == s || g.hook_made[k] == s) return false;
  if (s == g.null_stream) return false;
  if (g.current_input == s && input_role) g.current_input = g.user[LV_STD_INPUT];
  if (g.current_output == s && output_role) g.current_output = g.user[LV_STD_OUTPUT];
  if (g.last_line_flush == s && input_role && output_role) g.last_line_flush = nullptr;
  return true;
}

void cancel_watch(lv_stream* s) {
  lvio_event* event = nullptr;
  if (lvio_stream_read_event(&s->chain, &event) >= 0 && event != nullptr)
    (void)lvio_event_watch_cancel(event, nullptr, nullptr, 0);  // no watch left is the aim either way
  s->flags &= ~LV_STREAM_INPUT_WATCHED;
}

// A failed flush after which the output cannot be written whatever the
// caller does: the device is gone (a broken pipe, a reset connection, an
// input-output error), or the flush has written everything but characters
// the encoding has no bytes for, which it has reported.
bool output_settled(int64_t rc) {
  switch (rc) {
    case LVIO_E_END_OF_FILE:
    case LVIO_E_NET_CONNRESET:
    case LVIO_E_NET_ERROR:
    case LVIO_E_NET_TIMEDOUT:
    case LVIO_E_IO_ERROR:
    case LVIO_E_ENCODING_UNMAPPABLE:
      return true;
    default:
      return false;
  }
}

}  // namespace

int64_t lv_stream_close(lv_stream* s, uint32_t options) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  uint32_t asked = options & (LV_CLOSE_INPUT | LV_CLOSE_OUTPUT);
  if (asked == 0) asked = LV_CLOSE_INPUT | LV_CLOSE_OUTPUT;
  bool close_in = (asked & LV_CLOSE_INPUT) != 0 && (s->flags & LV_STREAM_INPUT) != 0;
  bool close_out = (asked & LV_CLOSE_OUTPUT) != 0 && (s->flags & LV_STREAM_OUTPUT) != 0;
  if (!close_in && !close_out) return 0;
  bool force = (options & LV_CLOSE_FORCE) != 0;
  bool no_wait = (close_in && (s->flags & LV_STREAM_INPUT_NONBLOCKING) != 0) ||
                 (close_out && (s->flags & LV_STREAM_OUTPUT_NONBLOCKING) != 0);
  bool final_sync = (s->flags & LV_STREAM_OUT_AUTO) != 0;
  int64_t failure = 0;
  if (close_out && !force) {
    int64_t rc = lv_stream_flush(s, (no_wait ? LV_FLUSH_NO_WAIT : 0) | (final_sync ? LV_FLUSH_CLOSING : 0));
    if (rc == LV_STREAM_INTERRUPTED) return LVIO_E_INTERRUPTED;
    if (rc < 0 && !output_settled(rc)) return rc;
    if (rc < 0) {
      // Nothing more can be written: the stream is let go, and the error
      // reported.
      failure = rc;
      force = true;
    }
  }
  bool input_role = close_in || (s->flags & LV_STREAM_INPUT) == 0;
  bool output_role = close_out || (s->flags & LV_STREAM_OUTPUT) == 0;
  if (!release_globals(s, options, input_role, output_role)) return 0;
  if (s->chain != nullptr) {
    if ((s->flags & LV_STREAM_INPUT_WATCHED) != 0 && (close_in || (s->flags & LV_STREAM_INPUT) == 0)) cancel_watch(s);
    uint32_t word = (close_in ? CHAIN_CLOSE_READ : 0) | (close_out ? CHAIN_CLOSE_WRITE : 0) |
                    (force ? CHAIN_CLOSE_FORCE : 0) | (no_wait ? CHAIN_CLOSE_NO_WAIT : 0) |
                    (final_sync ? CHAIN_CLOSE_FINAL : 0);
    int64_t rc = lvio_stream_close(&s->chain, word);
    if (rc < 0) {
      if (!force) return rc;
      s->chain = nullptr;
    }
  }
  if (close_in) s->flags &= ~LV_STREAM_INPUT;
  if (close_out) s->flags &= ~(LV_STREAM_OUTPUT | LV_STREAM_APPEND);
  lv_stream_update_capabilities(s);
  bool input_open = (s->flags & LV_STREAM_INPUT) != 0;
  bool output_open = (s->flags & LV_STREAM_OUTPUT) != 0;
  if ((s->flags & LV_STREAM_CLOSE_CLEANUP) != 0 && lv_stream_hooks.close_cleanup != nullptr) {
    lv_term which = 0;
    if (input_open && close_out)
      which = LV_ATOM_WRITE_;
    else if (!input_open && !output_open)
      which = LV_ATOM_ALL_;
    else if (close_in && output_open)
      which = LV_ATOM_READ_;
    if (which != 0) lv_stream_hooks.close_cleanup(s, which);
  }
  if (input_open || output_open) {
    if (!input_open) s->counted_mark = 0;
    return failure;
  }
  // A chain with a side still open after a forced close is let go.
  if (s->chain != nullptr) (void)lvio_stream_close(&s->chain, CHAIN_CLOSE_FORCE);
  s->chain = nullptr;
  lv_stream_unlink(s);
  if (s->file_name != 0) LV_unregister_atom(s->file_name);
  forget_everywhere(s);
  lv_stream_free(s);
  lv_run_close_callbacks(s, LV_CLOSE_REASON_CLOSED);
  return failure < 0 ? failure : 2;
}

int64_t LV_fclose(void* stream, uint32_t options) {
  if ((options & LV_CLOSE_USER_CLASS) == 0) {
    lv_stream* s = lv_stream_known(stream);
    if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
    return lv_stream_close(s, options);
  }
  options &= ~LV_CLOSE_USER_CLASS;
  lv_stream* head = lv_stream_ring_head();
  if (head == nullptr) return 0;
  for (lv_stream* t = head->prev; t != head;) {
    lv_stream* newer = t->prev;
    void* user_data = nullptr;
    if ((t->flags & LV_STREAM_HIDDEN) == 0 && t->chain != nullptr &&
        lvio_simple_device_user_data(&t->chain, stream, &user_data) >= 0) {
      int64_t rc = lv_stream_close(t, options);
      if (rc < 0 && (options & LV_CLOSE_FORCE) == 0) return rc;
    }
    t = newer;
  }
  return 0;
}

int64_t lv_add_close_callback(lv_close_callback_fn function, void* data) {
  if (function == nullptr || data == nullptr) return LVIO_E_PARAMETER_ERROR;
  auto* e = static_cast<close_callback*>(lv_mem_alloc(sizeof(close_callback), LV_STREAM_MEM));
  if (e == nullptr) return LVIO_E_OUT_OF_MEMORY;
  *e = {callbacks, function, data};
  callbacks = e;
  return 0;
}

void lv_run_close_callbacks(lv_stream* stream, int reason) {
  for (close_callback** p = &callbacks; *p != nullptr;) {
    close_callback* e = *p;
    if (e->data != nullptr) e->function(stream, &e->data, reason);
    if (e->data == nullptr) {
      *p = e->next;
      lv_mem_free(e, sizeof *e, LV_STREAM_MEM);
    } else {
      p = &e->next;
    }
  }
}

void lv_disable_close_callbacks(const void* data) {
  // Entries are only marked here: a run of the list may be under way.
  for (close_callback* e = callbacks; e != nullptr; e = e->next)
    if (e->data == data) e->data = nullptr;
}

void lv_free_output_callbacks() {
  while (callbacks != nullptr) {
    close_callback* e = callbacks;
    callbacks = e->next;
    if (e->data != nullptr) e->function(nullptr, &e->data, LV_CLOSE_REASON_SHUTDOWN);
    lv_mem_free(e, sizeof *e, LV_STREAM_MEM);
  }
}
