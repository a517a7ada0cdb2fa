// The signal dispatch thread. Signal handlers take no lock and run no
// callbacks: they record what happened (lvio_interrupt_record, or counters
// of their own followed by lvio_signal_dispatch_wake) and this thread, woken
// through the interrupt record descriptor, does the locked work outside any
// handler: it dispatches the recorded interrupts, then calls the hook.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

// Called on the dispatch thread after every wake-up, once the recorded
// interrupts have been dispatched.
typedef void (*lvio_signal_dispatch_fn)(void* user);

// Installs the hook (null: none). Returns 0.
lvio_code lvio_signal_dispatch_set_hook(lvio_signal_dispatch_fn function, void* user);

// Async-signal-safe: wakes the dispatch thread without recording an
// interrupt, so that it calls the hook.
void lvio_signal_dispatch_wake();

// Starts the thread (the interrupt record descriptor is made when absent);
// LVIO_E_INVALID_STATE when it runs already.
[[nodiscard]] lvio_code lvio_signal_dispatch_start();
// Ends the thread and waits for it; nothing to do when it is not running.
[[nodiscard]] lvio_code lvio_signal_dispatch_stop();
