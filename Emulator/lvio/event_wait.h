// Waiting on several events at once, and the global interrupt event that
// breaks such waits on the layer's main thread.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>

#include "lvio/event.h"
#include "lvio/interrupt.h"
#include "lvio/result_codes.h"
#include "lvio/time_value.h"

// At most this many events take part in one wait, the interrupt or stop
// event included: LVIO_E_TOO_MANY_OPEN_FILES beyond.
constexpr uint64_t LVIO_WAIT_MAX_EVENTS = 64;

// Waits until one of the events (null entries are skipped) is signalled: 0.
// A null time waits without a time-out; otherwise LVIO_E_TIMEOUT when the
// time has passed.
//
// On the layer's main thread a wait that may block also watches the
// interrupt event, after the caller's events: when it ends the wait, it is
// reset, the interrupt lock is passed once (so that the caller never runs
// ahead of a dispatch still running elsewhere), and the result is
// LVIO_E_INTERRUPTED. On a cancellable thread of the layer a wait that may
// block also watches the thread's stop event: LVIO_E_CANCELED once the
// thread is cancelled.
//
// With no caller event a zero time gives LVIO_E_TIMEOUT at once, and a wait
// that watches the interrupt or stop event waits on that alone (a sleep that
// an interrupt or cancel ends); otherwise LVIO_E_INTERNAL_ERROR.
[[nodiscard]] lvio_code lvio_event_wait(lvio_event* const* events, uint64_t count, const lvio_time* time);

// The same, reporting in *index the position in events of the event that
// ended the wait (the first signalled one when several are).
[[nodiscard]] lvio_code lvio_event_wait_index(lvio_event* const* events, uint64_t count, const lvio_time* time,
                                              uint64_t* index);

// Polls the descriptors until one is ready: its index (the first ready one
// when several are), LVIO_E_TIMEOUT once ms milliseconds have passed
// (LVIO_WAIT_INFINITE: never), or an error (LVIO_E_OS_ERROR for a descriptor
// that is not open). The time runs on the monotonic clock; a signal handler
// that runs meanwhile does not end the wait.
[[nodiscard]] lvio_code lvio_poll_until(pollfd* fds, uint64_t count, uint32_t ms);

// The global interrupt event; null while the events module is stopped.
lvio_event* lvio_interrupt_event();

// A module's interrupt event: with flags 0, makes *slot a new event
// (lvio_event_create's flags event_flags) and registers hook, which sets or
// resets it on interrupts; with flag 1, removes hook and releases the event.
[[nodiscard]] lvio_code lvio_interrupt_event_module(std::atomic<lvio_event*>* slot, uint32_t event_flags,
                                                    lvio_interrupt_fn hook, uint32_t flags);

// The events module: its start makes the interrupt event and registers the
// interrupt callback that sets it (an interrupt announced) or resets it (an
// interrupt cleared); its stop cancels the event watch, removes the callback
// and releases the event.
[[nodiscard]] lvio_code lvio_events_module(uint32_t flags);
