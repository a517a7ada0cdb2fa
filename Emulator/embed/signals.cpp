// Signal slots and the C signal handler.
//
// The handler runs on whatever thread the signal interrupts, so it takes no
// lock and allocates nothing: it bumps the signal's counter (a lock-free
// atomic) and either records an interrupt for the I/O layer's dispatch
// thread (which then runs the interrupt callbacks, the engine's among them)
// or forces an event check itself. The slots change only under the event
// lock; the handler reads them with atomic loads.
#include "embed/signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include "embed/async_events.h"
#include "lvio/interrupt.h"
#include "lvio/result_codes.h"

namespace {

constexpr int SLOTS = 32;

struct slot {
  std::atomic<lv_signal_handler> handler;
  std::atomic<void*> user;
  std::atomic<int> flags;
};
slot slots[SLOTS];
std::atomic<int> counters[SLOTS];
std::atomic<int> enabled;

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<lv_signal_handler>::is_always_lock_free);

// A reset slot holds this: occupied, but nothing to run.
void placeholder(int, void*) {}

bool is_default_or_ignore(lv_signal_handler h) { return h == LV_SIG_DFL || h == LV_SIG_IGN; }

void count(int signal) {
  if (counters[signal].fetch_add(1, std::memory_order_relaxed) == -1) counters[signal].store(1, std::memory_order_relaxed);
}

// Delivery from a signal handler: nothing that takes a lock.
void deliver_recorded(int flags) {
  if ((flags & LV_DELIVER_INTERRUPT) != 0)
    lvio_interrupt_record(1);
  else if ((flags & LV_DELIVER_INTERRUPT_EVENTS) != 0 || (flags & LV_DELIVER_CHECK_ONLY) == 0)
    lvio_interrupt_record(2);
  else
    lv_force_event_check();
}

void c_handler(int signal) {
  int saved = errno;
  if (signal >= 0 && signal < SLOTS && enabled.load(std::memory_order_relaxed) != 0) {
    count(signal);
    deliver_recorded(slots[signal].flags.load(std::memory_order_relaxed));
  }
  errno = saved;
}

// The C disposition of a signal: 0 or -1.
int set_disposition(int signal, void (*action)(int)) {
  struct sigaction sa {};
  sa.sa_handler = action;
  sigemptyset(&sa.sa_mask);
  // No SA_RESTART: a blocking call interrupted by the signal returns, so that
  // the engine gets to its event check.
  sa.sa_flags = 0;
  return sigaction(signal, &sa, nullptr);
}

void clear_slot(int signal) {
  slots[signal].handler.store(nullptr, std::memory_order_relaxed);
  slots[signal].user.store(nullptr, std::memory_order_relaxed);
  slots[signal].flags.store(0, std::memory_order_relaxed);
}

// The work of LV_signal and LV_sigaction under the event lock: 0 or a code.
int64_t install(int signal, lv_signal_handler handler, void* user, int delivery) {
  if (lv_event_queue_state() < LV_EVENTS_RUNNING) return is_default_or_ignore(handler) ? 0 : LVIO_E_INVALID_STATE;
  counters[signal].store(0, std::memory_order_relaxed);
  int rc;
  if (is_default_or_ignore(handler)) {
    if (slots[signal].handler.load(std::memory_order_relaxed) == nullptr) return LVIO_E_NOT_SUPPORTED;
    slots[signal].handler.store(placeholder, std::memory_order_relaxed);
    slots[signal].user.store(nullptr, std::memory_order_relaxed);
    slots[signal].flags.store(LV_DELIVER_INTERRUPT, std::memory_order_relaxed);
    rc = set_disposition(signal, handler == LV_SIG_IGN ? SIG_IGN : SIG_DFL);
  } else {
    slots[signal].user.store(user, std::memory_order_relaxed);
    slots[signal].flags.store(delivery, std::memory_order_relaxed);
    slots[signal].handler.store(handler, std::memory_order_release);
    rc = set_disposition(signal, c_handler);
  }
  if (rc != 0) {
    clear_slot(signal);
    return LVIO_E_OS_ERROR;
  }
  return 0;
}

}  // namespace

lv_signal_handler LV_signal(int signal, lv_signal_handler handler, void* user) {
  if (signal < 0 || signal >= SLOTS || !lv_event_queue_set_up() || lv_event_lock() < 0) return LV_SIG_ERR;
  int64_t rc = install(signal, handler, user, LV_DELIVER_INTERRUPT_EVENTS);
  lv_event_unlock();
  return rc < 0 ? LV_SIG_ERR : placeholder;
}

int64_t LV_sigaction(int signal, lv_signal_handler handler, void* user, int flags) {
  if (signal < 0 || signal >= SLOTS) return LVIO_E_PARAMETER_ERROR;
  if (!lv_event_queue_set_up()) return LVIO_E_INVALID_STATE;
  int64_t rc = lv_event_lock();
  if (rc < 0) return rc;
  int delivery = (flags & 1) != 0 ? LV_DELIVER_INTERRUPT
                 : (flags & 2) != 0 ? LV_DELIVER_INTERRUPT_EVENTS
                                    : LV_DELIVER_CHECK_ONLY;
  rc = install(signal, handler, user, delivery);
  lv_event_unlock();
  return rc;
}

int lv_signal_count(int signal, int how) {
  if (signal < 0 || signal >= SLOTS || enabled.load(std::memory_order_relaxed) == 0) return 0;
  count(signal);
  int flags = (how & 2) != 0   ? LV_DELIVER_INTERRUPT_EVENTS
              : (how & 1) != 0 ? LV_DELIVER_INTERRUPT
              : (how & 4) != 0 ? LV_DELIVER_CHECK_ONLY
                               : slots[signal].flags.load(std::memory_order_relaxed);
  // Not in a signal handler: the interrupt is dispatched here and now.
  if ((flags & LV_DELIVER_INTERRUPT) != 0)
    (void)lvio_interrupt(1);  // an interrupt with no callbacks to reach is no failure of the count
  else if ((flags & LV_DELIVER_INTERRUPT_EVENTS) != 0 || (flags & LV_DELIVER_CHECK_ONLY) == 0)
    (void)lvio_interrupt(2);
  else
    lv_force_event_check();
  return 1;
}

int lv_raise_signal(int signal) { return lv_signal_count(signal, 2); }

int lv_run_signal_handlers() {
  int called = 0;
  for (int s = 0; s < SLOTS; s++) {
    if (counters[s].load(std::memory_order_relaxed) == 0) continue;
    counters[s].store(0, std::memory_order_relaxed);
    lv_signal_handler h = slots[s].handler.load(std::memory_order_acquire);
    if (h == nullptr) continue;
    h(s, slots[s].user.load(std::memory_order_relaxed));
    if (called < INT32_MAX) called++;
  }
  return called;
}

void lv_signals_reset(bool enable) {
  for (int s = 0; s < SLOTS; s++) {
    if (slots[s].handler.load(std::memory_order_relaxed) != nullptr) (void)set_disposition(s, SIG_DFL);
    clear_slot(s);
    counters[s].store(0, std::memory_order_relaxed);
  }
  enabled.store(enable ? 1 : 0, std::memory_order_relaxed);
}
