// Copying terms onto the heap top: compounds that lie outside the stacks
// (such as terms held in code) are shared as they are, never forwarded or
// flagged in the mark map.
#include <gtest/gtest.h>

#include <vector>

#include "core/predefined_atoms.h"
#include "core/term_copy.h"
#include "support/engine_fixture.h"
#include "support/terms.h"

namespace {

using namespace terms;

TEST_F(EngineTest, CopyingSharesCompoundsOutsideTheStacks) {
  // f(a, [b|c]) in memory of its own.
  std::vector<lv_term> outside = {lv_make_functor(LV_ATOM_EQUAL, 2), LV_ATOM_NIL, 0,
                                  small(1), small(2)};
  outside[2] = lv_make_list(&outside[3]);
  const std::vector<lv_term> before = outside;
  lv_term f = lv_make_struct(outside.data());
  lv_term l = lv_make_list(&outside[3]);
  // g(F, L, F, X) on the heap holds both, and a variable.
  lv_term x = var(w);
  lv_term g = fn(w, LV_ATOM_EQUAL, {f, l, f, x});

  lv_copy_state s = lv_copy_to_heap_top(w, g, false);
  EXPECT_EQ(outside, before);  // nothing overwritten while the copy stands
  const lv_term* copy = lv_struct_cells(*s.start);
  EXPECT_NE(copy, lv_struct_cells(g));
  EXPECT_EQ(copy[1], f);
  EXPECT_EQ(copy[2], l);
  EXPECT_EQ(copy[3], f);
  EXPECT_TRUE(lv_is_ref(copy[4]));
  lv_copy_undo(w, s);
  EXPECT_EQ(outside, before);
  EXPECT_EQ(lv_deref(x), x);
}

}  // namespace
