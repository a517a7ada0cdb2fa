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

TEST(TimeValue, AddCarriesAndSaturates) {
  struct {
    lvio_time a, b, sum;
  } cases[] = {
      {{1, 900000000}, {0, 200000000}, {2, 100000000}},
      {{1, 999999999}, {0, 1}, {2, 0}},
      {{MAX, 0}, {5, 0}, {MAX, 0}},
      {{MAX - 1, 999999999}, {0, 999999999}, {MAX, 999999998}},
      {{0, 0}, {0, 3999999999}, {3, 999999999}},
  };
  for (const auto& c : cases) {
    lvio_time sum;
    EXPECT_EQ(lvio_time_add(c.a, c.b, &sum), 0);
    EXPECT_EQ(sum.seconds, c.sum.seconds) << c.a.seconds << " " << c.b.nanoseconds;
    EXPECT_EQ(sum.nanoseconds, c.sum.nanoseconds) << c.a.seconds << " " << c.b.nanoseconds;
  }
}

TEST(TimeValue, DifferenceIsNeverNegative) {
  struct {
    lvio_time a, b, d;
    bool before;
  } cases[] = {
      {{5, 100}, {5, 200}, {0, 0}, true},
      {{6, 100}, {5, 200}, {0, 999999900}, false},
      {{5, 200}, {5, 200}, {0, 0}, true},
      {{4, 999999999}, {5, 0}, {0, 0}, true},
      {{7, 500}, {5, 200}, {2, 300}, false},
      {{MAX, 0}, {-5, 0}, {MAX, 0}, false},
  };
  for (const auto& c : cases) {
    lvio_time d;
    EXPECT_EQ(lvio_time_difference(c.a, c.b, &d), 0);
    EXPECT_EQ(d.seconds, c.d.seconds) << c.a.seconds << "." << c.a.nanoseconds;
    EXPECT_EQ(d.nanoseconds, c.d.nanoseconds) << c.a.seconds << "." << c.a.nanoseconds;
    EXPECT_EQ(lvio_time_before(c.a, c.b), c.before) << c.a.seconds << "." << c.a.nanoseconds;
  }
  EXPECT_TRUE(lvio_time_is_zero({0, 0}));
  EXPECT_FALSE(lvio_time_is_zero({0, 1}));
}

TEST(TimeValue, WaitMillisecondsRoundUp) {
  struct {
    lvio_time t;
    lvio_code rc;
    uint32_t ms;
  } cases[] = {
      {{0, 1}, 0, 1},
      {{0, 0}, 0, 0},
      {{2, 1000000}, 0, 2001},
      {{4294967, 295000000}, 0, LVIO_WAIT_INFINITE},
      {{4294967, 296000000}, LVIO_E_PARAMETER_ERROR, LVIO_WAIT_INFINITE},
      {{MAX, 0}, LVIO_E_PARAMETER_ERROR, LVIO_WAIT_INFINITE},
      {{-1, 0}, LVIO_E_PARAMETER_ERROR, 0},
  };
  for (const auto& c : cases) {
    uint32_t ms = 7;
    EXPECT_EQ(lvio_time_to_wait_ms(&c.t, &ms), c.rc) << c.t.seconds << "." << c.t.nanoseconds;
    EXPECT_EQ(ms, c.ms) << c.t.seconds << "." << c.t.nanoseconds;
  }
  uint32_t ms = 7;
  EXPECT_EQ(lvio_time_to_wait_ms(nullptr, &ms), 0);
  EXPECT_EQ(ms, LVIO_WAIT_INFINITE);
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
