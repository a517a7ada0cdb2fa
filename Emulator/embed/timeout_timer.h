// The time-out timer: one process-wide one-shot timer on a clock chosen at
// start-up, which, when it expires, makes the engine raise the exception
// time_out at its next event check. The Prolog library builds time_out/3
// on its built-ins.
//
// The clock (LV_TIMEOUT_RESOURCE): runtime, the processor time of the
// engine thread (the thread that started the runtime), user plus system
// time; or walltime, the time elapsed since start-up on the monotonic
// clock, so that steps of the wall clock neither stretch nor cut a
// time-out short. Times are in milliseconds on that clock.
#pragma once

#include <cstdint>

#include "core/builtins.h"
#include "lvio/time_value.h"

struct lv_worker;

// Start-up: no timer yet, the engine thread's clock kept, the resource read
// from LV_TIMEOUT_RESOURCE ("walltime" in any mix of case selects walltime,
// anything else runtime). 0, or the clock's failure code.
int64_t lv_timeout_init();
// Shutdown: the timer, if any, is stopped and freed. Returns 0.
int64_t lv_timeout_deinit(lv_worker* w);

// The clock now: 0, or a failure code with {-1, 0}.
int64_t lv_timeout_clock(lvio_time* now);

// $timer_resource(-Resource): runtime or walltime.
int prolog_timer_resource(lv_worker* w);
// $timer_now(-Now): the clock in milliseconds; fails when it cannot be read.
int prolog_timer_now(lv_worker* w);
// $timer_resolution_ms(-Resolution): 20.
int prolog_timer_resolution_ms(lv_worker* w);
// $timer_start(+Deadline, +Interval, -Error): arms the timer at the
// absolute Deadline (ms on the clock), Interval ms from now (raised to at
// least 10), or the earlier of both; off for either. Both off disarms.
// Error is 0, 1 when the expiry is already reached (the timer is left
// disarmed), or an lvio code.
int prolog_timer_start(lv_worker* w);
// $timer_stop(-Result): disarms the timer; Result is the deadline it had
// (ms, rounded up), past when it had just expired, or off.
int prolog_timer_stop(lv_worker* w);

lv_builtin_table lv_timer_builtins();
