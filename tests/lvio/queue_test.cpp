// The locked FIFO queue.
#include "lvio/queue.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct item {
  lvio_queue_link link;
  int value;
};

class Queue : public testing::Test {
 protected:
  void TearDown() override { lvio_queue_destroy(queue_); }
  lvio_queue* queue_ = nullptr;
};

TEST(QueueCreate, FlagCombinations) {
  struct {
    uint32_t flags;
    lvio_code rc;
    bool lock, cond;
  } cases[] = {
      {0, 0, false, false},
      {1, 0, true, false},
      {3, 0, true, true},
      {5, 0, true, false},
      {4, LVIO_E_PARAMETER_ERROR, false, false},
      {2, LVIO_E_PARAMETER_ERROR, false, false},
      {7, LVIO_E_PARAMETER_ERROR, false, false},
  };
  for (const auto& c : cases) {
    lvio_queue* q = nullptr;
    EXPECT_EQ(lvio_queue_create(&q, c.flags), c.rc) << c.flags;
    if (c.rc < 0) continue;
    EXPECT_EQ(q->lock != nullptr, c.lock) << c.flags;
    EXPECT_EQ(q->cond != nullptr, c.cond) << c.flags;
    lvio_queue_destroy(q);
  }
}

TEST_F(Queue, FirstInFirstOut) {
  ASSERT_EQ(lvio_queue_create(&queue_, 1), 0);
  item items[3] = {{{}, 1}, {{}, 2}, {{}, 3}};
  for (item& i : items) ASSERT_EQ(lvio_queue_put(queue_, &i, 0), 0);
  EXPECT_EQ(lvio_queue_count(queue_), 3u);
  EXPECT_EQ(lvio_queue_contains(queue_, &items[1], 0), 1);
  void* got;
  EXPECT_EQ(lvio_queue_get(queue_, &got, 1), 3);  // a peek leaves it queued
  EXPECT_EQ(got, &items[0]);
  EXPECT_EQ(lvio_queue_get_last(queue_, &got, 0), 2);
  EXPECT_EQ(got, &items[2]);
  EXPECT_EQ(lvio_queue_get(queue_, &got, 0), 1);
  EXPECT_EQ(got, &items[0]);
  EXPECT_EQ(lvio_queue_contains(queue_, &items[0], 0), 0);
  EXPECT_EQ(lvio_queue_get_last(queue_, &got, 0), 0);
  EXPECT_EQ(got, &items[1]);
  // Emptied from the tail, the queue takes new items at the head again.
  ASSERT_EQ(lvio_queue_put(queue_, &items[2], 0), 0);
  EXPECT_EQ(lvio_queue_get(queue_, &got, 0), 0);
  EXPECT_EQ(got, &items[2]);
}

TEST_F(Queue, EmptyQueue) {
  ASSERT_EQ(lvio_queue_create(&queue_, 1), 0);
  void* got = nullptr;
  EXPECT_EQ(lvio_queue_get(queue_, &got, 0), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_queue_get_last(queue_, &got, 0), LVIO_E_NOT_FOUND);
  // Waiting needs a condition variable.
  EXPECT_EQ(lvio_queue_get(queue_, &got, 2), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(got, nullptr);
}

TEST_F(Queue, CallerHoldsTheLock) {
  ASSERT_EQ(lvio_queue_create(&queue_, 3), 0);
  item a = {{}, 1};
  ASSERT_EQ(lvio_queue_lock(queue_), 0);
  ASSERT_EQ(lvio_queue_put(queue_, &a, 1), 0);
  EXPECT_EQ(lvio_queue_contains(queue_, &a, 1), 1);
  void* got;
  EXPECT_EQ(lvio_queue_get_last(queue_, &got, 4 | 1), 1);
  lvio_queue* held = queue_;
  lvio_queue_unlock_scoped(&held);
  EXPECT_EQ(held, nullptr);
  lvio_queue_unlock_scoped(&held);
  // The lock is free again: another thread can take it.
  std::thread other([this] {
    void* g;
    EXPECT_EQ(lvio_queue_get(queue_, &g, 0), 0);
  });
  other.join();
}

TEST_F(Queue, WaitingGetReceivesAnItemFromAnotherThread) {
  ASSERT_EQ(lvio_queue_create(&queue_, 3), 0);
  item a = {{}, 42};
  void* got = nullptr;
  std::thread consumer([&] { EXPECT_EQ(lvio_queue_get(queue_, &got, 2), 0); });
  ASSERT_EQ(lvio_queue_put(queue_, &a, 0), 0);
  consumer.join();
  EXPECT_EQ(got, &a);
  EXPECT_EQ(lvio_queue_count(queue_), 0u);
  EXPECT_EQ(lvio_queue_wake_all(queue_), 0);
}

TEST_F(Queue, CountMatchesContentsAfterAFailedWakeUp) {
  ASSERT_EQ(lvio_queue_create(&queue_, 3), 0);
  // A condition variable that was never initialised fails every wake-up.
  lvio_cond* real = queue_->cond;
  lvio_cond broken = {};
  queue_->cond = &broken;
  item a = {{}, 1}, b = {{}, 2};
  EXPECT_EQ(lvio_queue_put(queue_, &a, 0), LVIO_E_NOT_IMPLEMENTED);
  EXPECT_EQ(lvio_queue_put(queue_, &b, 0), LVIO_E_NOT_IMPLEMENTED);
  queue_->cond = real;
  EXPECT_EQ(lvio_queue_count(queue_), 2u);
  void* got;
  EXPECT_EQ(lvio_queue_get(queue_, &got, 0), 1);
  EXPECT_EQ(got, &a);
  EXPECT_EQ(lvio_queue_get(queue_, &got, 0), 0);
  EXPECT_EQ(got, &b);
  EXPECT_EQ(lvio_queue_get(queue_, &got, 0), LVIO_E_NOT_FOUND);
}

}  // namespace
