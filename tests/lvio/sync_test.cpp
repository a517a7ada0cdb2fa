// Mutexes and condition variables.
#include "lvio/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "eventually.h"
#include "lvio/clock.h"

namespace {

class Sync : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(lvio_mutex_create(&mutex, 0), 0);
    ASSERT_EQ(lvio_cond_create(&cond), 0);
  }
  void TearDown() override {
    lvio_cond_destroy(cond);
    lvio_mutex_destroy(mutex);
  }
  lvio_mutex* mutex = nullptr;
  lvio_cond* cond = nullptr;
};

TEST_F(Sync, ProbeTellsWhetherAnotherThreadHoldsTheMutex) {
  EXPECT_EQ(lvio_mutex_probe(mutex), 0);
  ASSERT_EQ(lvio_mutex_lock(mutex), 0);
  EXPECT_EQ(lvio_mutex_probe(mutex), 0);  // held by this thread: re-entrant
  lvio_code elsewhere = -1;
  std::thread([&] { elsewhere = lvio_mutex_probe(mutex); }).join();
  EXPECT_EQ(elsewhere, 1);
  lvio_mutex* slot = mutex;
  EXPECT_EQ(lvio_mutex_release(&slot), 0);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(lvio_mutex_release(&slot), 0);  // an empty slot
  std::thread([&] { elsewhere = lvio_mutex_probe(mutex); }).join();
  EXPECT_EQ(elsewhere, 0);
  EXPECT_EQ(lvio_mutex_probe(nullptr), 0);
}

TEST_F(Sync, TimedWaits) {
  ASSERT_EQ(lvio_mutex_lock(mutex), 0);
  const lvio_time short_wait = {0, 5000000};
  EXPECT_EQ(lvio_cond_timedwait(cond, mutex, &short_wait, 2), LVIO_E_TIMEOUT);
  // A deadline already passed returns at once, as does nothing left to wait.
  lvio_time past;
  ASSERT_EQ(lvio_time_now(&past), 0);
  past.seconds -= 10;
  EXPECT_EQ(lvio_cond_timedwait(cond, mutex, &past, 0), 0);
  const lvio_time zero = {0, 0};
  EXPECT_EQ(lvio_cond_timedwait(cond, mutex, &zero, 2), 0);
  lvio_time soon;
  ASSERT_EQ(lvio_time_now(&soon), 0);
  lvio_time_add(soon, short_wait, &soon);
  lvio_code rc;
  do rc = lvio_cond_timedwait(cond, mutex, &soon, 0);
  while (rc == 0);  // a spurious wake-up: the deadline is still ahead or has just passed
  EXPECT_EQ(rc, LVIO_E_TIMEOUT);
  ASSERT_EQ(lvio_mutex_unlock(mutex), 0);
}

TEST_F(Sync, SignalWakesAWaiter) {
  std::atomic<bool> flag{false};
  std::atomic<bool> waiting{false};
  std::thread waiter([&] {
    lvio_mutex_lock(mutex);
    waiting.store(true);
    while (!flag.load()) (void)lvio_cond_timedwait(cond, mutex, nullptr, 0);
    lvio_mutex_unlock(mutex);
  });
  ASSERT_TRUE(eventually([&] { return waiting.load(); }));
  lvio_mutex_lock(mutex);
  flag.store(true);
  EXPECT_EQ(lvio_cond_signal(cond, mutex, 1), 0);
  lvio_mutex_unlock(mutex);
  waiter.join();
}

TEST_F(Sync, ConditionChecks) {
  lvio_mutex* plain = nullptr;
  ASSERT_EQ(lvio_mutex_create(&plain, 1), 0);
  const lvio_time t = {0, 1};
  EXPECT_EQ(lvio_cond_wait(cond, plain), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_cond_timedwait(cond, plain, &t, 2), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_cond_signal(cond, plain, 0), LVIO_E_PARAMETER_ERROR);
  lvio_cond uninitialised = {};
  EXPECT_EQ(lvio_cond_timedwait(&uninitialised, mutex, &t, 2), LVIO_E_NOT_IMPLEMENTED);
  lvio_mutex_destroy(plain);
}

}  // namespace
