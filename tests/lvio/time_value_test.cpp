// Time values, their conversions and saturating arithmetic, and the wall clock.
#include "lvio/time_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <limits>

#include "lvio/clock.h"

namespace {

constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
constexpr int64_t MIN = std::numeric_limits<int64_t>::min();

TEST(TimeValue, FromSeconds) {
  struct {
    double seconds;
    lvio_code rc;
    int64_t s, ns;
  } cases[] = {
      {1.5, 0, 1, 500000000},
      {0.0, 0, 0, 0},
      {3.25, 0, 3, 250000000},
      {4611686018427387904.0, 0, int64_t{1} << 62, 0},
      {-0.5, LVIO_E_PARAMETER_ERROR, 0, 0},
      {9223372036854775808.0, LVIO_E_PARAMETER_ERROR, 0, 0},
      {std::nan(""), LVIO_E_PARAMETER_ERROR, 0, 0},
      {HUGE_VAL, LVIO_E_PARAMETER_ERROR, 0, 0},
  };
  for (const auto& c : cases) {
    lvio_time t = {-7, -7};
    EXPECT_EQ(lvio_time_from_seconds(c.seconds, &t), c.rc) << c.seconds;
    if (c.rc == 0) {
      EXPECT_EQ(t.seconds, c.s) << c.seconds;
      EXPECT_EQ(t.nanoseconds, c.ns) << c.seconds;
    } else {
      EXPECT_EQ(t.seconds, -7) << "untouched on failure";
    }
  }
}

TEST(TimeValue, MillisecondsBothWays) {
  lvio_time t;
  ASSERT_EQ(lvio_time_from_ms(12345, &t), 0);
  EXPECT_EQ(t.seconds, 12);
  EXPECT_EQ(t.nanoseconds, 345000000);
  EXPECT_EQ(lvio_time_from_ms(-1, &t), LVIO_E_PARAMETER_ERROR);
  struct {
    lvio_time t;
    int64_t ms;
  } cases[] = {
      {{12, 345999999}, 12345},      {{int64_t{1} << 62, 0}, MAX},
      {{MAX, 999999999}, MAX},       {{-9223372036854775, 0}, -9223372036854775000},
      {{-9223372036854776, 0}, MIN}, {{MIN, 0}, MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(lvio_time_to_ms(c.t), c.ms) << c.t.seconds;
}

TEST(TimeValue, CheckedAndSaturatingArithmetic) {
  int64_t sum;
  EXPECT_EQ(lvio_checked_add(MAX - 1, 1, &sum), 0);
  EXPECT_EQ(sum, MAX);
  EXPECT_EQ(lvio_checked_add(MAX, 1, &sum), LVIO_E_OVERFLOW);
  EXPECT_EQ(lvio_checked_add(MIN, -1, &sum), LVIO_E_OVERFLOW);
  EXPECT_EQ(lvio_saturating_add(MAX, 1), MAX);
  EXPECT_EQ(lvio_saturating_add(MIN, -1), MIN);
  EXPECT_EQ(lvio_saturating_add(-5, 3), -2);
  EXPECT_EQ(lvio_saturating_multiply(MAX, 2), MAX);
  EXPECT_EQ(lvio_saturating_multiply(MAX, -2), MIN);
  EXPECT_EQ(lvio_saturating_multiply(MIN, -1), MAX);
  EXPECT_EQ(lvio_saturating_multiply(-4, 5), -20);
}

TEST(WallClock, CountsFrom1601In100NanosecondSteps) {
  timespec before;
  clock_gettime(CLOCK_REALTIME, &before);
  lvio_time now;
  ASSERT_EQ(lvio_time_now(&now), 0);
  EXPECT_GE(now.seconds, before.tv_sec + LVIO_EPOCH_OFFSET_SECONDS);
  EXPECT_EQ(now.nanoseconds % 100, 0);
  EXPECT_LT(now.nanoseconds, 1000000000);
}

}  // namespace
