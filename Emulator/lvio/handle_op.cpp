// Handle operations: inline on regular files, on worker threads elsewhere.
#include "lvio/handle_op.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>

#include "lvio/allocator.h"
#include "lvio/event_wait.h"
#include "lvio/interrupt.h"
#include "lvio/os_error.h"
#include "lvio/thread.h"

namespace {

enum op_kind { READ, WRITE, SYNC };

}  // namespace

struct lvio_handle_op {
  op_kind kind;
  uint32_t request;
  bool worker;
  lvio_code result;  // final once done
  int64_t transferred;
  lvio_buffer buffer;  // owned: read into, or the bytes to write
  uint64_t offset;
  int fd;  // a worker's own copy of the descriptor
  lvio_event* cancel;
  std::atomic<bool> done;
  std::atomic<int> references;  // the slot's and the worker's
  // Guards the completion event against a worker that ends while the
  // operation is abandoned.
  pthread_mutex_t lock;
  bool abandoned;
  lvio_event* completion;
};

std::atomic<lvio_code (*)(lvio_event*)> lvio_handle_op_set_completion{lvio_event_set};

namespace {

// The handle-I/O interrupt event, and the flag that tells a real interrupt
// from a leftover signal of it. An interrupt announced before a wait begins
// ends that wait too, until the engine thread has taken it (mode 1): one
// that comes just before the wait is not lost.
std::atomic<lvio_event*> interrupt_event{nullptr};
std::atomic<bool> interrupt_seen{false};

lvio_handle_op* make_op(op_kind kind, int fd, lvio_event* completion, uint32_t request, uint64_t capacity) {
  void* memory = lvio_alloc(sizeof(lvio_handle_op));
  if (memory == nullptr) return nullptr;
  auto* op = new (memory) lvio_handle_op();
  op->kind = kind;
  op->request = request;
  op->worker = (request & LVIO_HANDLE_INLINE) == 0;
  op->result = LVIO_E_ERROR;
  op->transferred = 0;
  lvio_buffer_init(&op->buffer);
  op->offset = 0;
  op->fd = fd;
  op->cancel = nullptr;
  op->references.store(1);
  pthread_mutex_init(&op->lock, nullptr);
  op->abandoned = false;
  op->completion = completion;
  if (capacity > 0 && lvio_buffer_reserve(&op->buffer, capacity) < 0) {
    lvio_buffer_free(&op->buffer);
    op->~lvio_handle_op();
    lvio_free(op);
    return nullptr;
  }
  return op;
}

void release(lvio_handle_op* op) {
  if (op->references.fetch_sub(1) != 1) return;
  if (op->worker && op->fd >= 0) close(op->fd);
  lvio_event_release(op->cancel);
  lvio_buffer_free(&op->buffer);
  pthread_mutex_destroy(&op->lock);
  op->~lvio_handle_op();
  lvio_free(op);
}

// The end of an operation: its result is in place before anyone can see it
// done, and the completion event is set unless the operation was abandoned.
// The lock covers both steps, so that a take, which takes the lock too,
// never returns between them: after it the completion event may be closed
// or reset for the next operation, and no late set may reach it.
void finish(lvio_handle_op* op, lvio_code result) {
  op->result = result;
  pthread_mutex_lock(&op->lock);
  op->done.store(true, std::memory_order_release);
  if (!op->abandoned) {
    lvio_code (*set)(lvio_event*) = lvio_handle_op_set_completion.load(std::memory_order_acquire);
    (void)set(op->completion);  // writing to a live eventfd does not fail
  }
  pthread_mutex_unlock(&op->lock);
}

// Waits until the descriptor is ready as asked or the operation is
// cancelled: 0, LVIO_E_INTERRUPTED, or an error.
lvio_code await(lvio_handle_op* op, short events) {
  pollfd fds[2] = {{op->fd, events, 0}, {op->cancel->fd, POLLIN, 0}};
  for (;;) {
    int n = poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
    }
    if (fds[1].revents != 0) return LVIO_E_INTERRUPTED;
    if ((fds[0].revents & POLLNVAL) != 0) return LVIO_E_INTERRUPTED;
    if (fds[0].revents != 0) return 0;
  }
}

lvio_code read_error(const lvio_handle_op* op, int error) {
  if (error == ECONNRESET) return LVIO_E_NET_CONNRESET;
  // A terminal whose other side has gone reads as ended.
  if (error == EIO && (op->request & LVIO_HANDLE_CONSOLE) != 0) return LVIO_E_END_OF_FILE;
  return lvio_os_error_code(error, LVIO_E_READ_ERROR);
}

lvio_code write_error(int error) {
  if (error == EPIPE) {
    // The layer's threads block SIGPIPE: take back the one this write raised.
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    timespec zero = {0, 0};
    sigtimedwait(&pipe_signal, nullptr, &zero);
    return LVIO_E_END_OF_FILE;
  }
  if (error == ECONNRESET) return LVIO_E_NET_CONNRESET;
  return lvio_os_error_code(error, LVIO_E_WRITE_ERROR);
}

ssize_t transfer_in(lvio_handle_op* op, uint8_t* to, size_t n) {
  if ((op->request & LVIO_HANDLE_SOCKET) != 0) return recv(op->fd, to, n, MSG_DONTWAIT);
  if ((op->request & LVIO_HANDLE_POSITIONED) != 0) return pread(op->fd, to, n, static_cast<off_t>(op->offset));
  return read(op->fd, to, n);
}

ssize_t transfer_out(lvio_handle_op* op, const uint8_t* from, size_t n) {
  if ((op->request & LVIO_HANDLE_SOCKET) != 0) return send(op->fd, from, n, MSG_DONTWAIT | MSG_NOSIGNAL);
  if ((op->request & LVIO_HANDLE_POSITIONED) != 0) return pwrite(op->fd, from, n, static_cast<off_t>(op->offset));
  return write(op->fd, from, n);
}

lvio_code do_read(lvio_handle_op* op) {
  lvio_buffer& b = op->buffer;
  for (;;) {
    if (op->worker) {
      lvio_code rc = await(op, POLLIN);
      if (rc < 0) return rc;
    }
    ssize_t n = transfer_in(op, b.data + b.used, b.capacity - b.used);
    if (n > 0) {
      op->transferred = n;
      b.used += static_cast<uint64_t>(n);
      return 0;
    }
    if (n == 0) return LVIO_E_END_OF_FILE;
    // Readiness that another reader took away, or a descriptor that does
    // not block: wait again.
    if (errno == EINTR || (op->worker && (errno == EAGAIN || errno == EWOULDBLOCK))) continue;
    return read_error(op, errno);
  }
}

lvio_code do_write(lvio_handle_op* op) {
  const uint8_t* from = op->buffer.data;
  uint64_t length = op->buffer.used;
  uint64_t written = 0;
  lvio_code rc = 0;
  while (written < length) {
    if (op->worker) {
      rc = await(op, POLLOUT);
      if (rc < 0) break;
    }
    // A pipe or terminal ready for writing takes PIPE_BUF bytes without
    // blocking; a larger write could block where no cancel reaches it.
    size_t chunk = length - written;
    if (op->worker && (op->request & LVIO_HANDLE_SOCKET) == 0 && chunk > PIPE_BUF) chunk = PIPE_BUF;
    ssize_t n = transfer_out(op, from + written, chunk);
    if (n > 0) {
      written += static_cast<uint64_t>(n);
      if (!op->worker) break;  // one call inline: the layer completes a short write
      continue;
    }
    if (n < 0 && (errno == EINTR || (op->worker && (errno == EAGAIN || errno == EWOULDBLOCK)))) continue;
    rc = n < 0 ? write_error(errno) : LVIO_E_WRITE_ERROR;
    break;
  }
  op->transferred = static_cast<int64_t>(written);
  // What was written counts: the error shows when the rest is written.
  return written > 0 ? 0 : rc;
}

lvio_code do_sync(lvio_handle_op* op) {
  if (fsync(op->fd) == 0) return 0;
  // Pipes, terminals and sockets have nothing to sync.
  if (errno == EINVAL || errno == EROFS || errno == EBADF) return 0;
  if ((op->request & LVIO_HANDLE_IGNORE_SYNC_ERRORS) != 0) return 0;
  return lvio_os_error_code(errno, LVIO_E_SYNC_ERROR);
}

lvio_code run(lvio_handle_op* op) {
  switch (op->kind) {
    case READ:
      return do_read(op);
    case WRITE:
      return do_write(op);
    default:
      return do_sync(op);
  }
}

lvio_code worker_body(lvio_thread*, void* user) {
  auto* op = static_cast<lvio_handle_op*>(user);
  finish(op, run(op));
  release(op);
  return 0;
}

// Runs the operation inline, or hands it to a worker of its own.
lvio_code start(lvio_handle_op** slot, lvio_handle_op* op, int fd) {
  (void)lvio_event_reset(op->completion);
  if (!op->worker) {
    finish(op, run(op));
    *slot = op;
    return 0;
  }
  lvio_code rc = 0;
  op->fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (op->fd < 0) rc = lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  if (rc >= 0) rc = lvio_event_create(0, &op->cancel);
  if (rc >= 0) {
    op->result = LVIO_E_AIO_INPROGRESS;
    op->references.store(2);
    rc = lvio_thread_create(0, worker_body, op, nullptr);
    if (rc < 0) op->references.store(1);
  }
  if (rc < 0) {
    release(op);
    return rc;
  }
  *slot = op;
  return 0;
}

}  // namespace

lvio_code lvio_handle_read_start(lvio_handle_op** slot, uint64_t offset, int fd, lvio_event* completion,
                                 uint32_t request) {
  if (completion == nullptr || *slot != nullptr) return LVIO_E_PARAMETER_ERROR;
  lvio_handle_op* op = make_op(READ, fd, completion, request, LVIO_HANDLE_BUFFER_SIZE);
  if (op == nullptr) return LVIO_E_OUT_OF_MEMORY;
  op->offset = offset;
  return start(slot, op, fd);
}

lvio_code lvio_handle_write_start(lvio_handle_op** slot, const lvio_buffer* buffer, uint64_t data_start,
                                  uint64_t offset, int fd, lvio_event* completion, uint32_t request) {
  if (completion == nullptr || *slot != nullptr) return LVIO_E_PARAMETER_ERROR;
  if (data_start > buffer->used) return LVIO_E_PARAMETER_ERROR;
  lvio_handle_op* op = make_op(WRITE, fd, completion, request, 0);
  if (op == nullptr) return LVIO_E_OUT_OF_MEMORY;
  op->offset = offset;
  uint64_t length = buffer->used - data_start;
  const uint8_t* from = buffer->data + data_start;
  if (op->worker) {
    // The worker may outlive the caller's buffer.
    if (lvio_buffer_append(&op->buffer, from, length) < 0) {
      release(op);
      return LVIO_E_OUT_OF_MEMORY;
    }
  } else {
    op->buffer = {const_cast<uint8_t*>(from), length, length,
                  LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
  }
  return start(slot, op, fd);
}

lvio_code lvio_handle_sync_start(lvio_handle_op** slot, int fd, lvio_event* completion, uint32_t request) {
  if (completion == nullptr || *slot != nullptr) return LVIO_E_PARAMETER_ERROR;
  lvio_handle_op* op = make_op(SYNC, fd, completion, request & ~LVIO_HANDLE_INLINE, 0);
  if (op == nullptr) return LVIO_E_OUT_OF_MEMORY;
  return start(slot, op, fd);
}

lvio_code lvio_handle_op_status(lvio_handle_op* op, lvio_code* code) {
  if (!op->done.load(std::memory_order_acquire)) return LVIO_E_AIO_INPROGRESS;
  *code = op->result;
  return op->result < 0 ? 1 : 0;
}

const lvio_buffer* lvio_handle_op_data(const lvio_handle_op* op) { return &op->buffer; }

lvio_code lvio_handle_op_take(lvio_handle_op** slot, uint64_t* offset, int64_t* transferred) {
  lvio_handle_op* op = *slot;
  *slot = nullptr;
  // Under the lock a worker has either finished whole (its event set) or
  // not begun to finish (and now never touches the completion event).
  pthread_mutex_lock(&op->lock);
  bool done = op->done.load(std::memory_order_acquire);
  op->abandoned = true;
  pthread_mutex_unlock(&op->lock);
  lvio_code result = done ? op->result : LVIO_E_AIO_INPROGRESS;
  if (offset != nullptr) *offset = op->offset;
  if (transferred != nullptr) *transferred = done && result >= 0 ? op->transferred : 0;
  if (!done) (void)lvio_handle_op_cancel(op);
  release(op);
  return result;
}

lvio_code lvio_handle_op_wait(lvio_handle_op* op, const lvio_time* timeout, uint32_t flags) {
  if ((flags & 1) != 0) (void)lvio_handle_op_cancel(op);
  if ((flags & 2) != 0) return op->done.load(std::memory_order_acquire) ? 0 : LVIO_E_WOULD_BLOCK;
  return lvio_handle_wait(&op, 1, timeout);
}

lvio_code lvio_handle_op_cancel(lvio_handle_op* op) {
  if (!op->worker) return 0;
  return lvio_event_set(op->cancel);
}

lvio_code lvio_handle_wait(lvio_handle_op* const* ops, uint64_t count, const lvio_time* timeout) {
  uint32_t ms;
  lvio_code rc = lvio_time_to_wait_ms(timeout, &ms);
  if (rc < 0) return rc;
  uint64_t live = 0;
  for (uint64_t i = 0; i < count; i++) {
    if (ops[i] == nullptr) continue;
    // A finished operation needs no wait, even if its event was reset since.
    if (ops[i]->done.load(std::memory_order_acquire)) return 0;
    live++;
  }
  if (live == 0) return LVIO_E_INTERNAL_ERROR;
  lvio_event* interrupt = interrupt_event.load();
  pollfd stack_fds[8];
  pollfd* fds = live + 1 <= 8 ? stack_fds : static_cast<pollfd*>(lvio_alloc((live + 1) * sizeof(pollfd)));
  if (fds == nullptr) return LVIO_E_OUT_OF_MEMORY;
  uint64_t n = 0;
  if (interrupt != nullptr) fds[n++] = {interrupt->fd, POLLIN, 0};
  uint64_t first_op = n;
  for (uint64_t i = 0; i < count; i++)
    if (ops[i] != nullptr) fds[n++] = {ops[i]->completion->fd, POLLIN, 0};
  for (;;) {
    rc = lvio_poll_until(fds, n, ms);
    if (rc < 0 || static_cast<uint64_t>(rc) >= first_op) break;
    // The interrupt event: a real interrupt, which ends this one wait, or a
    // signal left over from one already taken, which is cleared.
    lvio_code reset = lvio_event_reset(interrupt);
    if (reset < 0) {
      rc = reset;
      break;
    }
    if (interrupt_seen.exchange(false)) {
      rc = LVIO_E_INTERRUPTED;
      break;
    }
  }
  if (fds != stack_fds) lvio_free(fds);
  if (rc == LVIO_E_INTERRUPTED) lvio_interrupt_sync();
  return rc < 0 ? rc : 0;
}

void lvio_interrupt_event_hook(void*, uint32_t mode) {
  lvio_event* event = interrupt_event.load();
  if (event == nullptr) return;
  if ((mode & 1) != 0) {
    interrupt_seen.store(false);
    (void)lvio_event_reset(event);
  } else {
    interrupt_seen.store(true);
    (void)lvio_event_set(event);
  }
}

lvio_code lvio_handle_io_module(uint32_t flags) {
  return lvio_interrupt_event_module(&interrupt_event, 1, lvio_interrupt_event_hook, flags);
}
