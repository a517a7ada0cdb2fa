// The prebuilt memory-exhaustion exception.
#include <gtest/gtest.h>

#include "core/memory_error_term.h"
#include "core/predefined_atoms.h"
#include "support/engine_fixture.h"
#include "support/terms.h"

namespace {

TEST_F(EngineTest, MemoryErrorTermIsStoredOnce) {
  lv_term* h = w->H;
  lv_stored_block* block = lv_make_memory_error_term(w);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->size, 208u);
  EXPECT_EQ(w->H, h);
  EXPECT_EQ(lv_make_memory_error_term(w), block);
  lv_term back = lv_block_to_heap(w, block, 0, 0);
  using namespace terms;
  const lv_term error = atom(13), resource_error = atom(175), memory = atom(176);
  lv_term expected = fn(w, error, {fn(w, resource_error, {memory}), fn(w, resource_error, {small(0), memory})});
  EXPECT_EQ(show(lv_list_cells(back)[0]), show(expected));
  EXPECT_EQ(lv_deref(lv_list_cells(back)[1]), LV_ATOM_NIL);
  lv_free_memory_error_term();
  EXPECT_EQ(lv_memory_error_block, nullptr);
}

}  // namespace
