// The walk over the registered term cells: every slot of every non-empty
// block once, in list order; empty blocks and an empty list.
#include <gtest/gtest.h>

#include <vector>

#include "core/gc_queue.h"
#include "support/engine_fixture.h"

namespace {

std::vector<lv_termref_slot*> walk() {
  std::vector<lv_termref_slot*> seen;
  for (lv_gc_queue_reset(); !lv_gc_queue_done();) seen.push_back(lv_gc_queue_next());
  EXPECT_EQ(lv_gc_queue_next(), nullptr);
  return seen;
}

TEST_F(EngineTest, TheQueueWalksEveryRegisteredSlotInListOrder) {
  EXPECT_TRUE(walk().empty());
  lv_termref_slot* empty_first = LV_alloc_globrefs(0);
  EXPECT_TRUE(walk().empty());
  lv_termref_slot* a = LV_alloc_globrefs(3);
  lv_termref_slot* empty_middle = LV_alloc_globrefs(0);
  lv_termref_slot* b = LV_alloc_globrefs(1);
  lv_termref_slot* empty_last = LV_alloc_globrefs(0);
  std::vector<lv_termref_slot*> expected = {&a[0], &a[1], &a[2], &b[0]};
  EXPECT_EQ(walk(), expected);
  // The list starts at another block once its first is freed.
  LV_free_globrefs(empty_first);
  EXPECT_EQ(walk(), expected);
  LV_free_globrefs(a);
  EXPECT_EQ(walk(), std::vector<lv_termref_slot*>{&b[0]});
  for (lv_termref_slot* s : {empty_middle, b, empty_last}) LV_free_globrefs(s);
  EXPECT_TRUE(walk().empty());
}

}  // namespace
