// Time values of the I/O layer and the saturating arithmetic on them.
#include "lvio/time_value.h"

#include <cmath>
#include <limits>

namespace {

constexpr int64_t I64_MAX = std::numeric_limits<int64_t>::max();
constexpr int64_t I64_MIN = std::numeric_limits<int64_t>::min();
constexpr double TWO_TO_63 = 9223372036854775808.0;

}  // namespace

lvio_code lvio_time_from_seconds(double seconds, lvio_time* out) {
  // The comparison is also false for NaN.
  if (!(seconds >= 0)) return LVIO_E_PARAMETER_ERROR;
  double whole = std::floor(seconds);
  if (whole >= TWO_TO_63) return LVIO_E_PARAMETER_ERROR;
  auto nanoseconds = static_cast<int64_t>(std::floor((seconds - whole) * 1e9));
  out->seconds = static_cast<int64_t>(whole);
  out->nanoseconds = nanoseconds > 999999999 ? 999999999 : nanoseconds;
  return 0;
}

lvio_code lvio_time_from_ms(int64_t ms, lvio_time* out) {
  if (ms < 0) return LVIO_E_PARAMETER_ERROR;
  out->seconds = ms / 1000;
  out->nanoseconds = (ms % 1000) * 1000000;
  return 0;
}

int64_t lvio_time_to_ms(lvio_time time) {
  return lvio_saturating_add(lvio_saturating_multiply(time.seconds, 1000), time.nanoseconds / 1000000);
}

lvio_code lvio_time_add(lvio_time a, lvio_time b, lvio_time* out) {
  int64_t seconds = lvio_saturating_add(a.seconds, b.seconds);
  int64_t nanoseconds = lvio_saturating_add(a.nanoseconds, b.nanoseconds);
  if (nanoseconds > 999999999) {
    seconds = lvio_saturating_add(seconds, nanoseconds / 1000000000);
    nanoseconds %= 1000000000;
  }
  *out = {seconds, nanoseconds};
  return 0;
}

lvio_code lvio_time_difference(lvio_time a, lvio_time b, lvio_time* out) {
  if (a.seconds < b.seconds) {
    *out = {0, 0};
    return 0;
  }
  // The seconds may differ by more than int64_t holds only when b is far
  // below zero; the difference then saturates.
  int64_t d;
  if (__builtin_sub_overflow(a.seconds, b.seconds, &d)) d = I64_MAX;
  int64_t a_ns = a.nanoseconds;
  if (a_ns < b.nanoseconds && d > 0) {
    d--;
    a_ns += 1000000000;
  }
  *out = a_ns < b.nanoseconds ? lvio_time{d, 0} : lvio_time{d, a_ns - b.nanoseconds};
  return 0;
}

bool lvio_time_is_zero(lvio_time t) { return t.seconds == 0 && t.nanoseconds == 0; }

bool lvio_time_before(lvio_time a, lvio_time b) {
  lvio_time d;
  lvio_time_difference(a, b, &d);
  return lvio_time_is_zero(d);
}

lvio_code lvio_time_to_wait_ms(const lvio_time* time, uint32_t* ms) {
  if (time == nullptr) {
    *ms = LVIO_WAIT_INFINITE;
    return 0;
  }
  int64_t whole = lvio_saturating_multiply(time->seconds, 1000);
  int64_t total = lvio_saturating_add(whole, lvio_saturating_add(time->nanoseconds, 999999) / 1000000);
  if (total < 0) {
    *ms = 0;
    return LVIO_E_PARAMETER_ERROR;
  }
  if (total > static_cast<int64_t>(LVIO_WAIT_INFINITE)) {
    *ms = LVIO_WAIT_INFINITE;
    return LVIO_E_PARAMETER_ERROR;
  }
  *ms = static_cast<uint32_t>(total);
  return 0;
}

lvio_code lvio_checked_add(int64_t a, int64_t b, int64_t* sum) {
  return __builtin_add_overflow(a, b, sum) ? LVIO_E_OVERFLOW : 0;
}

int64_t lvio_saturating_add(int64_t a, int64_t b) {
  int64_t sum;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? I64_MAX : I64_MIN;
}

int64_t lvio_saturating_multiply(int64_t a, int64_t b) {
  int64_t product;
  if (!__builtin_mul_overflow(a, b, &product)) return product;
  return (a < 0) == (b < 0) ? I64_MAX : I64_MIN;
}
