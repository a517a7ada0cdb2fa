// Wall-clock time of the I/O layer.
#include "lvio/clock.h"

#include <cerrno>
#include <ctime>
#include <limits>

#include "lvio/os_error.h"

lvio_code lvio_time_now(lvio_time* now) {
  timespec ts;
  if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  now->seconds = static_cast<int64_t>(ts.tv_sec) + LVIO_EPOCH_OFFSET_SECONDS;
  now->nanoseconds = ts.tv_nsec - ts.tv_nsec % 100;
  return 0;
}

bool lvio_monotonic_deadline(lvio_time duration, timespec* deadline) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  lvio_time sum;
  lvio_time_add({now.tv_sec, now.tv_nsec}, duration, &sum);
  if (sum.seconds == std::numeric_limits<int64_t>::max()) return false;
  deadline->tv_sec = sum.seconds;
  deadline->tv_nsec = sum.nanoseconds;
  return true;
}
