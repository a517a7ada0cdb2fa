// Events, waits on several events, and the interrupt event that breaks the
// main thread's waits.
#include "lvio/event.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "lvio/event_wait.h"
#include "lvio/interrupt.h"
#include "lvio/trace.h"

namespace {

const lvio_time SHORT = {0, 20000000};
const lvio_time ZERO = {0, 0};

bool fd_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

// The calling thread is the layer's main thread and the interrupt event exists.
class Events : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(lvio_diagnostics_module(0), 0);
    ASSERT_EQ(lvio_events_module(0), 0);
  }
  void TearDown() override {
    for (lvio_event* e : made_) lvio_event_release(e);
    EXPECT_EQ(lvio_events_module(1), 0);
    lvio_diagnostics_module(1);
  }
  lvio_event* make(uint32_t flags = 0) {
    lvio_event* e = nullptr;
    EXPECT_EQ(lvio_event_create(flags, &e), 0);
    made_.push_back(e);
    return e;
  }
  std::vector<lvio_event*> made_;
};

TEST_F(Events, AreManualReset) {
  lvio_event* e = make();
  EXPECT_EQ(lvio_event_wait_one(e), 0);
  EXPECT_EQ(lvio_event_set(e), 0);
  EXPECT_EQ(lvio_event_set(e), 0);
  EXPECT_EQ(lvio_event_wait_one(e), 1);
  EXPECT_EQ(lvio_event_wait_one(e), 1);  // a poll does not consume it
  EXPECT_EQ(lvio_event_wait(&e, 1, nullptr), 0);
  EXPECT_EQ(lvio_event_wait_one(e), 1);  // nor does a wait
  EXPECT_EQ(lvio_event_reset(e), 0);     // one reset undoes any number of sets
  EXPECT_EQ(lvio_event_wait_one(e), 0);
  EXPECT_EQ(lvio_event_reset(e), 0);
  EXPECT_EQ(lvio_event_wait_one(make(1)), 1);
}

TEST_F(Events, ReferenceCountClosesOwnedDescriptorsOnly) {
  lvio_event* e;
  ASSERT_EQ(lvio_event_create(0, &e), 0);
  int fd;
  ASSERT_EQ(lvio_event_handle(e, &fd), 0);
  EXPECT_EQ(lvio_event_acquire(e), 0);
  EXPECT_EQ(lvio_event_acquire(e), 0);
  EXPECT_EQ(lvio_event_acquire(e), LVIO_E_OVERFLOW);  // two bits of count
  lvio_event_release(e);
  lvio_event_release(e);
  EXPECT_TRUE(fd_open(fd));
  lvio_event_release(e);
  EXPECT_FALSE(fd_open(fd));
  lvio_event_release(nullptr);

  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  ASSERT_EQ(lvio_event_from_handle(pipe_fds[0], 0, &e), 0);
  lvio_event_release(e);
  EXPECT_TRUE(fd_open(pipe_fds[0]));  // borrowed
  ASSERT_EQ(lvio_event_wrap_handle(pipe_fds[0], &e, 1), 0);
  ASSERT_EQ(lvio_event_acquire(e), 0);
  lvio_event_release(e);
  EXPECT_TRUE(fd_open(pipe_fds[0]));  // borrowed
  ASSERT_EQ(lvio_event_wrap_handle(pipe_fds[0], &e, 0), 0);
  ASSERT_EQ(lvio_event_acquire(e), 0);
  lvio_event_release(e);
  EXPECT_FALSE(fd_open(pipe_fds[0]));  // owned
  close(pipe_fds[1]);
}

TEST_F(Events, WrappedDescriptorsAreSignalledByReadiness) {
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  lvio_event *readable, *writable;
  ASSERT_EQ(lvio_event_from_handle(pipe_fds[0], 0, &readable), 0);
  ASSERT_EQ(lvio_event_from_handle(pipe_fds[1], LVIO_EVENT_WRITABLE, &writable), 0);
  made_ = {readable, writable};
  EXPECT_EQ(lvio_event_wait_one(readable), 0);
  EXPECT_EQ(lvio_event_wait_one(writable), 1);
  EXPECT_EQ(lvio_event_set(readable), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(lvio_event_reset(readable), LVIO_E_NOT_SUPPORTED);
  ASSERT_EQ(write(pipe_fds[1], "x", 1), 1);
  EXPECT_EQ(lvio_event_wait_one(readable), 1);
  uint64_t index = 99;
  EXPECT_EQ(lvio_event_wait_index(&readable, 1, nullptr, &index), 0);
  EXPECT_EQ(index, 0u);
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST_F(Events, WaitReportsTheFirstSignalledEvent) {
  struct {
    size_t count;
    std::vector<size_t> nulls;
    std::vector<size_t> set;
    uint64_t index;
  } cases[] = {
      {4, {}, {3}, 3},
      {4, {}, {2, 1}, 1},
      {4, {0}, {3, 2}, 2},
      {9, {}, {8}, 8},
      {12, {}, {11}, 11},  // beyond the stack array
      {12, {1, 5}, {10, 7}, 7},
      {64, {}, {63}, 63},  // a zero-time poll watches no interrupt: 64 fit
  };
  for (const auto& c : cases) {
    std::vector<lvio_event*> events;
    for (size_t i = 0; i < c.count; i++) events.push_back(make());
    for (size_t i : c.nulls) events[i] = nullptr;
    for (size_t i : c.set) (void)lvio_event_set(events[i]);
    uint64_t index = 99;
    EXPECT_EQ(lvio_event_wait_index(events.data(), c.count, &ZERO, &index), 0) << c.count;
    EXPECT_EQ(index, c.index) << c.count;
    index = 99;
    EXPECT_EQ(lvio_event_wait_index(events.data(), c.count, nullptr, &index), c.count < 64 ? 0 : LVIO_E_TOO_MANY_OPEN_FILES)
        << c.count;
    if (c.count < 64) {
      EXPECT_EQ(index, c.index) << c.count;
    }
  }
}

TEST_F(Events, WaitLimitsAndEmptyWaits) {
  std::vector<lvio_event*> events;
  for (int i = 0; i < 65; i++) events.push_back(make());
  EXPECT_EQ(lvio_event_wait(events.data(), 65, &ZERO), LVIO_E_TOO_MANY_OPEN_FILES);
  EXPECT_EQ(lvio_event_wait(events.data(), 63, &SHORT), LVIO_E_TIMEOUT);  // 63 and the interrupt event
  EXPECT_EQ(lvio_event_wait(nullptr, 0, &ZERO), LVIO_E_TIMEOUT);
  lvio_event* none[2] = {nullptr, nullptr};
  EXPECT_EQ(lvio_event_wait(none, 2, &ZERO), LVIO_E_TIMEOUT);
  // The main thread sleeps on the interrupt event alone; another thread has nothing to wait on.
  EXPECT_EQ(lvio_event_wait(nullptr, 0, &SHORT), LVIO_E_TIMEOUT);
  lvio_code elsewhere = 0;
  std::thread([&] { elsewhere = lvio_event_wait(nullptr, 0, &SHORT); }).join();
  EXPECT_EQ(elsewhere, LVIO_E_INTERNAL_ERROR);
  lvio_time too_long = {5000000, 0};
  EXPECT_EQ(lvio_event_wait(events.data(), 1, &too_long), LVIO_E_PARAMETER_ERROR);
}

TEST_F(Events, InterruptReleasesABlockedMainThreadWaitAndIsReset) {
  lvio_event* never = make();
  for (int with_event = 0; with_event < 2; with_event++) {
    // The interrupt may come before or during the wait: either way the wait ends.
    std::thread interrupter([] { (void)lvio_interrupt(0); });
    EXPECT_EQ(lvio_event_wait(&never, with_event, nullptr), LVIO_E_INTERRUPTED);
    interrupter.join();
    EXPECT_EQ(lvio_event_wait_one(lvio_interrupt_event()), 0);
  }
}

TEST_F(Events, OnlyTheMainThreadSeesTheInterrupt) {
  lvio_event* never = make();
  (void)lvio_interrupt(0);
  lvio_code elsewhere = 0;
  std::thread([&] { elsewhere = lvio_event_wait(&never, 1, &SHORT); }).join();
  EXPECT_EQ(elsewhere, LVIO_E_TIMEOUT);
  EXPECT_EQ(lvio_event_wait_one(lvio_interrupt_event()), 1);
  // A zero-time poll on the main thread does not look at it either.
  EXPECT_EQ(lvio_event_wait(&never, 1, &ZERO), LVIO_E_TIMEOUT);
  // A signalled caller event comes before the interrupt.
  lvio_event* ready = make(1);
  EXPECT_EQ(lvio_event_wait(&ready, 1, nullptr), 0);
  EXPECT_EQ(lvio_event_wait(&never, 1, nullptr), LVIO_E_INTERRUPTED);
}

TEST_F(Events, AClearedInterruptResetsTheEvent) {
  (void)lvio_interrupt(0);
  EXPECT_EQ(lvio_event_wait_one(lvio_interrupt_event()), 1);
  lvio_interrupt_callbacks_only();
  EXPECT_EQ(lvio_event_wait_one(lvio_interrupt_event()), 0);
}

}  // namespace
