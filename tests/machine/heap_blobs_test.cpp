// Saved boxes: restored newest first onto the number stack.
#include "machine/heap_blobs.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "core/numstack.h"
#include "support/engine_fixture.h"

namespace {

using HeapBlobsTest = EngineTest;

std::vector<lv_term> box_words(const lv_term* value) {
  return std::vector<lv_term>(value - 1, value + lv_box_value_words(value[-1]));
}

TEST_F(HeapBlobsTest, RestoresNewestFirstOntoTheNumberStack) {
  uint64_t before = lv_mem_category_bytes(LV_CAT_LV_MALLOC);
  lv_term small_box = lv_numstack_push_int(w, int64_t{1} << 62);
  lv_term float_box = lv_numstack_push_float(w, 2.5);
  // A two-limb box off the stacks, with its trailer.
  alignas(8) lv_term limbs[] = {LV_BOX_INT2, 7, 9, LV_BOX_INT2};
  std::vector<std::vector<lv_term>> saved;
  for (const lv_term* value : {lv_struct_cells(small_box) + 1, lv_struct_cells(float_box) + 1, &limbs[1]}) {
    saved.push_back(box_words(value));
    lv_save_heap_blob(w, value);
  }
  EXPECT_GT(lv_mem_category_bytes(LV_CAT_LV_MALLOC), before);
  // The number stack is reused meanwhile.
  numstack_trim(w, lv_struct_cells(small_box));
  for (size_t i = saved.size(); i-- > 0;) {
    lv_term* top = w->numstack_top;
    lv_term* value = lv_restore_newest_blob(w);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value, top + 1);
    EXPECT_EQ(box_words(value), saved[i]);
    EXPECT_EQ(w->numstack_top, top + saved[i].size());
  }
  EXPECT_EQ(lv_restore_newest_blob(w), nullptr);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_LV_MALLOC), before);
}

TEST_F(HeapBlobsTest, RestoringAllEmptiesTheChainAndGrowsTheStack) {
  uint64_t before = lv_mem_category_bytes(LV_CAT_LV_MALLOC);
  // A box larger than the first number-stack chunk.
  std::vector<lv_term> big(200, 1);
  big[0] = lv_box_header(199, false);
  for (int i = 0; i < 3; i++) lv_save_heap_blob(w, &big[1]);
  lv_numstack_release(w);
  lv_restore_saved_blobs(w);
  EXPECT_EQ(lv_restore_newest_blob(w), nullptr);
  EXPECT_EQ(box_words(w->numstack_top - 199), big);
  EXPECT_GE(lv_numstack_chunk_count(), 2u);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_LV_MALLOC), before);
}

}  // namespace
