// Waits on several events, on ppoll.
#include "lvio/event_wait.h"

#include <poll.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "lvio/allocator.h"
#include "lvio/clock.h"
#include "lvio/event_watch.h"
#include "lvio/interrupt.h"
#include "lvio/os_error.h"
#include "lvio/thread.h"
#include "lvio/trace.h"

namespace {

// Room on the stack for nine events and the interrupt and stop events.
constexpr uint64_t STACK_ENTRIES = 11;

struct wait_set {
  pollfd* fds;
  uint64_t* positions;  // index in the caller's array of each entry
  uint64_t count;
};

}  // namespace

lvio_code lvio_poll_until(pollfd* fds, uint64_t count, uint32_t ms) {
  timespec deadline;
  bool timed = ms != LVIO_WAIT_INFINITE && lvio_monotonic_deadline({ms / 1000, (ms % 1000) * 1000000LL}, &deadline);
  for (;;) {
    timespec remaining;
    if (timed) {
      timespec now;
      clock_gettime(CLOCK_MONOTONIC, &now);
      lvio_time left;
      lvio_time_difference({deadline.tv_sec, deadline.tv_nsec}, {now.tv_sec, now.tv_nsec}, &left);
      remaining = {static_cast<time_t>(left.seconds), static_cast<long>(left.nanoseconds)};
    }
    int n = ppoll(fds, count, timed ? &remaining : nullptr, nullptr);
    if (n < 0) {
      if (errno == EINTR) continue;  // a signal handler ran on this thread
      return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
    }
    if (n == 0) return LVIO_E_TIMEOUT;
    for (uint64_t i = 0; i < count; i++) {
      if (fds[i].revents == 0) continue;
      if ((fds[i].revents & POLLNVAL) != 0) return LVIO_E_OS_ERROR;  // a closed descriptor
      return static_cast<lvio_code>(i);
    }
  }
}

namespace {

std::atomic<lvio_event*> interrupt_event{nullptr};

void on_interrupt(void*, uint32_t mode) {
  lvio_event* event = interrupt_event.load();
  if (event == nullptr) return;
  if ((mode & 1) == 0)
    (void)lvio_event_set(event);
  else
    (void)lvio_event_reset(event);
}

}  // namespace

lvio_code lvio_event_wait_index(lvio_event* const* events, uint64_t count, const lvio_time* time, uint64_t* index) {
  uint32_t ms;
  lvio_code rc = lvio_time_to_wait_ms(time, &ms);
  if (rc < 0) return rc;
  lvio_event* interrupt = ms != 0 && lvio_on_main_thread() ? interrupt_event.load() : nullptr;
  lvio_thread* self = lvio_thread_self();
  lvio_event* stop = ms != 0 && self != nullptr && (lvio_thread_control(self) & LVIO_THREAD_CONTROL_CANCELLABLE) != 0
                         ? lvio_thread_stop_event(self)
                         : nullptr;

  pollfd stack_fds[STACK_ENTRIES];
  uint64_t stack_positions[STACK_ENTRIES];
  wait_set set = {stack_fds, stack_positions, 0};
  if (count + 2 > STACK_ENTRIES) {
    set.fds = static_cast<pollfd*>(lvio_alloc((count + 2) * sizeof(pollfd)));
    set.positions = static_cast<uint64_t*>(lvio_alloc((count + 2) * sizeof(uint64_t)));
    if (set.fds == nullptr || set.positions == nullptr) {
      lvio_free(set.fds);
      lvio_free(set.positions);
      return LVIO_E_OUT_OF_MEMORY;
    }
  }
  for (uint64_t i = 0; i < count; i++) {
    if (events[i] == nullptr) continue;
    set.positions[set.count] = i;
    set.fds[set.count++] = {events[i]->fd, lvio_event_poll_mask(events[i]), 0};
  }
  uint64_t own = set.count;
  if (stop != nullptr) set.fds[set.count++] = {stop->fd, POLLIN, 0};
  uint64_t interrupt_at = set.count;
  if (interrupt != nullptr) set.fds[set.count++] = {interrupt->fd, POLLIN, 0};

  if (own == 0 && ms == 0)
    rc = LVIO_E_TIMEOUT;
  else if (set.count == 0)
    rc = LVIO_E_INTERNAL_ERROR;
  else if (set.count > LVIO_WAIT_MAX_EVENTS)
    rc = LVIO_E_TOO_MANY_OPEN_FILES;
  else
    rc = lvio_poll_until(set.fds, set.count, ms);

  if (rc >= 0) {
    auto at = static_cast<uint64_t>(rc);
    if (at < own) {
      if (index != nullptr) *index = set.positions[at];
      rc = 0;
    } else if (interrupt != nullptr && at == interrupt_at) {
      rc = lvio_event_reset(interrupt);
      if (rc >= 0) rc = LVIO_E_INTERRUPTED;
    } else {
      rc = LVIO_E_CANCELED;  // the stop event stays set: every later wait ends at once too
    }
  }
  if (set.fds != stack_fds) {
    lvio_free(set.fds);
    lvio_free(set.positions);
  }
  if (rc == LVIO_E_INTERRUPTED) lvio_interrupt_sync();
  return rc;
}

lvio_code lvio_event_wait(lvio_event* const* events, uint64_t count, const lvio_time* time) {
  return lvio_event_wait_index(events, count, time, nullptr);
}

lvio_event* lvio_interrupt_event() { return interrupt_event.load(); }

lvio_code lvio_interrupt_event_module(std::atomic<lvio_event*>* slot, uint32_t event_flags,
                                      lvio_interrupt_fn hook, uint32_t flags) {
  if ((flags & 1) != 0) {
    lvio_code rc = lvio_interrupt_hook_add(hook, nullptr, 1);
    lvio_event_release(slot->exchange(nullptr));
    return rc < 0 ? rc : 0;
  }
  lvio_event* event;
  lvio_code rc = lvio_event_create(event_flags, &event);
  if (rc < 0) return rc;
  lvio_event_release(slot->exchange(event));
  rc = lvio_interrupt_hook_add(hook, nullptr, 0);
  if (rc < 0) lvio_event_release(slot->exchange(nullptr));
  return rc;
}

lvio_code lvio_events_module(uint32_t flags) {
  if ((flags & 1) != 0) {
    lvio_code rc = lvio_event_watch_stop();
    (void)lvio_interrupt_event_module(&interrupt_event, 0, on_interrupt, 1);  // the watcher's stop is reported
    return rc < 0 ? rc : 0;
  }
  return lvio_interrupt_event_module(&interrupt_event, 0, on_interrupt, 0);
}
