// Events of the I/O layer, on eventfd and poll.
#include "lvio/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>

#include "lvio/allocator.h"
#include "lvio/os_error.h"

namespace {

// The flags word also holds the reference count, which changes while other
// threads read the fixed bits: it is accessed atomically.
uint32_t load_flags(const lvio_event* event) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(event->flags)).load(std::memory_order_acquire);
}

lvio_code set_event(lvio_event* event) {
  if ((load_flags(event) & LVIO_EVENT_SETTABLE) == 0) return LVIO_E_NOT_SUPPORTED;
  uint64_t one = 1;
  if (write(event->fd, &one, sizeof one) == sizeof one) return 0;
  // A counter too full to add to is signalled all the same.
  return errno == EAGAIN ? 0 : lvio_os_error_code(errno, LVIO_E_ERROR);
}

lvio_code reset_event(lvio_event* event) {
  if ((load_flags(event) & LVIO_EVENT_SETTABLE) == 0) return LVIO_E_NOT_SUPPORTED;
  uint64_t count;
  // One read takes the whole counter; nothing to read means not signalled.
  if (read(event->fd, &count, sizeof count) == sizeof count) return 0;
  return errno == EAGAIN ? 0 : lvio_os_error_code(errno, LVIO_E_ERROR);
}

lvio_code poll_event(lvio_event* event) {
  pollfd p = {event->fd, lvio_event_poll_mask(event), 0};
  int n;
  do n = poll(&p, 1, 0);
  while (n < 0 && errno == EINTR);
  if (n < 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  if (n == 0) return 0;
  return (p.revents & POLLNVAL) != 0 ? LVIO_E_OS_ERROR : 1;
}

void close_event(lvio_event* event) {
  int fd = event->fd;
  event->fd = -1;
  if ((load_flags(event) & LVIO_EVENT_BORROWED) == 0 && fd >= 0) close(fd);
  lvio_free(event);
}

const lvio_event_ops event_ops = {set_event, reset_event, poll_event, close_event};

uint32_t count_of(const lvio_event* event) {
  return (load_flags(event) & LVIO_EVENT_COUNT_MASK) >> LVIO_EVENT_COUNT_SHIFT;
}

// Moves the count from one value to another: false when it was not from.
bool move_count(lvio_event* event, uint32_t from, uint32_t to) {
  std::atomic_ref<uint32_t> flags(event->flags);
  uint32_t old = flags.load(std::memory_order_acquire);
  for (;;) {
    if (((old & LVIO_EVENT_COUNT_MASK) >> LVIO_EVENT_COUNT_SHIFT) != from) return false;
    uint32_t fresh = (old & ~LVIO_EVENT_COUNT_MASK) | (to << LVIO_EVENT_COUNT_SHIFT);
    if (flags.compare_exchange_weak(old, fresh, std::memory_order_acq_rel)) return true;
  }
}

lvio_code wrap(int fd, uint32_t flags, uint32_t count, lvio_event** out) {
  auto* event = static_cast<lvio_event*>(lvio_alloc(sizeof(lvio_event)));
  if (event == nullptr) return LVIO_E_OUT_OF_MEMORY;
  event->ops = &event_ops;
  event->flags = (flags & (LVIO_EVENT_BORROWED | LVIO_EVENT_WRITABLE | LVIO_EVENT_SETTABLE)) |
                 (count << LVIO_EVENT_COUNT_SHIFT);
  event->fd = fd;
  *out = event;
  return 0;
}

}  // namespace

lvio_code lvio_event_create(uint32_t flags, lvio_event** out) {
  int fd = eventfd((flags & 1) != 0 ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  lvio_code rc = wrap(fd, LVIO_EVENT_SETTABLE, 1, out);
  if (rc < 0) close(fd);
  return rc;
}

lvio_code lvio_event_from_handle(int fd, uint32_t flags, lvio_event** out) {
  return wrap(fd, flags | LVIO_EVENT_BORROWED, 1, out);
}

lvio_code lvio_event_wrap_handle(int fd, lvio_event** out, uint32_t flags) {
  return wrap(fd, (flags & ~1u) | ((flags & 1) != 0 ? LVIO_EVENT_BORROWED : 0), 0, out);
}

lvio_code lvio_event_handle(const lvio_event* event, int* fd) {
  *fd = event->fd;
  return 0;
}

short lvio_event_poll_mask(const lvio_event* event) {
  return (load_flags(event) & LVIO_EVENT_WRITABLE) != 0 ? POLLOUT : POLLIN;
}

lvio_code lvio_event_set(lvio_event* event) {
  lvio_code rc = event->ops->set(event);
  return rc < 0 ? rc : 0;
}

lvio_code lvio_event_reset(lvio_event* event) {
  lvio_code rc = event->ops->reset(event);
  return rc < 0 ? rc : 0;
}

lvio_code lvio_event_wait_one(lvio_event* event) { return event->ops->poll(event); }

lvio_code lvio_event_acquire(lvio_event* event) {
  for (;;) {
    uint32_t count = count_of(event);
    if (count == LVIO_EVENT_COUNT_MASK >> LVIO_EVENT_COUNT_SHIFT) return LVIO_E_OVERFLOW;
    if (move_count(event, count, count + 1)) return 0;
  }
}

void lvio_event_release(lvio_event* event) {
  if (event == nullptr) return;
  for (;;) {
    uint32_t count = count_of(event);
    if (count <= 1) break;
    if (move_count(event, count, count - 1)) return;
  }
  event->ops->close(event);
}
