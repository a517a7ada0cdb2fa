// Asynchronous events: work that other threads, signals, Ctrl-C and
// Ctrl-Break want done on the engine thread. A queueing path puts a record
// on the event queue and forces an event check; at the check the engine
// calls $user_event, which runs the queued events in order.
//
// The event lock (the queue's re-entrant lock) guards the queue, the pool of
// simple records, the reserved Ctrl-C record, the press counters, the state
// word and the pending-event flag. No signal handler takes it: handlers only
// count and record (embed/signals.h), and the engine thread or the I/O
// layer's dispatch thread does the rest.
#pragma once

#include <cstdint>

#include "core/worker.h"
#include "lorvika.h"

// The event record (lv_async_event, lorvika.h): {next, function, kind (bit
// 0: simple), user data}. A simple event's function (lv_simple_event_fn)
// answers 0 for failure, -1 for an exception, anything else for success; a
// full event's function (lv_full_event_fn) gets the reason 0 (run), 0x80
// (the queue closes) or 2 / 4 (discarded after a failure / an exception)
// and answers 30001 to report failure, 30002 an exception, anything else to
// go on.
static_assert(sizeof(lv_async_event) == 32);

constexpr int LV_EVENT_FAILED = 30001;
constexpr int LV_EVENT_RAISED = 30002;
constexpr int LV_EVENT_REASON_RUN = 0;
constexpr int LV_EVENT_REASON_AFTER_FAILURE = 2;
constexpr int LV_EVENT_REASON_AFTER_EXCEPTION = 4;
constexpr int LV_EVENT_REASON_CLOSING = 0x80;
constexpr int LV_EVENT_POOL_SIZE = 256;

// Queue states.
enum : int { LV_EVENTS_NONE = 0, LV_EVENTS_CLOSING = 1, LV_EVENTS_STARTING = 2, LV_EVENTS_RUNNING = 3 };

extern "C" {
// Slot 19: 1 when a simple event was queued, else 0.
int LV_event(lv_simple_event_fn function, void* user);
// Slot 105: queues a full event (null only forces an event check): 0, or
// LVIO_E_INVALID_STATE when events are not accepted.
int64_t LV_schedule_async_event(lv_async_event* event);
// Slot 191: a full event from LV_malloc: 0, LVIO_E_PARAMETER_ERROR for a
// null out or function, LVIO_E_OUT_OF_MEMORY.
int64_t LV_alloc_async_event(lv_async_event** out, lv_full_event_fn function, void* user);
// Slot 127.
void LV_free_async_event(lv_async_event* event);
// Slots 163 and 164: Ctrl-C and Ctrl-Break, from any thread (not from a
// signal handler): 0 or a lock failure's code.
int64_t LV_ctrlc_action();
int64_t LV_ctrlbreak_action();
}

// Queueing with flags: bit 0 the caller holds the event lock, bit 1 do not
// put the event, bit 2 do not force an event check.
int64_t lv_schedule_event(lv_async_event* event, uint32_t flags);

// Start-up: makes the queue and the reserved Ctrl-C record once, resets the
// pool and the signal slots, registers the interrupt callback and accepts
// events (state 3). 0 or a negative code.
int64_t lv_event_queue_init(lv_worker* w);
// Shutdown: no more events; the queue, the reserved record and the signal
// slots go (C default dispositions back).
void lv_event_queue_stop();

// Runs the signal handlers, then the queued events (closing bit 0: hands
// each to its function with reason 0x80 instead). 1 when every event ran,
// 0 when one failed or raised (the events behind it are discarded).
int lv_run_events(lv_worker* w, int closing);

// Forces an event check on the engine: a full fence, then the event-check
// word set to 0. Async-signal-safe.
void lv_force_event_check();

// The event lock: 0 or the lock's failure code; and its release. false
// from lv_event_queue_set_up before the queue exists.
int64_t lv_event_lock();
void lv_event_unlock();
bool lv_event_queue_set_up();

// The queue state and the number of queued events (tests).
int lv_event_queue_state();
uint64_t lv_event_queue_length();

// Sets the Ctrl-C press counter to 0 ($reset_ctrlc_pending).
void lv_event_counts_reset();
// Takes the pending-event flag (set by an interrupt with mode 2): 1 when it
// was set, and clears it.
int lv_event_pending_take();

// $user_event/0: runs the queue; fails when an event failed or raised.
int prolog_user_event(lv_worker* w);
// $reset_ctrlc_pending/0: lets the next Ctrl-C through.
int prolog_reset_ctrlc_pending(lv_worker* w);
