// Goals suspended on variables: the suspension record and the goal lists.
#include "core/suspension.h"

#include <gtest/gtest.h>

#include "core/bind.h"
#include "machine/routines_fixture.h"

namespace {

class SuspensionTest : public RoutinesTest {
 protected:
  lv_term suspension(const char* goal) { return lv_make_suspension(w, atom(goal), LV_ATOM_USER); }
  // The attributed cell a variable dereferences to, or null.
  lv_term* attributed(lv_term var) {
    lv_term* cell = lv_ref_cell(lv_deref(var));
    return lv_is_attvar_cell(w, cell) ? cell : nullptr;
  }
};

TEST_F(SuspensionTest, RecordHasAFreshDoneVariable) {
  lv_term s = suspension("g");
  EXPECT_EQ(text(s), "$apply(g,user,_)");
  const lv_term* cells = lv_struct_cells(s);
  EXPECT_TRUE(lv_is_unbound_cell(&cells[3]));
  EXPECT_EQ(w->H - cells, LV_SUSPENSION_CELLS);
}

TEST_F(SuspensionTest, PlainVariableBecomesAttributed) {
  for (bool older : {false, true}) {
    SCOPED_TRACE(older ? "older than the choicepoint" : "newer");
    lv_term var = terms::var(w);
    w->HB = older ? w->H : w->H - 1;
    lv_term s = suspension("g");
    lv_term* tr = w->TR;
    lv_term* h = w->H;
    lv_bind_attributed(w, s, var);
    lv_term* cell = attributed(var);
    ASSERT_NE(cell, nullptr);
    EXPECT_TRUE(cell > h && cell < w->H);
    EXPECT_EQ(lv_attvar_vector(cell), LV_ATOM_NIL);
    EXPECT_EQ(text(lv_attvar_goals(cell)), "[$apply(g,user,_)|[]]");
    EXPECT_EQ(lv_list_cells(lv_attvar_goals(cell))[0], s);
    EXPECT_LE(w->H - h, LV_BIND_ATTRIBUTED_CELLS);
    EXPECT_EQ(w->TR - tr, older ? 1 : 0);
    EXPECT_EQ(w->wakeup_count, 0);
  }
}

TEST_F(SuspensionTest, AttributedVariableGetsALongerList) {
  for (bool older : {false, true}) {
    SCOPED_TRACE(older ? "older than the choicepoint" : "newer");
    lv_term var = terms::attvar(w);
    lv_term* old_cell = lv_ref_cell(var);
    lv_term vector = terms::fn(w, LV_ATOM_NIL, {atom("attr")});
    lv_attvar_vector(old_cell) = vector;
    lv_term first = suspension("g1");
    lv_bind_attributed(w, first, var);
    w->HB = older ? w->H : old_cell;
    lv_set_soft_limit(w, w->heap_hard_limit);
    lv_term second = suspension("g2");
    lv_term* tr = w->TR;
    lv_bind_attributed(w, second, var);
    lv_term* cell = attributed(var);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell != old_cell, older);
    EXPECT_EQ(lv_attvar_vector(cell), vector);
    EXPECT_EQ(text(lv_attvar_goals(cell)), "[$apply(g2,user,_)|[$apply(g1,user,_)|[]]]");
    EXPECT_EQ(w->TR - tr, older ? 1 : 0);
    // Moving the variable wakes nothing.
    EXPECT_EQ(w->wakeup_count, 0);
    EXPECT_EQ(lv_event_pending(w), 0);
  }
}

}  // namespace
