// Wall-clock time of the I/O layer.
#pragma once

#include "lvio/time_value.h"

// Seconds between the wall clock's epoch, 1601-01-01, and 1970-01-01.
constexpr int64_t LVIO_EPOCH_OFFSET_SECONDS = 11644473600;

// The current wall-clock time counted from 1601-01-01, at a resolution of
// 100 ns. Returns 0, or the clock's error code when it cannot be read.
[[nodiscard]] lvio_code lvio_time_now(lvio_time* now);

// The point on the monotonic clock that lies the duration ahead of now, for
// timed waits that wall-clock steps must not stretch or cut short. A
// duration beyond what the clock can express gives false (wait without a
// time-out).
bool lvio_monotonic_deadline(lvio_time duration, struct timespec* deadline);
