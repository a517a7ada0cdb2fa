// Time values of the I/O layer and the saturating arithmetic on them.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

// A point in time or a duration: whole seconds and the nanoseconds within
// that second (0 to 999999999 for normalised values).
struct lvio_time {
  int64_t seconds;
  int64_t nanoseconds;
};

// Seconds (non-negative, below 2^63) as a time value; the fraction is kept
// to whole nanoseconds, rounded down. Negative or out of range:
// LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_time_from_seconds(double seconds, lvio_time* out);

// Milliseconds (non-negative) as a time value; negative: LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_time_from_ms(int64_t ms, lvio_time* out);

// Milliseconds of a time value, the sub-millisecond part dropped; saturates
// at the limits of int64_t.
int64_t lvio_time_to_ms(lvio_time time);

// The sum of two times: seconds and nanoseconds added with saturation, then
// whole seconds carried out of the nanoseconds (saturating). Returns 0.
lvio_code lvio_time_add(lvio_time a, lvio_time b, lvio_time* out);

// a - b, never negative: {0, 0} when a is earlier than b. Returns 0.
lvio_code lvio_time_difference(lvio_time a, lvio_time b, lvio_time* out);

bool lvio_time_is_zero(lvio_time t);

// True when a is not later than b.
bool lvio_time_before(lvio_time a, lvio_time b);

// The wait time of a time-out in whole milliseconds, partial milliseconds
// rounded up; a null time-out is LVIO_WAIT_INFINITE (as is a time of exactly
// that many milliseconds). A time that does not fit in 32 bits stores 0
// (negative) or LVIO_WAIT_INFINITE and is LVIO_E_PARAMETER_ERROR.
constexpr uint32_t LVIO_WAIT_INFINITE = 0xFFFFFFFF;
[[nodiscard]] lvio_code lvio_time_to_wait_ms(const lvio_time* time, uint32_t* ms);

// a + b, or LVIO_E_OVERFLOW when the sum does not fit in int64_t.
[[nodiscard]] lvio_code lvio_checked_add(int64_t a, int64_t b, int64_t* sum);

// a + b and a * b, clamped to the limits of int64_t.
int64_t lvio_saturating_add(int64_t a, int64_t b);
int64_t lvio_saturating_multiply(int64_t a, int64_t b);
