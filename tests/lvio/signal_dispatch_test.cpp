// The threads module: signals recorded by handlers are dispatched on the
// signal dispatch thread, and SIGPIPE does not kill the process.
#include "lvio/signal_dispatch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "eventually.h"
#include "lvio/event_wait.h"
#include "lvio/interrupt.h"
#include "lvio/thread.h"
#include "lvio/trace.h"

namespace {

void on_signal(int) { lvio_interrupt_record(0); }

std::atomic<int> hook_calls{0};
void count_hook(void*) { hook_calls.fetch_add(1); }

class SignalDispatch : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(lvio_diagnostics_module(0), 0);
    ASSERT_EQ(lvio_events_module(0), 0);
    ASSERT_EQ(lvio_threads_module(0), 0);
  }
  void TearDown() override {
    lvio_signal_dispatch_set_hook(nullptr, nullptr);
    EXPECT_EQ(lvio_threads_module(1), 0);
    EXPECT_EQ(lvio_events_module(1), 0);
    lvio_diagnostics_module(1);
  }
};

TEST_F(SignalDispatch, ARecordedSignalReleasesTheMainThreadsWait) {
  struct sigaction action = {}, old = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
  lvio_event* never;
  ASSERT_EQ(lvio_event_create(0, &never), 0);
  raise(SIGUSR1);
  EXPECT_EQ(lvio_event_wait(&never, 1, nullptr), LVIO_E_INTERRUPTED);
  sigaction(SIGUSR1, &old, nullptr);
  lvio_event_release(never);
}

TEST_F(SignalDispatch, AWakeCallsTheHook) {
  ASSERT_EQ(lvio_signal_dispatch_set_hook(count_hook, nullptr), 0);
  lvio_signal_dispatch_wake();
  EXPECT_TRUE(eventually([] { return hook_calls.load() >= 1; }));
  EXPECT_EQ(lvio_signal_dispatch_start(), LVIO_E_INVALID_STATE);  // runs already
}

TEST_F(SignalDispatch, BrokenPipesAreReportedNotFatal) {
  struct sigaction current;
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &current), 0);
  EXPECT_EQ(current.sa_handler, SIG_IGN);
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  close(fds[0]);
  EXPECT_EQ(write(fds[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(fds[1]);
  ASSERT_EQ(lvio_threads_module(1), 0);
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &current), 0);
  EXPECT_EQ(current.sa_handler, SIG_DFL);  // given back
  ASSERT_EQ(lvio_threads_module(0), 0);
}

}  // namespace
