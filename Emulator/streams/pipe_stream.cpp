// In-process pipes. The shared record is guarded by a lock, and its read
// event is signalled exactly while there is something to read or the
// writing end is closed, so a blocked reader on one thread is woken by a
// writer on another, and watches and selects see the pipe's readiness.
#include "streams/pipe_stream.h"

#include <cstring>

#include "core/memory.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "lvio/event.h"
#include "lvio/event_wait.h"
#include "lvio/simple_device.h"
#include "lvio/sync.h"
#include "streams/stream_api.h"
#include "streams/stream_internal.h"
#include "streams/stream_open.h"

namespace {

constexpr uint32_t READER_OPEN = 0x1;
constexpr uint32_t WRITER_OPEN = 0x2;

struct lv_pipe {
  uint32_t ends;  // READER_OPEN, WRITER_OPEN
  lvio_buffer buffer;
  uint64_t read_offset;
  lvio_event* read_event;  // made on first need
  lvio_mutex* lock;
};

const char pipe_reader_tag = 0;
const char pipe_writer_tag = 0;

uint64_t unread(const lv_pipe* p) { return p->buffer.used - p->read_offset; }

// Keeps the read event in step with the pipe (the lock is held).
void update_event(lv_pipe* p) {
  if (p->read_event == nullptr) return;
  if (unread(p) != 0 || (p->ends & WRITER_OPEN) == 0)
    (void)lvio_event_set(p->read_event);
  else
    (void)lvio_event_reset(p->read_event);
}

// The read event, made on first need (the lock is held).
int64_t ensure_event(lv_pipe* p) {
  if (p->read_event != nullptr) return 0;
  int64_t rc = lvio_event_create(0, &p->read_event);
  if (rc < 0) {
    p->read_event = nullptr;
    return rc;
  }
  update_event(p);
  return 0;
}

void free_pipe(lv_pipe* p) {
  lvio_buffer_free(&p->buffer);
  lvio_event_release(p->read_event);
  lvio_mutex_destroy(p->lock);
  lv_mem_free(p, sizeof *p, LV_STREAM_MEM);
}

int64_t pipe_read(void* user, void* destination, uint64_t* size, uint32_t options) {
  auto* p = static_cast<lv_pipe*>(user);
  uint64_t room = *size;
  *size = 0;
  for (;;) {
    lvio_mutex_lock(p->lock);
    if ((p->ends & READER_OPEN) == 0) {
      lvio_mutex_unlock(p->lock);
      return LVIO_E_NOT_OPEN_READ;
    }
    uint64_t n = unread(p);
    if (n != 0) {
      if (n > room) n = room;
      std::memcpy(destination, p->buffer.data + p->read_offset, n);
      p->read_offset += n;
      if (unread(p) == 0) {
        p->buffer.used = 0;
        p->read_offset = 0;
      }
      update_event(p);
      lvio_mutex_unlock(p->lock);
      *size = n;
      return 0;
    }
    int64_t rc = 0;
    if ((p->ends & WRITER_OPEN) == 0)
      rc = LVIO_E_END_OF_FILE;
    else if ((options & LVIO_DEVICE_NO_WAIT) != 0)
      rc = LVIO_E_WOULD_BLOCK;
    else
      rc = ensure_event(p);
    lvio_event* event = p->read_event;
    lvio_mutex_unlock(p->lock);
    if (rc < 0) return rc;
    // The event stays alive while the reading end is open; a write or the
    // writer's close sets it, an interrupt ends the wait on the main thread.
    rc = lvio_event_wait(&event, 1, nullptr);
    if (rc < 0) return rc;
  }
}

int64_t pipe_write(void* user, const void* source, uint64_t* size, uint32_t) {
  auto* p = static_cast<lv_pipe*>(user);
  uint64_t n = *size;
  *size = 0;
  lvio_mutex_lock(p->lock);
  int64_t rc = 0;
  if ((p->ends & WRITER_OPEN) == 0) {
    rc = LVIO_E_NOT_OPEN_WRITE;
  } else if ((p->ends & READER_OPEN) == 0) {
    rc = LVIO_E_END_OF_FILE;
  } else if (n != 0) {
    if (p->buffer.capacity - p->buffer.used < n && p->read_offset != 0) {
      std::memmove(p->buffer.data, p->buffer.data + p->read_offset, unread(p));
      p->buffer.used -= p->read_offset;
      p->read_offset = 0;
    }
    rc = lvio_buffer_append(&p->buffer, source, n);
    if (rc >= 0) {
      *size = n;
      update_event(p);
      rc = 0;
    }
  }
  lvio_mutex_unlock(p->lock);
  return rc;
}

// Closes one end; the last end to close frees the pipe.
int64_t close_end(void** user, uint32_t end) {
  auto* p = static_cast<lv_pipe*>(*user);
  if (p == nullptr) return 0;
  *user = nullptr;
  lvio_mutex_lock(p->lock);
  p->ends &= ~end;
  bool last = p->ends == 0;
  if (!last) update_event(p);
  lvio_mutex_unlock(p->lock);
  if (!last) return 0;
  free_pipe(p);
  return LVIO_S_DEALLOCATED;
}

int64_t pipe_close_reader(void** user, uint32_t sides, int) {
  return (sides & LVIO_DEVICE_CLOSE_READ) != 0 ? close_end(user, READER_OPEN) : 0;
}

int64_t pipe_close_writer(void** user, uint32_t sides, int) {
  return (sides & LVIO_DEVICE_CLOSE_WRITE) != 0 ? close_end(user, WRITER_OPEN) : 0;
}

int64_t pipe_control(void* user, uint32_t request, void* argument, uint32_t) {
  auto* p = static_cast<lv_pipe*>(user);
  int64_t rc = LVIO_E_NOT_SUPPORTED;
  lvio_mutex_lock(p->lock);
  if (request == LVIO_REQUEST_READ_EVENT) {
    rc = ensure_event(p);
    if (rc >= 0) *static_cast<lvio_event**>(argument) = p->read_event;
  } else if (request == LVIO_REQUEST_SIZE) {
    *static_cast<int64_t*>(argument) = static_cast<int64_t>(unread(p));
    rc = 0;
  }
  lvio_mutex_unlock(p->lock);
  return rc;
}

// Wraps one end's chain into a stream, over a coder of the named encoding
// when one is given; the chain is closed on failure.
int64_t wrap_end(lvio_layer* chain, const char* encoding, bool input, uint32_t options, lv_stream** out) {
  int64_t rc = 0;
  if (encoding != nullptr) {
    lvio_coder_class* cls = nullptr;
    rc = lvio_coder_class_open(&cls, encoding, nullptr, 0);
    if (rc >= 0) {
      rc = input ? lv_make_coded_stream(&chain, cls, nullptr, LV_CODER_INPUT | LV_CODER_IN_LF)
                 : lv_make_coded_stream(&chain, nullptr, cls, LV_CODER_OUTPUT | LV_CODER_OUT_LF);
      lvio_coder_class_unref(cls);
    }
  }
  if (rc >= 0) {
    uint32_t make = (input ? LV_MAKE_INPUT : LV_MAKE_OUTPUT) | (encoding != nullptr ? LV_MAKE_TEXT : LV_MAKE_BINARY) |
                    ((options & LV_PIPE_STANDARD) != 0 ? LV_MAKE_STANDARD : 0) |
                    ((options & LV_PIPE_INTERACTIVE) != 0 ? LV_MAKE_INTERACTIVE : 0);
    rc = lv_make_stream_from_layers(chain, out, make);
  }
  if (rc < 0) (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);
  return rc;
}

}  // namespace

int64_t lv_pipe_create(lvio_layer** reading, lvio_layer** writing) {
  if (reading == nullptr || writing == nullptr) return LVIO_E_PARAMETER_ERROR;
  auto* p = static_cast<lv_pipe*>(lv_mem_alloc(sizeof(lv_pipe), LV_STREAM_MEM));
  if (p == nullptr) return LVIO_E_OUT_OF_MEMORY;
  p->ends = READER_OPEN | WRITER_OPEN;
  lvio_buffer_init(&p->buffer);
  p->read_offset = 0;
  p->read_event = nullptr;
  p->lock = nullptr;
  int64_t rc = lvio_mutex_create(&p->lock, 1);
  if (rc < 0) {
    lv_mem_free(p, sizeof *p, LV_STREAM_MEM);
    return rc;
  }
  rc = lvio_make_simple_device(reading, p, &pipe_reader_tag, pipe_read, nullptr, nullptr, nullptr, pipe_close_reader,
                               nullptr, pipe_control, LVIO_DEVICE_BYTES);
  if (rc < 0) {
    free_pipe(p);
    return rc;
  }
  rc = lvio_make_simple_device(writing, p, &pipe_writer_tag, nullptr, pipe_write, nullptr, nullptr, pipe_close_writer,
                               nullptr, nullptr, LVIO_DEVICE_BYTES);
  if (rc < 0) {
    p->ends = READER_OPEN;  // the reading end's close frees the pipe
    (void)lvio_stream_close(reading, LVIO_OP_ABORTIVE);
    return rc;
  }
  return 0;
}

int64_t lv_open_pipe_streams(const char* input_encoding, lv_stream** input, const char* output_encoding,
                             lv_stream** output, uint32_t options) {
  if (input == nullptr || output == nullptr) return LVIO_E_PARAMETER_ERROR;
  lvio_layer* reading = nullptr;
  lvio_layer* writing = nullptr;
  int64_t rc = lv_pipe_create(&reading, &writing);
  if (rc < 0) return rc;
  lv_stream* in = nullptr;
  rc = wrap_end(reading, input_encoding, true, options, &in);
  if (rc < 0) {
    (void)lvio_stream_close(&writing, LVIO_OP_ABORTIVE);
    return rc;
  }
  lv_stream* out = nullptr;
  rc = wrap_end(writing, output_encoding, false, options, &out);
  if (rc < 0) {
    (void)LV_fclose(in, LV_CLOSE_FORCE | LV_CLOSE_REPLACE);
    return rc;
  }
  *input = in;
  *output = out;
  return 0;
}
