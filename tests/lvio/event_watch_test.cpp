// The event watcher: callbacks on firing, the last call on cancel, pokes.
#include "lvio/event_watch.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "eventually.h"
#include "lvio/event_wait.h"
#include "lvio/trace.h"

namespace {

// What a callback saw; filled on the watcher thread.
struct log {
  std::mutex mutex;
  std::vector<uint32_t> reasons;
  lvio_event* consume = nullptr;  // reset on each firing, as a listener reads its input
  lvio_code answer = 0;

  size_t count(uint32_t reason) {
    std::lock_guard<std::mutex> hold(mutex);
    size_t n = 0;
    for (uint32_t r : reasons) n += r == reason;
    return n;
  }
  size_t size() {
    std::lock_guard<std::mutex> hold(mutex);
    return reasons.size();
  }
};

lvio_code record(void* user, uint32_t reason) {
  auto* l = static_cast<log*>(user);
  if (reason == LVIO_WATCH_FIRED && l->consume != nullptr) (void)lvio_event_reset(l->consume);
  std::lock_guard<std::mutex> hold(l->mutex);
  l->reasons.push_back(reason);
  return l->answer;
}

lvio_code other_callback(void*, uint32_t) { return 0; }

class Watch : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(lvio_diagnostics_module(0), 0);
    ASSERT_EQ(lvio_events_module(0), 0);
    ASSERT_EQ(lvio_event_create(0, &event), 0);
  }
  void TearDown() override {
    EXPECT_EQ(lvio_events_module(1), 0);
    lvio_event_release(event);
    lvio_diagnostics_module(1);
  }
  lvio_event* event = nullptr;
};

TEST_F(Watch, CallsBackOnFiringAndOnceMoreWhenCancelled) {
  log l;
  l.consume = event;
  ASSERT_EQ(lvio_event_watch(event, record, &l, 0), 0);
  for (size_t round = 1; round <= 2; round++) {
    ASSERT_EQ(lvio_event_set(event), 0);
    ASSERT_TRUE(eventually([&] { return l.size() >= round; }));
  }
  // A cancel that does not match leaves the watch alone.
  lvio_event* other;
  ASSERT_EQ(lvio_event_create(0, &other), 0);
  EXPECT_EQ(lvio_event_watch_cancel(other, nullptr, nullptr, 0), 0);
  EXPECT_EQ(lvio_event_watch_cancel(event, other_callback, nullptr, 0), 0);
  EXPECT_EQ(lvio_event_watch_cancel(event, record, other, 0), 0);
  EXPECT_EQ(l.count(LVIO_WATCH_CANCELLED), 0u);
  lvio_event_release(other);

  EXPECT_EQ(lvio_event_watch_cancel(event, record, &l, 0), LVIO_S_DEALLOCATED);
  EXPECT_EQ(l.count(LVIO_WATCH_CANCELLED), 1u);
  EXPECT_EQ(l.reasons.back(), LVIO_WATCH_CANCELLED);
  EXPECT_EQ(lvio_event_watch_cancel(event, nullptr, nullptr, 0), 0);  // nothing left
  size_t calls = l.size();
  ASSERT_EQ(lvio_event_set(event), 0);
  EXPECT_EQ(l.size(), calls);
}

TEST_F(Watch, ADoneCallbackEndsTheWatch) {
  log l;
  l.consume = event;
  l.answer = LVIO_S_DONE;
  ASSERT_EQ(lvio_event_watch(event, record, &l, 0), 0);
  ASSERT_EQ(lvio_event_set(event), 0);
  ASSERT_TRUE(eventually([&] { return l.size() == 1; }));
  EXPECT_EQ(lvio_event_watch_cancel(event, nullptr, nullptr, 0), LVIO_S_DEALLOCATED);
  EXPECT_EQ(l.count(LVIO_WATCH_FIRED), 1u);
  EXPECT_EQ(l.count(LVIO_WATCH_CANCELLED), 1u);
}

TEST_F(Watch, PokesWakeTheWatcher) {
  log l;
  ASSERT_EQ(lvio_event_watch(nullptr, record, &l, 0), 0);
  ASSERT_EQ(lvio_event_watch_poke(0), 0);
  ASSERT_TRUE(eventually([&] { return l.size() == 1; }));
  ASSERT_EQ(lvio_event_watch_poke(1), 0);  // ends it, without a call
  EXPECT_EQ(lvio_event_watch_cancel(nullptr, nullptr, nullptr, 0), LVIO_S_DEALLOCATED);
  EXPECT_EQ(l.count(LVIO_WATCH_FIRED), 1u);
  EXPECT_EQ(l.count(LVIO_WATCH_CANCELLED), 1u);
  EXPECT_EQ(lvio_event_watch_poke(0), 0);  // no watch: nothing happens
}

TEST_F(Watch, ANewWatchCancelsTheOldOne) {
  log first, second;
  second.consume = event;
  ASSERT_EQ(lvio_event_watch(event, record, &first, 0), 0);
  ASSERT_EQ(lvio_event_watch_control(event, record, &second, 0), 0);
  EXPECT_EQ(first.count(LVIO_WATCH_CANCELLED), 1u);
  ASSERT_EQ(lvio_event_set(event), 0);
  ASSERT_TRUE(eventually([&] { return second.size() >= 1; }));
  EXPECT_EQ(first.size(), 1u);
  // The events module's stop cancels the second watch.
  ASSERT_EQ(lvio_events_module(1), 0);
  EXPECT_EQ(second.count(LVIO_WATCH_CANCELLED), 1u);
  ASSERT_EQ(lvio_events_module(0), 0);
}

}  // namespace
