// Interrupt callbacks, their double delivery, the hand-off from signal
// handlers, and the deferred-close list.
#include "lvio/interrupt.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "lvio/allocator.h"
#include "lvio/deferred_close.h"

namespace {

struct call {
  std::string tag;
  uint32_t mode;
  std::thread::id thread;
};

std::vector<call> calls;

void record_a(void*, uint32_t mode) { calls.push_back({"a", mode, std::this_thread::get_id()}); }
void record_b(void* user, uint32_t mode) {
  calls.push_back({static_cast<const char*>(user), mode, std::this_thread::get_id()});
}

// The layer core and the deferred-close list, started and stopped.
class Interrupts : public testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    ASSERT_EQ(lvio_layer_core_module(0), 0);
    ASSERT_EQ(lvio_deferred_close_module(0), 0);
  }
  void TearDown() override {
    (void)lvio_interrupt_hook_add(record_a, nullptr, 1);
    (void)lvio_interrupt_hook_add(record_b, nullptr, 1);
    (void)lvio_deferred_close_module(1);
    (void)lvio_layer_core_module(1);
  }
};

TEST_F(Interrupts, AddAndRemoveCallbacks) {
  EXPECT_EQ(lvio_interrupt_hook_add(record_a, nullptr, 1), LVIO_S_DEALLOCATED);
  ASSERT_EQ(lvio_interrupt_hook_add(record_a, nullptr, 0), 0);
  ASSERT_EQ(lvio_interrupt_hook_add(record_b, const_cast<char*>("b"), 0), 0);
  lvio_interrupt_callbacks_only();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].tag + calls[1].tag, "ab");
  EXPECT_EQ(lvio_interrupt_hook_add(record_a, nullptr, 1), 0);
  EXPECT_EQ(lvio_interrupt_hook_add(record_b, nullptr, 1), 0);  // the array is freed
  EXPECT_EQ(lvio_interrupt_hook_add(record_b, nullptr, 1), LVIO_S_DEALLOCATED);
  // Adding after the array was freed works.
  ASSERT_EQ(lvio_interrupt_hook_add(record_b, const_cast<char*>("again"), 0), 0);
  calls.clear();
  lvio_interrupt_callbacks_only();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].tag, "again");
}

TEST_F(Interrupts, ModesFollowTheFlags) {
  ASSERT_EQ(lvio_interrupt_hook_add(record_a, nullptr, 0), 0);
  struct {
    uint32_t flags;
    uint32_t mode;
  } cases[] = {{0, 2}, {1, 0}, {2, 2}, {3, 2}};
  uint64_t before = lvio_interrupt_dispatch_count();
  for (const auto& c : cases) {
    calls.clear();
    (void)lvio_interrupt(c.flags);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].mode, c.mode) << c.flags;
  }
  EXPECT_EQ(lvio_interrupt_dispatch_count() - before, 4u);
}

TEST_F(Interrupts, DeliveredOnTheInterruptingThreadThenOnceMoreOnTheDrainingThread) {
  ASSERT_EQ(lvio_interrupt_hook_add(record_a, nullptr, 0), 0);
  std::thread::id interrupter;
  std::thread other([&] {
    interrupter = std::this_thread::get_id();
    (void)lvio_interrupt(0);
    (void)lvio_interrupt(0);  // the pending node is already queued
  });
  other.join();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].mode, 2u);
  EXPECT_EQ(calls[0].thread, interrupter);
  EXPECT_EQ(lvio_deferred_close_count(), 1u);
  calls.clear();
  EXPECT_EQ(lvio_deferred_close_all(0), 1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].mode, 1u);
  EXPECT_EQ(calls[0].thread, std::this_thread::get_id());
  // The node is pending again: the next interrupt is delivered twice as well.
  calls.clear();
  (void)lvio_interrupt(1);
  EXPECT_EQ(lvio_deferred_close_all(0), 1);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].mode, 0u);
  EXPECT_EQ(calls[1].mode, 1u);
}

void add_from_callback(void* result, uint32_t) {
  *static_cast<lvio_code*>(result) = lvio_interrupt_hook_add(record_a, nullptr, 0);
}

TEST_F(Interrupts, CallbacksCannotChangeTheList) {
  lvio_code result = 0;
  ASSERT_EQ(lvio_interrupt_hook_add(add_from_callback, &result, 0), 0);
  lvio_interrupt_callbacks_only();
  EXPECT_EQ(result, LVIO_E_INVALID_STATE);
  EXPECT_EQ(lvio_interrupt_hook_add(add_from_callback, nullptr, 1), 0);
}

TEST_F(Interrupts, LockNestsAndADispatchWaitsForTheHolder) {
  EXPECT_EQ(lvio_interrupt_lock(), 1);
  EXPECT_EQ(lvio_interrupt_lock(), 2);
  EXPECT_EQ(lvio_interrupt_unlock(), 1);
  // While this thread holds the lock, another thread's dispatch waits.
  ASSERT_EQ(lvio_interrupt_hook_add(record_a, nullptr, 0), 0);
  std::thread other([] { (void)lvio_interrupt(1); });
  std::thread::id other_id = other.get_id();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(lvio_interrupt_unlock(), 0);
  other.join();
  lvio_interrupt_sync();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].thread, other_id);
}

std::atomic<int> handled{0};

void on_signal(int) {
  lvio_interrupt_record(0);
  handled.fetch_add(1);
}

TEST_F(Interrupts, SignalHandlersOnlyRecordAndADispatchThreadDelivers) {
  ASSERT_EQ(lvio_interrupt_hook_add(record_a, nullptr, 0), 0);
  struct sigaction action = {}, old = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
  // The lock is held here, as it may be when a signal arrives: a handler
  // that took it would deadlock this thread.
  lvio_interrupt_lock();
  raise(SIGUSR1);
  raise(SIGUSR1);
  lvio_interrupt_unlock();
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_EQ(handled.load(), 2);
  EXPECT_TRUE(calls.empty());

  int fd = lvio_interrupt_record_fd();
  ASSERT_GE(fd, 0);
  pollfd p = {fd, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 0), 1);
  int64_t run = -1;
  std::thread::id dispatcher;
  std::thread dispatch([&] {
    dispatcher = std::this_thread::get_id();
    run = lvio_interrupt_run_recorded();
  });
  dispatch.join();
  EXPECT_EQ(run, 1);  // two recorded interrupts of one mode coalesce
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].mode, 2u);
  EXPECT_EQ(calls[0].thread, dispatcher);
  EXPECT_EQ(poll(&p, 1, 0), 0);
  EXPECT_EQ(lvio_interrupt_run_recorded(), 0);
  // The engine's thread gets its delivery when it drains the list.
  EXPECT_EQ(lvio_deferred_close_all(0), 1);
  EXPECT_EQ(calls.back().mode, 1u);
}

// Deferred-close nodes that log what happens to them.
std::vector<std::string> node_log;

lvio_code log_run(lvio_closeable* node, uint32_t flags) {
  node_log.push_back(std::string("run ") + static_cast<const char*>(node->data) + (flags & 1 ? " shutdown" : ""));
  return 0;
}
lvio_code keep_run(lvio_closeable* node, uint32_t) {
  node_log.push_back(std::string("keep ") + static_cast<const char*>(node->data));
  return LVIO_S_DEALLOCATED;
}
void log_release(lvio_closeable* node) {
  node_log.push_back(std::string("release ") + static_cast<const char*>(node->data));
}

const lvio_closeable_ops log_ops = {log_run, log_release};
const lvio_closeable_ops keep_ops = {keep_run, log_release};

class DeferredClose : public Interrupts {
 protected:
  void SetUp() override {
    node_log.clear();
    Interrupts::SetUp();
  }
};

TEST_F(DeferredClose, NodesRunInOrderOnTheDrain) {
  lvio_closeable a, b, c;
  lvio_closeable_init(&a, &log_ops, const_cast<char*>("a"));
  lvio_closeable_init(&b, &keep_ops, const_cast<char*>("b"));
  lvio_closeable_init(&c, &log_ops, const_cast<char*>("c"));
  ASSERT_EQ(lvio_interrupt_hook_add(record_a, nullptr, 0), 0);
  ASSERT_EQ(lvio_closeable_register(&a, 1), 0);
  EXPECT_TRUE(calls.empty());
  // Without flag 1 a registration raises an interrupt (mode 0).
  ASSERT_EQ(lvio_closeable_register(&b, 0), 0);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].mode, 0u);
  ASSERT_EQ(lvio_closeable_register(&c, 1), 0);
  EXPECT_EQ(lvio_deferred_close_count(), 4u);  // with the pending-interrupt node
  EXPECT_EQ(lvio_deferred_close_all(0), 4);
  // b kept itself: it is not released.
  EXPECT_EQ(node_log, (std::vector<std::string>{"run a", "release a", "keep b", "run c", "release c"}));
  EXPECT_EQ(lvio_deferred_close_count(), 0u);
  lvio_closeable_close(&a);
  lvio_closeable_close(nullptr);
  EXPECT_EQ(node_log.back(), "release a");
}

TEST_F(DeferredClose, ShutdownDrainClosesTheList) {
  lvio_closeable a, late;
  lvio_closeable_init(&a, &log_ops, const_cast<char*>("a"));
  lvio_closeable_init(&late, &log_ops, const_cast<char*>("late"));
  ASSERT_EQ(lvio_closeable_register(&a, 1), 0);
  EXPECT_EQ(lvio_deferred_close_all(1), 1);
  EXPECT_EQ(node_log, (std::vector<std::string>{"run a shutdown", "release a"}));
  EXPECT_EQ(lvio_closeable_register(&late, 1), LVIO_E_SHUTDOWN);
  EXPECT_EQ(lvio_deferred_close_shutdown(), LVIO_E_SHUTDOWN);
}

TEST_F(DeferredClose, ModuleStopReleasesWithoutRunning) {
  lvio_closeable a;
  lvio_closeable_init(&a, &log_ops, const_cast<char*>("a"));
  ASSERT_EQ(lvio_closeable_register(&a, 1), 0);
  ASSERT_EQ(lvio_deferred_close_module(1), 0);
  EXPECT_EQ(node_log, (std::vector<std::string>{"release a"}));
  EXPECT_EQ(lvio_closeable_register(&a, 1), LVIO_E_SHUTDOWN);
  // An interrupt now cannot queue its node; it keeps it pending.
  (void)lvio_interrupt(0);
  EXPECT_EQ(lvio_deferred_close_count(), 0u);
}

}  // namespace
