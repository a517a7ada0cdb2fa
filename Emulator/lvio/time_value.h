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
lvio_code lvio_time_from_seconds(double seconds, lvio_time* out);

// Milliseconds (non-negative) as a time value; negative: LVIO_E_PARAMETER_ERROR.
lvio_code lvio_time_from_ms(int64_t ms, lvio_time* out);

// Milliseconds of a time value, the sub-millisecond part dropped; saturates
// at the limits of int64_t.
int64_t lvio_time_to_ms(lvio_time time);

// a + b, or LVIO_E_OVERFLOW when the sum does not fit in int64_t.
lvio_code lvio_checked_add(int64_t a, int64_t b, int64_t* sum);

// a + b and a * b, clamped to the limits of int64_t.
int64_t lvio_saturating_add(int64_t a, int64_t b);
int64_t lvio_saturating_multiply(int64_t a, int64_t b);
