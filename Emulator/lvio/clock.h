// Wall-clock time of the I/O layer.
#pragma once

#include "lvio/result_codes.h"

// A point in time or a duration: whole seconds and the nanoseconds within
// that second (0 to 999999999 for normalised values).
struct lvio_time {
  int64_t seconds;
  int64_t nanoseconds;
};

// Seconds between the wall clock's epoch, 1601-01-01, and 1970-01-01.
constexpr int64_t LVIO_EPOCH_OFFSET_SECONDS = 11644473600;

// The current wall-clock time counted from 1601-01-01, at a resolution of
// 100 ns. Returns 0, or LVIO_E_OS_ERROR when the clock cannot be read.
lvio_code lvio_time_now(lvio_time* now);
