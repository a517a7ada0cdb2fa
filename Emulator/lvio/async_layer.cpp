// The "async" layer over operating-system handles.
#include "lvio/async_layer.h"

#include <unistd.h>

#include "lvio/allocator.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/file_open.h"
#include "lvio/handles.h"
#include "lvio/layer_sides.h"
#include "lvio/operation_flags.h"
#include "lvio/options.h"
#include "lvio/socket.h"

namespace {

constexpr lvio_time NO_TIMEOUT = {-1, -1};

lvio_async_layer* self(lvio_layer** chain) { return reinterpret_cast<lvio_async_layer*>(*chain); }

bool has(const lvio_async_layer* l, uint32_t flag) { return (l->header.flags & flag) != 0; }

const lvio_time* read_timeout(const lvio_async_layer* l) {
  return has(l, LVIO_ASYNC_LAYER_READ_TIMEOUT) ? &l->read_timeout : nullptr;
}

const lvio_time* write_timeout(const lvio_async_layer* l) {
  return has(l, LVIO_ASYNC_LAYER_WRITE_TIMEOUT) ? &l->write_timeout : nullptr;
}

// Cancels an operation and drops it (a running one finishes on its own).
void drop(lvio_handle_op** slot) {
  if (*slot == nullptr) return;
  // Dropped: how it ended no longer matters.
  (void)lvio_handle_op_cancel(*slot);
  (void)lvio_handle_op_take(slot, nullptr, nullptr);
}

// Waits for a live operation to end; its failure stays with it.
lvio_code wait_for(lvio_handle_op* op, const lvio_time* timeout, uint32_t flags) {
  lvio_code code;
  if (lvio_handle_op_status(op, &code) != LVIO_E_AIO_INPROGRESS) return 0;
  if ((flags & LVIO_ASYNC_NO_WAIT) != 0) return LVIO_E_WOULD_BLOCK;
  return lvio_handle_op_wait(op, timeout, 0);
}

// Reading.

lvio_code start_read(lvio_async_layer* l) {
  l->header.flags &= ~LVIO_ASYNC_LAYER_STALE;
  return lvio_handle_read_start(&l->read_op, l->read_position, l->fd, l->read_event, l->request);
}

// Hands the bytes of the finished read to the caller's buffer. A buffer that
// may not grow takes what fits; the rest is read again: from the file by
// its position, or from the push-back on a handle that cannot seek.
lvio_code deliver(lvio_async_layer* l, lvio_buffer* buffer) {
  lvio_buffer* data = const_cast<lvio_buffer*>(lvio_handle_op_data(l->read_op));
  uint64_t n = data->used;
  if ((buffer->flags & LVIO_BUFFER_FIXED) != 0) {
    uint64_t room = buffer->capacity > buffer->used ? buffer->capacity - buffer->used : 0;
    if (room == 0) return LVIO_E_PARAMETER_ERROR;
    if (n > room) n = room;
  }
  // Only a buffer that may not grow leaves a rest, and the append into its
  // room cannot fail: the rest is given back first.
  uint64_t rest = data->used - n;
  if (rest != 0 && !has(l, LVIO_ASYNC_LAYER_SEEKABLE)) {
    auto read_position = static_cast<int64_t>(l->read_position + data->used);
    int64_t ignored;
    lvio_code rc = lvio_pushback_seek(&l->header, &l->pushback, &read_position, 0, 1, -static_cast<int64_t>(rest),
                                      &ignored, data, LVIO_SEEK_GIVE_BACK | LVIO_SEEK_RELATIVE | LVIO_SEEK_READ_SIDE);
    if (rc < 0) return rc;
  }
  lvio_code rc = lvio_buffer_append(buffer, data->data, n);
  if (rc < 0) return rc;
  l->read_position += n;
  return 0;
}

lvio_code async_read(lvio_layer** chain, lvio_buffer* buffer, uint32_t flags) {
  lvio_async_layer* l = self(chain);
  if (l->fd < 0) return LVIO_E_NOT_OPEN_READ;
  if (lvio_pushback_unread(&l->pushback) != 0) {
    lvio_code rc = lvio_buffer_reserve(buffer, 1);
    if (rc < 0) return rc;
    l->read_position += lvio_pushback_take(&l->pushback, buffer, 1);
    return 0;
  }
  bool started_here = false;
  if (l->read_op == nullptr) {
    lvio_code rc = start_read(l);
    if (rc < 0) return rc;
    started_here = true;
  }
  bool seekable = has(l, LVIO_ASYNC_LAYER_SEEKABLE);
  for (;;) {
    lvio_code code;
    if (lvio_handle_op_status(l->read_op, &code) == LVIO_E_AIO_INPROGRESS) {
      // A time-out or an interrupt leaves the read running for the next call.
      lvio_code rc = wait_for(l->read_op, read_timeout(l), flags);
      if (rc < 0) return rc;
      continue;
    }
    if (code < 0) {
      (void)lvio_handle_op_take(&l->read_op, nullptr, nullptr);  // its result is code
      // The end of a pipe, terminal or socket is final; a file may have grown.
      if (code == LVIO_E_END_OF_FILE && !seekable) return code;
      if (started_here) return code;
    } else if (seekable && has(l, LVIO_ASYNC_LAYER_STALE)) {
      (void)lvio_handle_op_take(&l->read_op, nullptr, nullptr);
      if (started_here) return LVIO_E_INTERNAL_ERROR;
    } else {
      lvio_code rc = deliver(l, buffer);
      if (rc < 0) return rc;  // the data stays for the next call
      (void)lvio_handle_op_take(&l->read_op, nullptr, nullptr);
      // A failure to read ahead shows in the next call.
      if (!has(l, LVIO_ASYNC_LAYER_NO_READ_AHEAD)) start_read(l);
      return 0;
    }
    lvio_code rc = start_read(l);
    if (rc < 0) return rc;
    started_here = true;
  }
}

// Writing.

lvio_code start_write(lvio_async_layer* l) {
  l->header.flags |= LVIO_ASYNC_LAYER_STALE;
  return lvio_handle_write_start(&l->write_op, &l->write_buffer, 0, static_cast<uint64_t>(l->write_buffer_start), l->fd,
                                 l->write_event, l->request);
}

// Waits for a sync under way: syncs and writes share the write event, so a
// write starts only once no sync runs.
lvio_code settle_sync(lvio_async_layer* l, uint32_t flags) {
  if (l->sync_op == nullptr) return 0;
  lvio_code rc = wait_for(l->sync_op, write_timeout(l), flags);
  if (rc < 0) return rc;
  return lvio_handle_op_take(&l->sync_op, nullptr, nullptr);
}

// Waits for the write under way and for the writes of what it left, until
// the buffer is written or a write fails (its bytes stay buffered).
lvio_code complete_writes(lvio_async_layer* l, uint32_t flags) {
  lvio_code settled = settle_sync(l, flags);
  if (settled < 0) return settled;
  while (l->write_op != nullptr) {
    lvio_code rc = wait_for(l->write_op, write_timeout(l), flags);
    if (rc < 0) return rc;
    int64_t written;
    rc = lvio_handle_op_take(&l->write_op, nullptr, &written);
    if (rc < 0) return rc;
    (void)lvio_buffer_set_position(&l->write_buffer, written);  // written <= used
    l->write_buffer_start += written;
    if (l->write_buffer.used != 0) {
      rc = start_write(l);
      if (rc < 0) return rc;
    }
  }
  return 0;
}

// Writes everything buffered.
lvio_code flush_writes(lvio_async_layer* l) {
  lvio_code rc = complete_writes(l, 0);
  if (rc >= 0 && l->write_buffer.used != 0) {
    rc = start_write(l);
    if (rc >= 0) rc = complete_writes(l, 0);
  }
  return rc;
}

lvio_code async_write(lvio_layer** chain, lvio_buffer* buffer, uint64_t* position, uint32_t flags) {
  lvio_async_layer* l = self(chain);
  if (*position > buffer->used) return LVIO_E_PARAMETER_ERROR;
  if (l->fd < 0) return LVIO_E_NOT_OPEN_WRITE;
  // Buffered bytes that do not end where the next ones go (a seek came
  // between) are written first.
  if (l->write_buffer.used != 0 &&
      static_cast<uint64_t>(l->write_buffer_start) + l->write_buffer.used != l->write_position) {
    lvio_code rc = flush_writes(l);
    if (rc < 0) return rc;
  }
  lvio_code rc = complete_writes(l, flags);
  if (rc < 0) return rc;
  if (l->write_buffer.used == 0 && l->write_buffer.capacity < LVIO_HANDLE_BUFFER_SIZE) {
    rc = lvio_buffer_reserve(&l->write_buffer, LVIO_HANDLE_BUFFER_SIZE);
    if (rc < 0) return rc;
  }
  while (*position < buffer->used) {
    if (l->write_buffer.used == 0) l->write_buffer_start = static_cast<int64_t>(l->write_position);
    uint64_t room = LVIO_HANDLE_BUFFER_SIZE - l->write_buffer.used;
    uint64_t n = buffer->used - *position < room ? buffer->used - *position : room;
    rc = lvio_buffer_append(&l->write_buffer, buffer->data + *position, n);
    if (rc < 0) return rc;
    *position += n;
    l->write_position += n;
    if (l->write_buffer.used == LVIO_HANDLE_BUFFER_SIZE) return start_write(l);
  }
  return 0;
}

// Sync.

lvio_code async_sync(lvio_layer** chain, uint32_t flags) {
  lvio_async_layer* l = self(chain);
  if (l->fd < 0) return 0;
  lvio_code first = 0;
  if ((flags & LVIO_OP_WRITE) != 0 && has(l, LVIO_LAYER_OPEN_WRITE)) {
    first = flush_writes(l);
    if (first >= 0 && (flags & LVIO_ASYNC_SKIP_DEVICE_SYNC) == 0 && l->kind == LVIO_HANDLE_KIND_DISK) {
      first = lvio_handle_sync_start(&l->sync_op, l->fd, l->write_event, l->request);
      if (first >= 0) first = wait_for(l->sync_op, write_timeout(l), 0);
      // A sync that times out or is interrupted goes on; the next sync waits for it.
      if (first >= 0) first = lvio_handle_op_take(&l->sync_op, nullptr, nullptr);
    }
  }
  // Read-ahead is given up only where it can be read again: on a handle that
  // cannot seek it holds bytes already taken from the system, which stay for
  // the next read.
  if ((flags & LVIO_OP_READ) != 0 && (flags & LVIO_SYNC_CLOSING) == 0 && has(l, LVIO_LAYER_OPEN_READ) &&
      has(l, LVIO_ASYNC_LAYER_SEEKABLE))
    drop(&l->read_op);
  return first < 0 ? first : 0;
}

// Seek.

lvio_code async_size(lvio_async_layer* l, int64_t* size) {
  lvio_code rc = lvio_file_size(l->fd, size);
  if (rc < 0) return l->kind == LVIO_HANDLE_KIND_DISK ? rc : LVIO_E_NOT_SUPPORTED;
  if (has(l, LVIO_LAYER_WRITE_SIDE) && l->write_buffer.used != 0) {
    int64_t end = l->write_buffer_start + static_cast<int64_t>(l->write_buffer.used);
    if (end > *size) *size = end;
  }
  return 0;
}

lvio_code async_seek(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer* source, uint32_t flags) {
  lvio_async_layer* l = self(chain);
  bool read_side = (flags & LVIO_SEEK_READ_SIDE) != 0;
  bool write_side = (flags & LVIO_SEEK_WRITE_SIDE) != 0;
  bool give_back = (flags & LVIO_SEEK_GIVE_BACK) != 0;
  if (!has(l, LVIO_ASYNC_LAYER_SEEKABLE)) {
    if (!give_back || !read_side || write_side) return LVIO_E_SEEK_ERROR;
    auto read_position = static_cast<int64_t>(l->read_position);
    lvio_code rc = lvio_pushback_seek(&l->header, &l->pushback, &read_position, static_cast<int64_t>(l->write_position),
                                      1, offset, position, source, flags | LVIO_SEEK_RELATIVE);
    l->read_position = static_cast<uint64_t>(read_position);
    return rc;
  }
  // Reading and writing one file, the two positions move together; a give
  // back moves the read position alone over bytes just read.
  bool tied = has(l, LVIO_LAYER_READ_SIDE) && has(l, LVIO_LAYER_WRITE_SIDE);
  if (give_back) {
    if (!read_side) return LVIO_E_SEEK_ERROR;
    write_side = false;
  } else if (tied && !(read_side && write_side)) {
    return LVIO_E_SEEK_ERROR;
  }
  int64_t current = static_cast<int64_t>(read_side ? l->read_position : l->write_position);
  int64_t target;
  if ((flags & LVIO_SEEK_ABSOLUTE) != 0) {
    target = offset;
  } else if ((flags & (LVIO_SEEK_RELATIVE | LVIO_SEEK_GIVE_BACK)) != 0) {
    if (read_side && write_side && l->read_position != l->write_position) return LVIO_E_SEEK_ERROR;
    target = current + offset;
  } else if ((flags & LVIO_SEEK_FROM_END) != 0) {
    int64_t end;
    if (async_size(l, &end) < 0) return LVIO_E_SEEK_ERROR;
    target = end + offset;
  } else {
    return LVIO_E_PARAMETER_ERROR;
  }
  if (target < 0) return LVIO_E_PARAMETER_ERROR;
  if (read_side) {
    l->read_position = static_cast<uint64_t>(target);
    l->header.flags |= LVIO_ASYNC_LAYER_STALE;
  }
  if (write_side) l->write_position = static_cast<uint64_t>(target);
  *position = target;
  return 0;
}

// Close.

lvio_code async_close(lvio_layer** chain, uint32_t flags) {
  lvio_async_layer* l = self(chain);
  bool abortive = (flags & LVIO_OP_ABORTIVE) != 0;
  bool closing_read = (flags & LVIO_OP_READ) != 0 && has(l, LVIO_LAYER_READ_SIDE);
  bool closing_write = (flags & LVIO_OP_WRITE) != 0 && has(l, LVIO_LAYER_WRITE_SIDE);
  lvio_code rc = 0;
  if (l->fd >= 0) {
    // Read-ahead is of no use once the side closes: cancelled, not waited
    // for, so that a silent pipe or socket cannot hold the close.
    if (closing_read) drop(&l->read_op);
    if (abortive) {
      drop(&l->write_op);
      drop(&l->sync_op);
    } else if (closing_write) {
      rc = flush_writes(l);
      if (rc < 0) return rc;
    }
    bool read_left = has(l, LVIO_LAYER_READ_SIDE) && !closing_read;
    bool write_left = has(l, LVIO_LAYER_WRITE_SIDE) && !closing_write;
    // A shut-down socket ends its connection at once, although the copy of
    // a cancelled worker may keep the descriptor open a moment longer.
    if (l->kind == LVIO_HANDLE_KIND_SOCKET && !has(l, LVIO_ASYNC_LAYER_BORROWED) && !abortive) {
      rc = lvio_socket_shutdown(l->fd, (closing_read ? 1 : 0) | (closing_write ? 2 : 0));
      if (rc < 0) return rc;
    }
    if (!read_left && !write_left) {
      drop(&l->write_op);
      drop(&l->sync_op);
      int fd = l->fd;
      l->fd = -1;
      if (!has(l, LVIO_ASYNC_LAYER_BORROWED)) rc = lvio_handle_close(fd, abortive ? 1 : 0);
    }
  }
  if (closing_read) l->header.flags &= ~(LVIO_LAYER_OPEN_READ | LVIO_LAYER_READ_SIDE);
  if (closing_write) l->header.flags &= ~(LVIO_LAYER_OPEN_WRITE | LVIO_LAYER_WRITE_SIDE);
  if ((l->header.flags & (LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE)) == 0) {
    lvio_layer_unlink(chain);
    lvio_layer_call_finalize(&l->header);
  }
  return rc < 0 ? rc : 0;
}

lvio_code async_push(const lvio_class*, lvio_layer**, const lvio_option*, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }

lvio_code async_pop(const lvio_class*, lvio_layer**, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }

void async_finalize(lvio_layer* layer) {
  auto* l = reinterpret_cast<lvio_async_layer*>(layer);
  drop(&l->read_op);
  drop(&l->write_op);
  drop(&l->sync_op);
  lvio_buffer_free(&l->write_buffer);
  lvio_pushback_free(&l->pushback);
  lvio_event_release(l->read_event);
  lvio_event_release(l->write_event);
  lvio_layer_finalize(layer);
  lvio_free(l);
}

lvio_code async_open(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t flags) {
  const char* path;
  if (lvio_option_lookup(options, "pathname", &path) < 0) return LVIO_E_PARAMETER_ERROR;
  int fd;
  lvio_code rc = lvio_file_open_path(path, flags & 0xF, &fd);
  if (rc < 0) return rc;
  rc = lvio_async_open_handle(cls, chain, fd, flags & (LVIO_ASYNC_READ | LVIO_ASYNC_WRITE | LVIO_ASYNC_APPEND));
  if (rc < 0) close(fd);
  return rc;
}

lvio_code set_timeouts(lvio_async_layer* l, const lvio_time* time, uint32_t flags) {
  if (time != nullptr && (time->seconds < 0 || time->nanoseconds < 0)) return LVIO_E_PARAMETER_ERROR;
  if ((flags & LVIO_OP_READ) != 0) {
    l->read_timeout = time != nullptr ? *time : NO_TIMEOUT;
    l->header.flags = time != nullptr ? l->header.flags | LVIO_ASYNC_LAYER_READ_TIMEOUT
                                      : l->header.flags & ~LVIO_ASYNC_LAYER_READ_TIMEOUT;
  }
  if ((flags & LVIO_OP_WRITE) != 0) {
    l->write_timeout = time != nullptr ? *time : NO_TIMEOUT;
    l->header.flags = time != nullptr ? l->header.flags | LVIO_ASYNC_LAYER_WRITE_TIMEOUT
                                      : l->header.flags & ~LVIO_ASYNC_LAYER_WRITE_TIMEOUT;
  }
  return 0;
}

lvio_code async_control(lvio_layer** chain, uint32_t request, void* argument, uint32_t flags) {
  lvio_async_layer* l = self(chain);
  switch (request) {
    case LVIO_REQUEST_READ_EVENT:
      *static_cast<lvio_event**>(argument) = l->read_event;
      return 0;
    case LVIO_REQUEST_WRITE_EVENT:
      *static_cast<lvio_event**>(argument) = l->write_event;
      return 0;
    case LVIO_REQUEST_INFO:
      static_cast<lvio_stream_info*>(argument)->kind = static_cast<uint32_t>(l->kind);
      return 0;
    case LVIO_REQUEST_SIZE:
      return async_size(l, static_cast<int64_t*>(argument));
    case LVIO_REQUEST_TIMEOUT:
      return set_timeouts(l, static_cast<const lvio_time*>(argument), flags);
    default:
      return LVIO_E_NOT_SUPPORTED;
  }
}

// The request flags of a handle's operations, by its kind.
lvio_code request_for(int32_t kind, uint32_t open_flags, uint32_t* request, bool* seekable) {
  *seekable = false;
  uint32_t own = (open_flags & LVIO_ASYNC_OWN_POSITION) != 0 ? LVIO_HANDLE_OWN_POSITION : 0;
  switch (kind) {
    case LVIO_HANDLE_KIND_INVALID:
      return LVIO_E_OPEN_ERROR;
    case LVIO_HANDLE_KIND_CHARACTER:
      *request = own | LVIO_HANDLE_IGNORE_SYNC_ERRORS;
      return 0;
    case LVIO_HANDLE_KIND_DISK:
      *seekable = own == 0;
      *request = LVIO_HANDLE_INLINE | (own != 0 ? own : LVIO_HANDLE_POSITIONED);
      return 0;
    case LVIO_HANDLE_KIND_CONSOLE:
      *request = own | LVIO_HANDLE_CONSOLE;
      return 0;
    case LVIO_HANDLE_KIND_SOCKET:
      *request = LVIO_HANDLE_SOCKET;
      return 0;
    case LVIO_HANDLE_KIND_PIPE:
      *request = own | LVIO_HANDLE_PIPE;
      return 0;
    case LVIO_HANDLE_KIND_SERIAL:
      return LVIO_E_NOT_IMPLEMENTED;
    default:
      return LVIO_E_IMPOSSIBLE_ERROR;
  }
}

}  // namespace

const lvio_class lvio_async_class = {
    LVIO_CLASS_RECORD_SIZE,
    "async",
    {sizeof(lvio_async_layer)},
    0,
    0,
    {{async_read, async_write, async_sync, async_seek, async_close, async_push, async_pop, async_finalize, async_open,
      async_control}},
};

lvio_code lvio_async_open_handle(const lvio_class* cls, lvio_layer** chain, int fd, uint32_t flags) {
  bool reads = (flags & LVIO_ASYNC_READ) != 0;
  bool writes = (flags & LVIO_ASYNC_WRITE) != 0;
  if (fd < 0 || (!reads && !writes)) return LVIO_E_PARAMETER_ERROR;
  uint32_t request;
  bool seekable;
  lvio_code rc = request_for(lvio_handle_kind(fd), flags, &request, &seekable);
  if (rc < 0) return rc;
  auto* l = static_cast<lvio_async_layer*>(lvio_alloc(sizeof(lvio_async_layer)));
  if (l == nullptr) return LVIO_E_OUT_OF_MEMORY;
  uint32_t layer_flags = (reads ? lvio_layer_reading_flags(1) : 0) | (writes ? lvio_layer_writing_flags(1) : 0) |
                         ((flags & LVIO_ASYNC_BORROWED) != 0 ? LVIO_ASYNC_LAYER_BORROWED : 0) |
                         ((flags & LVIO_ASYNC_NO_READ_AHEAD) != 0 ? LVIO_ASYNC_LAYER_NO_READ_AHEAD : 0) |
                         (seekable ? LVIO_ASYNC_LAYER_SEEKABLE | LVIO_LAYER_MOVABLE_BACK : 0);
  lvio_layer_init(&l->header, cls, layer_flags);
  l->fd = fd;
  l->kind = lvio_handle_kind(fd);
  l->request = request;
  l->read_op = l->write_op = l->sync_op = nullptr;
  lvio_buffer_init(&l->write_buffer);
  l->read_position = l->write_position = 0;
  l->write_buffer_start = -1;
  l->read_event = l->write_event = nullptr;
  l->read_timeout = l->write_timeout = NO_TIMEOUT;
  l->pushback = {nullptr, 0};
  rc = lvio_event_create(0, &l->read_event);
  if (rc >= 0) rc = lvio_event_create(1, &l->write_event);
  // Positions on a file: the handle's own, or from the start (the end for
  // appending writes).
  int64_t at = 0;
  if (rc >= 0 && l->kind == LVIO_HANDLE_KIND_DISK && (flags & LVIO_ASYNC_OWN_POSITION) != 0) {
    rc = lvio_file_position(fd, &at);
    l->read_position = l->write_position = static_cast<uint64_t>(at);
  } else if (rc >= 0 && l->kind == LVIO_HANDLE_KIND_DISK && writes && (flags & LVIO_ASYNC_APPEND) != 0) {
    rc = lvio_file_size(fd, &at);
    l->write_position = static_cast<uint64_t>(at);
  }
  if (rc < 0) {
    l->fd = -1;
    async_finalize(&l->header);
    return rc;
  }
  *chain = nullptr;
  lvio_layer_link(chain, &l->header);
  return 0;
}

lvio_code lvio_open_os_handle(lvio_layer** chain, int fd, uint32_t flags) {
  const lvio_class* cls;
  lvio_code rc = lvio_class_find("async", &cls);
  if (rc < 0) return rc;
  return lvio_async_open_handle(cls, chain, fd, flags);
}

lvio_code lvio_async_module(uint32_t flags) {
  if ((flags & 1) != 0) {
    lvio_code rc = lvio_handle_io_module(flags);
    (void)lvio_class_register(&lvio_async_class, 1);  // removing a name cannot fail
    return rc;
  }
  lvio_code rc = lvio_class_register(&lvio_async_class, 0);
  if (rc < 0) return rc;
  rc = lvio_handle_io_module(flags);
  if (rc < 0) (void)lvio_class_register(&lvio_async_class, 1);
  return rc;
}
