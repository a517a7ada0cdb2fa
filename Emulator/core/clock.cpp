// Wall-clock milliseconds for the engine's statistics.
#include "core/clock.h"

#include "lvio/clock.h"

uint64_t lv_clock_ms() {
  lvio_time now;
  if (lvio_time_now(&now) < 0) return 0;
  return static_cast<uint64_t>(now.seconds) * 1000 + static_cast<uint64_t>(now.nanoseconds + 999999) / 1000000;
}
