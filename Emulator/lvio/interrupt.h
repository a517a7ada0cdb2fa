// Interrupts: the process-wide list of interrupt callbacks and their lock,
// which also guards the deferred-close list.
//
// An interrupt is delivered twice: at once, on the interrupting thread, to
// every callback with mode 0 or 2 (an interrupt is announced; 2 also asks the
// engine's callback to mark it in the asynchronous event state); and once
// more with mode 1 on the engine's thread, when it next drains the
// deferred-close list, through a pending-interrupt node that the first
// delivery queues there.
//
// Nothing here may be called from a signal handler except
// lvio_interrupt_record: a handler only records the interrupt, and a dispatch
// thread that waits on lvio_interrupt_record_fd runs
// lvio_interrupt_run_recorded, which does the locked work.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

typedef void (*lvio_interrupt_fn)(void* user, uint32_t mode);

// Flags 0 appends {function, user}: LVIO_E_OUT_OF_MEMORY. Flag 1 removes the
// first entry with that function: 0, or LVIO_S_DEALLOCATED (2) when there was
// none. Called from inside a callback: LVIO_E_INVALID_STATE (the list is
// being walked).
[[nodiscard]] lvio_code lvio_interrupt_hook_add(lvio_interrupt_fn function, void* user, uint32_t flags);

// Dispatches with mode 0 when flag 1 is given without flag 2, else mode 2.
[[nodiscard]] lvio_code lvio_interrupt(uint32_t flags);

// Unless mode bit 0 is set, queues the pending-interrupt node on the
// deferred-close list; then calls every callback, in order, with the mode's
// bits 0-1, holding the interrupt lock.
void lvio_interrupt_dispatch(uint32_t mode);
// Dispatch with mode 1.
void lvio_interrupt_callbacks_only();

// Enter and leave the interrupt lock (re-entrant); both return the nesting
// count after the call.
int64_t lvio_interrupt_lock();
int64_t lvio_interrupt_unlock();

// Enters and leaves the lock: returns once a dispatch running on another
// thread has finished.
void lvio_interrupt_sync();

// The number of dispatches since the layer core started.
uint64_t lvio_interrupt_dispatch_count();

// Async-signal-safe: records an interrupt with lvio_interrupt's flags and
// makes lvio_interrupt_record_fd readable. Takes no lock and allocates nothing.
void lvio_interrupt_record(uint32_t flags);

// A descriptor that polls readable while recorded interrupts wait (an
// eventfd made when the layer core or the signal dispatch thread first
// starts, kept for the life of the process, so that a late signal never
// writes to a reused descriptor); -1 before that.
int lvio_interrupt_record_fd();

// Makes the record descriptor when there is none yet.
[[nodiscard]] lvio_code lvio_interrupt_record_open();

// Dispatches the recorded interrupts: once for each mode recorded since the
// last call (repeated interrupts of a mode coalesce). Returns the number of
// dispatches.
int64_t lvio_interrupt_run_recorded();

// The layer core's start (clears the dispatch count, makes the
// pending-interrupt node and the record descriptor) and stop (drains the
// deferred-close list in shutdown mode and frees the pending node).
[[nodiscard]] lvio_code lvio_layer_core_module(uint32_t flags);
