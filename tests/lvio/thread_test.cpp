// Threads: results, waits, cancel, signal masks and processor times.
#include "lvio/thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "eventually.h"
#include "lvio/allocator.h"
#include "lvio/event_wait.h"
#include "lvio/trace.h"

namespace {

class Threads : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(lvio_diagnostics_module(0), 0);
    ASSERT_EQ(lvio_event_create(0, &gate), 0);
  }
  void TearDown() override {
    lvio_event_release(gate);
    lvio_diagnostics_module(1);
  }
  lvio_event* gate = nullptr;
};

lvio_code wait_for_gate(lvio_thread*, void* gate) {
  lvio_event* e = static_cast<lvio_event*>(gate);
  lvio_code rc = lvio_event_wait(&e, 1, nullptr);
  return rc < 0 ? rc : 42;
}

TEST_F(Threads, ResultIsKeptOnceTheFunctionHasReturned) {
  lvio_thread* t = nullptr;
  ASSERT_EQ(lvio_thread_create(0, wait_for_gate, gate, &t), 0);
  lvio_code result = 0;
  int running = -1;
  EXPECT_EQ(lvio_thread_result(t, &result), LVIO_E_THREAD_RUNNING);
  EXPECT_EQ(lvio_thread_is_running(t, &running), 0);
  EXPECT_EQ(running, 1);
  lvio_time short_wait = {0, 10000000};
  EXPECT_EQ(lvio_thread_wait(t, &short_wait), LVIO_E_TIMEOUT);
  EXPECT_EQ(lvio_thread_control(t) & LVIO_THREAD_CONTROL_STARTED, LVIO_THREAD_CONTROL_STARTED);
  EXPECT_EQ(lvio_thread_cancel(t, 0), LVIO_E_NOT_SUPPORTED);  // not made cancellable

  ASSERT_EQ(lvio_event_set(gate), 0);
  EXPECT_EQ(lvio_thread_wait(t, nullptr), 0);
  EXPECT_EQ(lvio_thread_result(t, &result), 0);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(lvio_thread_is_running(t, &running), 0);
  EXPECT_EQ(running, 0);
  EXPECT_EQ(lvio_thread_join(t), 0);
  EXPECT_EQ(lvio_thread_join(nullptr), 0);
}

lvio_code sleep_until_cancelled(lvio_thread*, void* gate) {
  // Waits on an event that is never set, then sleeps on nothing: a cancel
  // ends both.
  lvio_event* e = static_cast<lvio_event*>(gate);
  lvio_code first = lvio_event_wait(&e, 1, nullptr);
  lvio_code second = lvio_event_wait(nullptr, 0, nullptr);
  return first == second ? first : LVIO_E_ERROR;
}

TEST_F(Threads, StartedAndCancelled) {
  for (uint32_t flags : {0u, 1u}) {
    lvio_thread* t = nullptr;
    ASSERT_EQ(lvio_thread_create(LVIO_THREAD_CANCELLABLE, sleep_until_cancelled, gate, &t), 0);
    EXPECT_EQ(lvio_thread_cancel(t, flags), 0) << flags;  // flag 1: does not wait for the end
    EXPECT_NE(lvio_thread_control(t) & LVIO_THREAD_CONTROL_CANCEL_REQUESTED, 0u);
    EXPECT_NE(lvio_thread_control(t) & LVIO_THREAD_CONTROL_CANCEL_DELIVERED, 0u);
    EXPECT_EQ(lvio_thread_wait(t, nullptr), 0);
    lvio_code result = 0;
    EXPECT_EQ(lvio_thread_result(t, &result), 0);
    EXPECT_EQ(result, LVIO_E_CANCELED) << flags;
    EXPECT_EQ(lvio_thread_join(t), 0);
  }
}

lvio_code cancelled_parent(lvio_thread*, void* gate) {
  lvio_thread* child = nullptr;
  lvio_code rc = lvio_thread_create(0, wait_for_gate, gate, &child);
  if (rc < 0) return rc;
  lvio_event* never = nullptr;
  lvio_code woken = lvio_event_wait(&never, 1, nullptr);  // a sleep until the cancel
  (void)lvio_event_set(static_cast<lvio_event*>(gate));
  // Its own cancel does not end the join of its child.
  rc = lvio_thread_join(child);
  return woken == LVIO_E_CANCELED ? rc : LVIO_E_ERROR;
}

TEST_F(Threads, ACancelledThreadStillJoinsItsOwnThreads) {
  lvio_thread* t = nullptr;
  ASSERT_EQ(lvio_thread_create(LVIO_THREAD_CANCELLABLE, cancelled_parent, gate, &t), 0);
  EXPECT_EQ(lvio_thread_cancel(t, 0), 0);
  lvio_code result = -1;
  EXPECT_EQ(lvio_thread_result(t, &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(lvio_thread_join(t), 0);
}

lvio_code report_blocked_signals(lvio_thread*, void*) {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return (sigismember(&mask, SIGINT) ? 1 : 0) | (sigismember(&mask, SIGQUIT) ? 2 : 0) |
         (sigismember(&mask, SIGPIPE) ? 4 : 0);
}

TEST_F(Threads, BlockInterruptQuitAndBrokenPipeSignals) {
  lvio_thread* t = nullptr;
  ASSERT_EQ(lvio_thread_create(0, report_blocked_signals, nullptr, &t), 0);
  EXPECT_EQ(lvio_thread_wait(t, nullptr), 0);
  lvio_code result = 0;
  EXPECT_EQ(lvio_thread_result(t, &result), 0);
  EXPECT_EQ(result, 7);
  EXPECT_EQ(lvio_thread_join(t), 0);
  // The creating thread's own mask is unchanged.
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  EXPECT_FALSE(sigismember(&mask, SIGINT));
}

lvio_code join_self(lvio_thread* self, void*) {
  return lvio_thread_self() == self ? lvio_thread_join(self) : LVIO_E_ERROR;
}

TEST_F(Threads, CannotJoinItself) {
  lvio_thread* t = nullptr;
  ASSERT_EQ(lvio_thread_create(0, join_self, nullptr, &t), 0);
  EXPECT_EQ(lvio_thread_wait(t, nullptr), 0);
  lvio_code result = 0;
  EXPECT_EQ(lvio_thread_result(t, &result), 0);
  EXPECT_EQ(result, LVIO_E_INVALID_STATE);
  EXPECT_EQ(lvio_thread_join(t), 0);
  EXPECT_EQ(lvio_thread_self(), nullptr);  // this thread was not made by the layer
}

std::atomic<int> detached_ran{0};

lvio_code note_run(lvio_thread*, void*) {
  detached_ran.store(1);
  return 0;
}

TEST_F(Threads, ADetachedThreadFreesItsOwnRecord) {
  const lvio_allocator_counts* counts = lvio_default_allocator_counts();
  ASSERT_EQ(lvio_thread_create(0, note_run, nullptr, nullptr), 0);
  EXPECT_TRUE(eventually([] { return detached_ran.load() == 1; }));
  EXPECT_TRUE(eventually([&] { return counts->allocations.load() == counts->frees.load() + 1; }));  // the gate
}

TEST_F(Threads, IdsAndProcessorTimes) {
  uint32_t id = 0;
  ASSERT_EQ(lvio_thread_current_id(&id), 0);
  EXPECT_EQ(id, static_cast<uint32_t>(gettid()));
  EXPECT_TRUE(lvio_thread_same(id, id));
  EXPECT_FALSE(lvio_thread_same(id, id + 1));
  lvio_time t = {-1, -1};
  ASSERT_EQ(lvio_thread_times(id, nullptr, &t), 0);
  EXPECT_GE(t.seconds, 0);
  EXPECT_GE(t.nanoseconds, 0);
  // Another thread of this process is measured too; one of another process is not.
  std::atomic<uint32_t> other{0};
  std::atomic<bool> release{false};
  std::thread busy([&] {
    other.store(static_cast<uint32_t>(gettid()));
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  ASSERT_TRUE(eventually([&] { return other.load() != 0; }));
  lvio_time other_time = {-1, -1};
  EXPECT_EQ(lvio_thread_times(other.load(), nullptr, &other_time), 0);
  EXPECT_GE(other_time.seconds, 0);
  release.store(true);
  busy.join();
  EXPECT_LT(lvio_thread_times(1, nullptr, &t), 0);  // init's thread
}

}  // namespace
