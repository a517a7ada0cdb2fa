// Timers of the I/O layer. Each timer has a thread of its own that waits
// for the deadline and then calls the timer's callback on that thread.
//
// Timers are made, armed and stopped from one thread (the engine's). A
// callback must not arm, disarm or stop its own timer: those calls wait
// until no callback runs, so from the callback they give
// LVIO_E_INVALID_STATE instead.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"
#include "lvio/time_value.h"

struct lvio_timer;

// States (one bit each) and messages.
constexpr uint32_t LVIO_TIMER_INITIAL = 1;
constexpr uint32_t LVIO_TIMER_STARTED = 2;
constexpr uint32_t LVIO_TIMER_DISARMED = 4;
constexpr uint32_t LVIO_TIMER_ARMED = 8;
constexpr uint32_t LVIO_TIMER_ABANDONED = 16;

constexpr uint32_t LVIO_TIMER_MSG_NONE = 0;
constexpr uint32_t LVIO_TIMER_MSG_STOP = 1;
constexpr uint32_t LVIO_TIMER_MSG_ARM = 2;           // an absolute deadline
constexpr uint32_t LVIO_TIMER_MSG_ARM_RELATIVE = 3;  // a deadline relative to the clock's now
constexpr uint32_t LVIO_TIMER_MSG_DISARM = 4;

// Flags of lvio_timer_arm and lvio_timer_query.
constexpr uint32_t LVIO_TIMER_DISARM = 1;          // arm: disarm, the setting is ignored
constexpr uint32_t LVIO_TIMER_ARM_ABSOLUTE = 2;    // arm: times are clock times
constexpr uint32_t LVIO_TIMER_ARM_RELATIVE = 4;    // arm: times are relative to the clock's now
constexpr uint32_t LVIO_TIMER_QUERY_ABSOLUTE = 1;
constexpr uint32_t LVIO_TIMER_QUERY_RELATIVE = 2;

struct lvio_timer_setting {
  lvio_time deadline;
  lvio_time interval;  // {0, 0}: the timer fires once
};

// Called on the timer's thread when the deadline is reached.
typedef void (*lvio_timer_fn)(lvio_timer* timer, void* user);
// The timer's notion of now (the wall clock, or a thread's processor time).
typedef lvio_code (*lvio_timer_clock_fn)(lvio_time* now, lvio_timer* timer, void* user);

// The wall clock as a timer clock.
[[nodiscard]] lvio_code lvio_timer_wall_clock(lvio_time* now, lvio_timer* timer, void* user);

// A new timer, disarmed, with its thread running.
[[nodiscard]] lvio_code lvio_timer_create(lvio_timer** out, lvio_timer_fn callback, lvio_timer_clock_fn clock,
                                          void* user);

// Arms the timer with the setting (exactly one of flags 2 and 4 saying how
// its deadline is meant), or disarms it (flag 1). A non-zero interval is
// LVIO_E_NOT_SUPPORTED. When previous is given, it receives the deadline
// that was armed (as the flags say; zeros when the timer was not armed) and
// the interval. Waits until no callback runs. Returns 30000 (no error),
// plus 2 when the timer was armed, plus 1 when its callback was running.
[[nodiscard]] lvio_code lvio_timer_arm(lvio_timer* timer, uint32_t flags, const lvio_timer_setting* setting,
                                       lvio_timer_setting* previous);

// The armed deadline, as an absolute clock time (flag 1) or the time left
// (flag 2), and the interval: 0 when armed; otherwise zeros and 30000.
[[nodiscard]] lvio_code lvio_timer_query(lvio_timer* timer, uint32_t flags, lvio_timer_setting* out);

// Ends the timer's thread (after a running callback has returned) and frees
// the timer.
[[nodiscard]] lvio_code lvio_timer_stop(lvio_timer* timer);

// "INITIAL", ..., "ABANDONED"; "UNKNOWN" for anything else.
const char* lvio_timer_state_name(uint32_t state);
// The names of the bits of a set, highest bit first, joined with "|" ("" for
// none); "INVALID STATE SET" beyond 31.
const char* lvio_timer_state_set_name(uint32_t set);
// "MSG_NONE", ..., "MSG_DISARM"; "UNKNOWN" for anything else.
const char* lvio_timer_message_name(uint32_t message);

// The timers module: its stop stops every timer still there.
[[nodiscard]] lvio_code lvio_timers_module(uint32_t flags);
