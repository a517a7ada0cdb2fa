// Stream listeners. Only the watch callback runs off the engine's thread
// (on the event watcher's); it touches the watch count and the event node
// (both atomic) and the I/O layer's locked deferred list. Everything else
// runs on the engine's thread. The reference count keeps a listener alive
// while a watch is armed or its node is queued; the last reference moves it
// to the reap list, which is emptied when a stream is next closed.
#include "streams/stream_listener.h"

#include <atomic>
#include <cstring>

#include "core/memory.h"
#include "lvio/buffer.h"
#include "lvio/deferred_close.h"
#include "lvio/interrupt.h"
#include "streams/pipe_stream.h"
#include "streams/stream_api.h"
#include "streams/stream_close.h"
#include "streams/stream_internal.h"
#include "streams/stream_layers.h"
#include "streams/tunnel_stream.h"

lv_listener_services lv_listener_hooks = {};

namespace {

constexpr uint32_t LISTENER_FAILED = 0x1;
constexpr uint32_t CHANNEL_CLOSED_BY_PEER = 0x1;

struct lv_tunnel_channel {
  char* name;
  uint64_t name_length;
  uint32_t flags;
  lv_stream* writer;  // the writing end of the channel's pipe, or null
  int64_t writer_id;
  lvio_buffer pending;  // decoded bytes not yet written
  lv_tunnel_channel* next;
};

struct lv_listener {
  lv_stream* listened;
  lv_stream* writer;
  int64_t listened_id;
  int64_t writer_id;
  lvio_buffer pending;  // complete lines not yet written into the pipe
  uint32_t references;
  std::atomic<uint32_t> watches;
  uint32_t flags;
  lvio_buffer line;
  lv_tunnel_channel* channels;
  std::atomic<lvio_closeable*> node;  // held while idle
  lv_listener* next;
};

lv_listener* active = nullptr;
lv_listener* reap_list = nullptr;
bool reap_registered = false;
char reap_token = 0;  // the close-callback entry's data

// ---- channels ----

void free_channel(lv_tunnel_channel* c) {
  lvio_buffer_free(&c->pending);
  lv_mem_free(c->name, c->name_length + 1, LV_STREAM_MEM);
  lv_mem_free(c, sizeof *c, LV_STREAM_MEM);
}

lv_tunnel_channel* find_channel(lv_listener* l, const char* name, uint64_t length) {
  for (lv_tunnel_channel* c = l->channels; c != nullptr; c = c->next)
    if (c->name_length == length && std::memcmp(c->name, name, length) == 0) return c;
  return nullptr;
}

lv_tunnel_channel* find_or_make_channel(lv_listener* l, const char* name, uint64_t length) {
  lv_tunnel_channel* c = find_channel(l, name, length);
  if (c != nullptr) return c;
  c = static_cast<lv_tunnel_channel*>(lv_mem_alloc(sizeof(lv_tunnel_channel), LV_STREAM_MEM));
  if (c == nullptr) return nullptr;
  c->name = static_cast<char*>(lv_mem_alloc(length + 1, LV_STREAM_MEM));
  if (c->name == nullptr) {
    lv_mem_free(c, sizeof *c, LV_STREAM_MEM);
    return nullptr;
  }
  std::memcpy(c->name, name, length);
  c->name[length] = 0;
  c->name_length = length;
  c->flags = 0;
  c->writer = nullptr;
  c->writer_id = 0;
  lvio_buffer_init(&c->pending);
  c->next = l->channels;
  l->channels = c;
  return c;
}

lv_stream* live(lv_stream* s, int64_t id) { return s == nullptr ? nullptr : lv_find_stream_by_id(s, id); }

int64_t channel_flush(lv_tunnel_channel* c) {
  lv_stream* w = live(c->writer, c->writer_id);
  if (w == nullptr || c->pending.used == 0) return 0;
  int64_t rc = LV_put_bytes(w, c->pending.data, static_cast<int64_t>(c->pending.used), 0);
  if (rc >= 0) c->pending.used = 0;
  int64_t flushed = LV_flush_output(w, 0);
  return rc < 0 ? rc : flushed;
}

int64_t channel_close(lv_tunnel_channel* c, bool forced) {
  int64_t rc = 0;
  lv_stream* w = live(c->writer, c->writer_id);
  if (w != nullptr) {
    if (forced) {
      (void)LV_fclose(w, LV_CLOSE_FORCE);
    } else {
      rc = channel_flush(c);
      int64_t closed = LV_fclose(w, 0);
      if (rc >= 0 && closed < 0) rc = closed;
    }
  }
  c->writer = nullptr;
  return rc;
}

int64_t tunnel_append(lv_listener* l, const char* name, uint64_t length, uint8_t* data, int64_t size) {
  lv_tunnel_channel* c = find_or_make_channel(l, name, length);
  if (c == nullptr) return LVIO_E_OUT_OF_MEMORY;
  (void)channel_flush(c);
  int64_t n = lv_tunnel_decode(data, size);
  if (n < 0) return n;
  if (c->pending.used == 0) {
    lv_stream* w = live(c->writer, c->writer_id);
    if (w != nullptr) {
      int64_t rc = LV_put_bytes(w, data, n, 0);
      if (rc >= 0) {
        n = 0;
        rc = LV_flush_output(w, 0);
      }
      if (rc == LVIO_E_END_OF_FILE) {  // the reading end is gone
        (void)channel_close(c, true);
        n = 0;
      }
    }
  }
  if (n > 0 && lvio_buffer_append(&c->pending, data, static_cast<uint64_t>(n)) < 0) return LVIO_E_OUT_OF_MEMORY;
  return 0;
}

// ---- lines ----

bool word_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.'; }
bool word_char(char c) { return word_start(c) || (c >= '0' && c <= '9'); }
bool blank(char c) { return c == ' ' || c == '\t'; }

// Skips one or more blanks: false when there is none.
bool blanks(const char*& p) {
  if (!blank(*p)) return false;
  while (blank(*p)) p++;
  return true;
}

// A word of letters, digits, '_' and '.', not starting with a digit.
bool word(const char*& p, const char** start, uint64_t* length) {
  if (!word_start(*p)) return false;
  *start = p;
  while (word_char(*p)) p++;
  *length = static_cast<uint64_t>(p - *start);
  return true;
}

void request_line(const char* p) {
  if (!blanks(p) || !(*p >= '0' && *p <= '9')) return;
  while (*p >= '0' && *p <= '9') p++;
  if (!blanks(p)) return;
  if (std::strcmp(p, "suspend") == 0) {
    if (lv_listener_hooks.ctrlc_action != nullptr) lv_listener_hooks.ctrlc_action();
    (void)lvio_interrupt(2);
  } else if (std::strcmp(p, "backtrace") == 0) {
    if (lv_listener_hooks.backtrace != nullptr) lv_listener_hooks.backtrace();
  }
}

// line is zero-terminated in place of its newline; length excludes it.
int64_t tunnel_line(lv_listener* l, char* line, uint64_t length) {
  const char* p = line;
  const char *command, *channel;
  uint64_t command_length, channel_length;
  if (!blanks(p) || !word(p, &command, &command_length) || !blanks(p) || !word(p, &channel, &channel_length))
    return 0;
  if (command_length == 6 && std::memcmp(command, "APPEND", 6) == 0) {
    if (*p != ' ') return LVIO_E_SYNTAX_ERROR;
    p++;
    auto* data = reinterpret_cast<uint8_t*>(line) + (p - line);
    return tunnel_append(l, channel, channel_length, data, static_cast<int64_t>(length - (p - line)));
  }
  if (command_length == 5 && std::memcmp(command, "CLOSE", 5) == 0) {
    if (*p != 0) return LVIO_E_SYNTAX_ERROR;
    lv_tunnel_channel* c = find_or_make_channel(l, channel, channel_length);
    if (c == nullptr) return LVIO_E_OUT_OF_MEMORY;
    c->flags |= CHANNEL_CLOSED_BY_PEER;
    return channel_close(c, false);
  }
  return 0;
}

int64_t interpret_line(lv_listener* l) {
  // The line is in l->line with its newline; replace that by a terminator.
  char* text = reinterpret_cast<char*>(l->line.data);
  uint64_t length = l->line.used - 1;
  text[length] = 0;
  if (std::strncmp(text, "REQUEST", 7) == 0) {
    request_line(text + 7);
    return 0;
  }
  if (std::strncmp(text, "TUNNEL", 6) == 0) return tunnel_line(l, text + 6, length - 6);
  return 0;
}

// Writes the pending lines into the pipe and flushes it.
int64_t forward_pending(lv_listener* l) {
  lv_stream* w = live(l->writer, l->writer_id);
  if (w == nullptr) return LVIO_E_END_OF_FILE;
  int64_t rc = 0;
  if (l->pending.used != 0) rc = LV_put_bytes(w, l->pending.data, static_cast<int64_t>(l->pending.used), 0);
  l->pending.used = 0;
  if (rc >= 0) rc = LV_flush_output(w, 0);
  return rc;
}

// Ends the pipe: the pending lines go in, then its writing end is closed
// (forcibly when that fails), so that the reading side sees the end right
// after the last line. 0 or the first failure.
int64_t end_pipe(lv_listener* l) {
  lv_stream* w = live(l->writer, l->writer_id);
  if (w == nullptr) return 0;
  int64_t rc = forward_pending(l);
  if (rc >= 0) rc = LV_fclose(w, 0);
  if (rc < 0) (void)LV_fclose(w, LV_CLOSE_FORCE);
  return rc < 0 ? rc : 0;
}

// Ends the pipes of the input channels too: nothing can reach them any
// more. An orderly close writes their pending bytes first.
void end_channels(lv_listener* l, bool forced) {
  for (lv_tunnel_channel* c = l->channels; c != nullptr; c = c->next)
    if (forced || channel_close(c, false) < 0) (void)channel_close(c, true);
}

// ---- references ----

void release(lv_listener* l, bool failed);
lvio_code watch_callback(void* user, uint32_t reason);

void unlink_active(lv_listener* l) {
  for (lv_listener** p = &active; *p != nullptr; p = &(*p)->next) {
    if (*p == l) {
      *p = l->next;
      break;
    }
  }
  l->next = nullptr;
}

void release(lv_listener* l, bool failed) {
  if (failed) l->flags |= LISTENER_FAILED;
  if (l->references >= 2) {
    l->references--;
    return;
  }
  unlink_active(l);
  lvio_buffer_free(&l->pending);
  lvio_buffer_free(&l->line);
  lvio_closeable_close(l->node.exchange(nullptr));
  l->references = 0;
  l->next = reap_list;
  reap_list = l;
}

// Arms the input watch, holding two references for it.
int64_t arm(lv_listener* l) {
  l->references += 2;
  l->watches.store(2);
  lv_stream* s = live(l->listened, l->listened_id);
  int64_t rc = s == nullptr ? LVIO_E_END_OF_FILE : lv_stream_watch_input(s, watch_callback, l, LV_WATCH_INPUT);
  if (rc < 0) {
    l->watches.store(0);
    release(l, true);
    release(l, true);
  }
  return rc;
}

void unwatch(lv_listener* l) {
  lv_stream* s = live(l->listened, l->listened_id);
  if (s != nullptr) (void)lv_stream_unwatch_input(s, watch_callback, l, LV_WATCH_INPUT);
}

// The line reader: takes what the listened stream has without waiting.
void read_lines(lv_listener* l) {
  int64_t failure = 0;
  bool finished = false;  // end of input: the watch is not armed again
  for (;;) {
    lv_stream* s = live(l->listened, l->listened_id);
    int64_t c = s == nullptr ? LVIO_E_END_OF_FILE : lv_get_byte_helper(s, LV_GET_NO_WAIT | LV_GET_RETURN_ON_INTERRUPT);
    if (c == LVIO_E_INTERRUPTED) continue;
    if (c == LVIO_E_END_OF_FILE || c == LVIO_E_NET_CONNRESET) {
      // Every complete line that arrived before the end still reaches the
      // pipe (a partial last line is dropped); then the pipe ends too.
      end_channels(l, false);
      failure = end_pipe(l);
      finished = true;
      break;
    }
    if (c == LVIO_E_WOULD_BLOCK) {
      failure = forward_pending(l);
      if (failure >= 0) {
        unwatch(l);
        failure = arm(l);
      }
      break;
    }
    if (c < 0) {
      failure = c;
      break;
    }
    if (lvio_buffer_append_byte(&l->line, static_cast<uint8_t>(c)) < 0) {
      failure = LVIO_E_OUT_OF_MEMORY;
      break;
    }
    if (c != '\n') continue;
    if (lvio_buffer_append(&l->pending, l->line.data, l->line.used) < 0) {
      failure = LVIO_E_OUT_OF_MEMORY;
      break;
    }
    failure = interpret_line(l);
    l->line.used = 0;
    if (failure < 0) break;
  }
  if (failure < 0) {
    // A listener that stops on a failure ends its pipe as well: its reader
    // would otherwise wait for lines that never come.
    l->flags |= LISTENER_FAILED;
    finished = true;
    end_channels(l, true);
    (void)end_pipe(l);  // the failure that stopped the listener is the one it keeps
  }
  release(l, failure < 0);
  // A finished listener gives up its watch, whose references end with it.
  if (finished) unwatch(l);
}

lvio_code node_run(lvio_closeable* node, uint32_t) {
  auto* l = static_cast<lv_listener*>(node->data);
  lvio_closeable_init(node, node->ops, l);
  l->node.store(node);
  read_lines(l);
  return LVIO_S_DEALLOCATED;  // the listener keeps the node
}

void node_release(lvio_closeable* node) { lv_mem_free(node, sizeof *node, LV_STREAM_MEM); }

const lvio_closeable_ops node_ops = {node_run, node_release};

lvio_code watch_callback(void* user, uint32_t reason) {
  auto* l = static_cast<lv_listener*>(user);
  if ((reason & 2) != 0) {
    // The watch is over: its outstanding references go (engine thread).
    for (uint32_t n = l->watches.exchange(0); n != 0; n--) release(l, false);
    return LVIO_S_DONE;
  }
  lvio_closeable* node = l->node.exchange(nullptr);
  if (node == nullptr) return LVIO_S_DONE;
  l->watches.fetch_sub(1);  // this reference goes with the node
  if (lvio_closeable_register(node, 0) < 0) {
    l->watches.fetch_add(1);
    l->node.store(node);
  } else if (lv_listener_hooks.schedule_event != nullptr) {
    lv_listener_hooks.schedule_event();
  }
  return LVIO_S_DONE;
}

void free_listener(lv_listener* l) {
  lvio_buffer_free(&l->pending);
  lvio_buffer_free(&l->line);
  lvio_closeable_close(l->node.exchange(nullptr));
  l->~lv_listener();
  lv_mem_free(l, sizeof *l, LV_STREAM_MEM);
}

void reap_one(lv_listener* l) {
  bool failed = (l->flags & LISTENER_FAILED) != 0;
  while (l->channels != nullptr) {
    lv_tunnel_channel* c = l->channels;
    l->channels = c->next;
    if (failed || channel_close(c, false) < 0) (void)channel_close(c, true);
    free_channel(c);
  }
  if (lv_stream* w = live(l->writer, l->writer_id); w != nullptr) {
    if (LV_fclose(w, failed ? LV_CLOSE_FORCE : 0) < 0) (void)LV_fclose(w, LV_CLOSE_FORCE);
  }
  if (lv_stream* s = live(l->listened, l->listened_id); s != nullptr && (s->flags & LV_STREAM_INPUT) != 0) {
    if (LV_fclose(s, LV_CLOSE_INPUT) < 0) (void)LV_fclose(s, LV_CLOSE_INPUT | LV_CLOSE_FORCE);
  }
  free_listener(l);
}

void reap(lv_stream*, void** data, int reason) {
  if (reason == LV_CLOSE_REASON_SHUTDOWN) {
    *data = nullptr;
    reap_registered = false;
  } else if (reason != LV_CLOSE_REASON_CLOSED) {
    return;
  }
  while (reap_list != nullptr) {
    lv_listener* list = reap_list;
    reap_list = nullptr;
    while (list != nullptr) {
      lv_listener* l = list;
      list = l->next;
      if (l->references >= 2) {
        l->references--;
        continue;
      }
      reap_one(l);
    }
  }
}

lv_listener* listener_of(lv_stream* carrier) {
  for (lv_listener* l = active; l != nullptr; l = l->next)
    if (l->listened == carrier && live(l->listened, l->listened_id) != nullptr) return l;
  return nullptr;
}

}  // namespace

int64_t lv_add_stream_listener(lv_stream* listened, lv_stream** reading_end) {
  if (listened == nullptr || reading_end == nullptr || lv_stream_known(listened) == nullptr ||
      (listened->flags & LV_STREAM_INPUT) == 0)
    return LVIO_E_PARAMETER_ERROR;
  if (!reap_registered) {
    int64_t rc = lv_add_close_callback(reap, &reap_token);
    if (rc < 0) return rc;
    reap_registered = true;
  }
  void* memory = lv_mem_alloc(sizeof(lv_listener), LV_STREAM_MEM);
  auto* node = static_cast<lvio_closeable*>(lv_mem_alloc(sizeof(lvio_closeable), LV_STREAM_MEM));
  if (memory == nullptr || node == nullptr) {
    if (memory != nullptr) lv_mem_free(memory, sizeof(lv_listener), LV_STREAM_MEM);
    if (node != nullptr) lv_mem_free(node, sizeof *node, LV_STREAM_MEM);
    return LVIO_E_OUT_OF_MEMORY;
  }
  auto* l = new (memory) lv_listener();
  l->listened = listened;
  l->listened_id = listened->id;
  l->references = 1;
  lvio_buffer_init(&l->pending);
  lvio_buffer_init(&l->line);
  lvio_closeable_init(node, &node_ops, l);
  l->node.store(node);
  lv_stream* in = nullptr;
  int64_t rc = lv_open_pipe_streams("UTF-8", &in, nullptr, &l->writer, 0);
  if (rc < 0) {
    free_listener(l);
    return rc;
  }
  l->writer_id = l->writer->id;
  l->next = active;
  active = l;
  rc = arm(l);
  if (rc < 0) {
    (void)LV_fclose(in, LV_CLOSE_FORCE);
  } else {
    *reading_end = in;
  }
  release(l, false);  // the creation's reference
  return rc < 0 ? rc : 0;
}

int64_t lv_open_tunnel_input(lv_stream* carrier, const char* channel, uint32_t options, lv_stream** out) {
  if (carrier == nullptr || channel == nullptr || out == nullptr) return LVIO_E_PARAMETER_ERROR;
  lv_listener* l = listener_of(carrier);
  if (l == nullptr) return LVIO_E_NOT_FOUND;
  lv_tunnel_channel* c = find_or_make_channel(l, channel, std::strlen(channel));
  if (c == nullptr) return LVIO_E_OUT_OF_MEMORY;
  if (live(c->writer, c->writer_id) != nullptr) return LVIO_E_INVALID_STATE;
  uint32_t pair = ((options & LV_TUNNEL_IN_FLAG_1) != 0 ? LV_PIPE_INTERACTIVE : 0) |
                  ((options & LV_TUNNEL_IN_FLAG_2) != 0 ? LV_PIPE_STANDARD : 0);
  lv_stream* in = nullptr;
  lv_stream* w = nullptr;
  int64_t rc = lv_open_pipe_streams((options & LV_TUNNEL_IN_BINARY) != 0 ? nullptr : "UTF-8", &in, nullptr, &w, pair);
  if (rc < 0) return rc;
  if ((options & LV_TUNNEL_IN_FLAG_1) != 0 && (options & LV_TUNNEL_IN_BINARY) == 0)
    (void)lv_stream_device_options(in, 5);
  c->writer = w;
  c->writer_id = w->id;
  rc = channel_flush(c);
  if (rc < 0) {
    (void)channel_close(c, true);
    (void)LV_fclose(in, LV_CLOSE_FORCE | LV_CLOSE_REPLACE);
    return rc;
  }
  *out = in;
  return 0;
}
