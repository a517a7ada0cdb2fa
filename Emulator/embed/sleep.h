// The waits under sleep/1: a deadline on the monotonic clock and a wait
// towards it that an interrupt (Ctrl-C, a signal) ends early, so that the
// engine runs the pending events before the wait goes on.
#pragma once

#include "core/worker.h"

// '$sleep_deadline'(+Seconds, -Deadline): Deadline is the monotonic time,
// in nanoseconds, Seconds from now; a negative (or NaN) Seconds is now,
// a very large one about 30 years ahead. Fails unless Seconds is a number.
int prolog_sleep_deadline(lv_worker* w);

// '$sleep_wait'(+Deadline): waits until Deadline and succeeds; fails when
// an interrupt ended the wait first, or (off the I/O layer's main thread,
// where no interrupt event is watched) after at most 100 ms, so that the
// caller passes an event check and waits again.
int prolog_sleep_wait(lv_worker* w);
