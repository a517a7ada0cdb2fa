// Timers: firing, arming codes, deadlines on a clock of the test's own, and
// the names of states and messages.
#include "lvio/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "eventually.h"
#include "lvio/event.h"
#include "lvio/event_wait.h"
#include "lvio/trace.h"

namespace {

const lvio_timer_setting FAR = {{1000, 0}, {0, 0}};

struct fired {
  std::atomic<int> count{0};
  std::atomic<lvio_code> own_arm{0};
  std::atomic<lvio_code> own_stop{0};
};

void count_firing(lvio_timer* timer, void* user) {
  auto* f = static_cast<fired*>(user);
  // A callback cannot change its own timer: that would wait for itself.
  f->own_arm.store(lvio_timer_arm(timer, LVIO_TIMER_ARM_RELATIVE, &FAR, nullptr));
  f->own_stop.store(lvio_timer_stop(timer));
  f->count.fetch_add(1);
}

class Timers : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_diagnostics_module(0), 0); }
  void TearDown() override {
    EXPECT_EQ(lvio_timers_module(1), 0);  // stops what a test left
    lvio_diagnostics_module(1);
  }
};

TEST_F(Timers, FireTheirCallback) {
  fired f;
  lvio_timer* timer = nullptr;
  ASSERT_EQ(lvio_timer_create(&timer, count_firing, lvio_timer_wall_clock, &f), 0);
  const lvio_timer_setting soon = {{0, 30000000}, {0, 0}};
  EXPECT_EQ(lvio_timer_arm(timer, LVIO_TIMER_ARM_RELATIVE, &soon, nullptr), LVIO_S_PRIVATE_ERROR_0);
  ASSERT_TRUE(eventually([&] { return f.count.load() == 1; }));
  EXPECT_EQ(f.own_arm.load(), LVIO_E_INVALID_STATE);
  EXPECT_EQ(f.own_stop.load(), LVIO_E_INVALID_STATE);
  // Fired once and disarmed: nothing left to report.
  lvio_timer_setting left = {{-1, -1}, {-1, -1}};
  EXPECT_EQ(lvio_timer_query(timer, LVIO_TIMER_QUERY_RELATIVE, &left), LVIO_S_PRIVATE_ERROR_0);
  EXPECT_EQ(left.deadline.seconds, 0);
  EXPECT_EQ(left.interval.seconds, 0);
  EXPECT_EQ(lvio_timer_stop(timer), 0);
  EXPECT_EQ(f.count.load(), 1);
}

TEST_F(Timers, ArmReportsThePreviousState) {
  fired f;
  lvio_timer* timer = nullptr;
  ASSERT_EQ(lvio_timer_create(&timer, count_firing, lvio_timer_wall_clock, &f), 0);
  const lvio_timer_setting repeating = {{1, 0}, {1, 0}};
  struct {
    uint32_t flags;
    const lvio_timer_setting* setting;
    bool previous;
    lvio_code rc;
  } cases[] = {
      {LVIO_TIMER_ARM_ABSOLUTE | LVIO_TIMER_ARM_RELATIVE, &FAR, false, LVIO_E_PARAMETER_ERROR},
      {0, &FAR, false, LVIO_E_PARAMETER_ERROR},
      {LVIO_TIMER_DISARM, nullptr, true, LVIO_E_PARAMETER_ERROR},
      {LVIO_TIMER_ARM_RELATIVE, nullptr, false, LVIO_E_PARAMETER_ERROR},
      {LVIO_TIMER_ARM_RELATIVE, &repeating, false, LVIO_E_NOT_SUPPORTED},
      {LVIO_TIMER_ARM_RELATIVE, &FAR, false, LVIO_S_PRIVATE_ERROR_0},
      {LVIO_TIMER_ARM_RELATIVE, &FAR, true, LVIO_S_PRIVATE_ERROR_0 + 2},  // re-armed
      {LVIO_TIMER_DISARM, nullptr, false, LVIO_S_PRIVATE_ERROR_0 + 2},
      {LVIO_TIMER_DISARM, nullptr, false, LVIO_S_PRIVATE_ERROR_0},
      {LVIO_TIMER_DISARM | LVIO_TIMER_ARM_ABSOLUTE, nullptr, true, LVIO_S_PRIVATE_ERROR_0},
  };
  for (const auto& c : cases) {
    lvio_timer_setting previous = {{-1, -1}, {-1, -1}};
    EXPECT_EQ(lvio_timer_arm(timer, c.flags, c.setting, c.previous ? &previous : nullptr), c.rc) << c.flags;
    if (c.rc == LVIO_S_PRIVATE_ERROR_0 + 2 && c.previous) {
      // The time left of the first arming.
      EXPECT_LE(previous.deadline.seconds, 1000);
      EXPECT_GE(previous.deadline.seconds, 900);
    } else if (c.rc == LVIO_S_PRIVATE_ERROR_0 && c.previous) {
      EXPECT_EQ(previous.deadline.seconds, 0);
      EXPECT_EQ(previous.deadline.nanoseconds, 0);
    }
  }
  lvio_timer_setting out;
  EXPECT_EQ(lvio_timer_query(timer, 3, &out), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_timer_query(timer, 0, &out), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(f.count.load(), 0);
}

// A clock that the test sets.
std::mutex fake_mutex;
lvio_time fake_now = {100, 0};
std::atomic<bool> fake_fails{false};
// The reads of timer threads, told from the test's own by the thread.
const std::thread::id test_thread = std::this_thread::get_id();
std::atomic<int> timer_thread_reads{0};

lvio_code fake_clock(lvio_time* now, lvio_timer*, void*) {
  if (std::this_thread::get_id() != test_thread) timer_thread_reads.fetch_add(1);
  if (fake_fails.load()) return LVIO_E_OS_ERROR;
  std::lock_guard<std::mutex> hold(fake_mutex);
  *now = fake_now;
  return 0;
}

void set_fake(lvio_time t) {
  std::lock_guard<std::mutex> hold(fake_mutex);
  fake_now = t;
}

TEST_F(Timers, RelativeDeadlinesRoundUpToTheMillisecond) {
  set_fake({100, 0});
  fired f;
  lvio_timer* timer = nullptr;
  ASSERT_EQ(lvio_timer_create(&timer, count_firing, fake_clock, &f), 0);
  const lvio_timer_setting in_a_second = {{1, 100}, {0, 0}};
  ASSERT_EQ(lvio_timer_arm(timer, LVIO_TIMER_ARM_RELATIVE, &in_a_second, nullptr), LVIO_S_PRIVATE_ERROR_0);
  lvio_timer_setting out;
  ASSERT_EQ(lvio_timer_query(timer, LVIO_TIMER_QUERY_ABSOLUTE, &out), 0);
  EXPECT_EQ(out.deadline.seconds, 101);
  EXPECT_EQ(out.deadline.nanoseconds, 1000000);
  set_fake({100, 500000000});
  ASSERT_EQ(lvio_timer_query(timer, LVIO_TIMER_QUERY_RELATIVE, &out), 0);
  EXPECT_EQ(out.deadline.seconds, 0);
  EXPECT_EQ(out.deadline.nanoseconds, 501000000);
  // The clock passes the deadline: the timer fires, once.
  set_fake({101, 1000000});
  ASSERT_TRUE(eventually([&] { return f.count.load() == 1; }));
  EXPECT_EQ(lvio_timer_query(timer, LVIO_TIMER_QUERY_ABSOLUTE, &out), LVIO_S_PRIVATE_ERROR_0);
  // An absolute deadline is taken as it is.
  const lvio_timer_setting at = {{200, 7}, {0, 0}};
  int reads_before = timer_thread_reads.load();
  ASSERT_EQ(lvio_timer_arm(timer, LVIO_TIMER_ARM_ABSOLUTE, &at, nullptr), LVIO_S_PRIVATE_ERROR_0);
  // The timer's thread has read the clock and waits towards the deadline:
  // the failing clock below reaches it only when it is woken next.
  ASSERT_TRUE(eventually([&] { return timer_thread_reads.load() > reads_before; }));
  ASSERT_EQ(lvio_timer_query(timer, LVIO_TIMER_QUERY_ABSOLUTE, &out), 0);
  EXPECT_EQ(out.deadline.seconds, 200);
  EXPECT_EQ(out.deadline.nanoseconds, 7);
  // A failing clock is reported, and ends the timer's thread when it next
  // reads the clock; stop still works.
  fake_fails.store(true);
  EXPECT_EQ(lvio_timer_query(timer, LVIO_TIMER_QUERY_ABSOLUTE, &out), LVIO_E_OS_ERROR);
  EXPECT_EQ(lvio_timer_arm(timer, LVIO_TIMER_ARM_RELATIVE, &FAR, nullptr), LVIO_S_PRIVATE_ERROR_0 + 2);
  EXPECT_EQ(lvio_timer_stop(timer), 0);
  EXPECT_EQ(f.count.load(), 1);
  fake_fails.store(false);
}

TEST_F(Timers, ModuleStopStopsEveryTimer) {
  fired f;
  lvio_timer *a = nullptr, *b = nullptr;
  ASSERT_EQ(lvio_timer_create(&a, count_firing, lvio_timer_wall_clock, &f), 0);
  ASSERT_EQ(lvio_timer_create(&b, count_firing, lvio_timer_wall_clock, &f), 0);
  ASSERT_EQ(lvio_timer_arm(b, LVIO_TIMER_ARM_RELATIVE, &FAR, nullptr), LVIO_S_PRIVATE_ERROR_0);
  EXPECT_EQ(lvio_timers_module(1), 0);
  EXPECT_EQ(f.count.load(), 0);
}

TEST(TimerNames, StatesSetsAndMessages) {
  struct {
    uint32_t set;
    const char* name;
  } sets[] = {
      {0, ""}, {1, "INITIAL"}, {19, "ABANDONED|STARTED|INITIAL"}, {31, "ABANDONED|ARMED|DISARMED|STARTED|INITIAL"},
      {32, "INVALID STATE SET"},
  };
  for (const auto& c : sets) EXPECT_STREQ(lvio_timer_state_set_name(c.set), c.name) << c.set;
  EXPECT_STREQ(lvio_timer_state_name(LVIO_TIMER_ARMED), "ARMED");
  EXPECT_STREQ(lvio_timer_state_name(3), "UNKNOWN");
  EXPECT_STREQ(lvio_timer_message_name(LVIO_TIMER_MSG_ARM_RELATIVE), "MSG_ARM_RELATIVE");
  EXPECT_STREQ(lvio_timer_message_name(5), "UNKNOWN");
}

}  // namespace
