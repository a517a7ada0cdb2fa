// The debugger's native state and built-ins.
#include <gtest/gtest.h>

#include "core/gc.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "store/debugger_slots.h"
#include "store/debugger_spypoints.h"
#include "store/debugger_state.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

using terms::fn;
using terms::var;

class DebuggerTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    lv_debugger = {LV_ATOM_OFF, false, false, 31, 0};
  }
  void TearDown() override {
    lv_debugger_slots_release(w);
    StoreTest::TearDown();
  }

  int run(int (*f)(lv_worker*), std::initializer_list<lv_term> args) {
    unsigned i = 0;
    for (lv_term a : args) w->X[i++] = a;
    return f(w);
  }
  lv_term small(int64_t v) { return lv_make_small(v); }
};

TEST_F(DebuggerTest, DebuggerGlobalTakesOnlyTheFourModes) {
  lv_term old = var(w);
  ASSERT_EQ(run(prolog_debugger_global, {old, LV_DBG_TRACE}), 1);
  EXPECT_EQ(lv_deref(old), LV_ATOM_OFF);
  EXPECT_EQ(run(prolog_debugger_global, {var(w), atom("step")}), 0);
  EXPECT_EQ(lv_debugger.mode, LV_DBG_TRACE);
  EXPECT_EQ(run(prolog_debugger_global, {LV_ATOM_OFF, LV_DBG_ZIP}), 0);  // Old does not match
  EXPECT_EQ(lv_debugger.mode, LV_DBG_TRACE);
}

TEST_F(DebuggerTest, BreakLevelGoesUpAndBack) {
  lv_term l = var(w), l2 = var(w);
  ASSERT_EQ(run(prolog_breaklevel, {l, small(1)}), 1);
  ASSERT_EQ(run(prolog_breaklevel, {l2, small(-1)}), 1);
  EXPECT_EQ(lv_small_value(lv_deref(l2)), lv_small_value(lv_deref(l)) + 1);
  EXPECT_EQ(run(prolog_breaklevel, {small(0), small(0)}), 1);
  EXPECT_EQ(run(prolog_breaklevel, {var(w), atom("x")}), 0);
}

// The leash word keeps only small integers: anything else could point into
// the stacks.
TEST_F(DebuggerTest, LeashModeKeepsSmallIntegersOnly) {
  EXPECT_EQ(run(prolog_leash_mode, {small(31), small(8)}), 1);
  EXPECT_EQ(run(prolog_leash_mode, {var(w), fn(w, atom("f"), {small(1)})}), 0);
  EXPECT_EQ(run(prolog_leash_mode, {var(w), var(w)}), 0);
  EXPECT_EQ(lv_debugger.leash, 8);
}

// Slots are 0-31 and the table from 1024 up; every other index fails.
TEST_F(DebuggerTest, SlotIndexesOutsideTheSlotsFail) {
  for (int64_t index : {int64_t{-1}, int64_t{32}, int64_t{1023}, LV_DEBUGGER_TABLE_FIRST + LV_DEBUGGER_TABLE_SLOTS}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(run(prolog_put_aux, {small(index), atom("x")}), 0);
    EXPECT_EQ(run(prolog_get_aux, {small(index), var(w)}), 0);
  }
  EXPECT_EQ(run(prolog_put_aux, {atom("a"), atom("x")}), 0);
  for (int64_t index : {int64_t{0}, int64_t{31}, LV_DEBUGGER_TABLE_FIRST, LV_DEBUGGER_TABLE_FIRST + LV_DEBUGGER_TABLE_SLOTS - 1}) {
    SCOPED_TRACE(index);
    lv_term v = var(w);
    ASSERT_EQ(run(prolog_put_aux, {small(index), atom("x")}), 1);
    ASSERT_EQ(run(prolog_get_aux, {small(index), v}), 1);
    EXPECT_EQ(lv_deref(v), atom("x"));
  }
}

// A stored compound outlives the heap it was built on and a collection.
TEST_F(DebuggerTest, AuxCompoundSurvivesBacktrackingAndCollection) {
  for (int64_t index : {int64_t{4}, LV_DEBUGGER_TABLE_FIRST + 3}) {
    SCOPED_TRACE(index);
    lv_term* mark = w->H;
    lv_term x = var(w);
    lv_term t = fn(w, atom("box"), {x, terms::list(w, {small(1), x}), lv_make_integer(w, int64_t{1} << 62)});
    std::string want = terms::show(t);
    ASSERT_EQ(run(prolog_put_aux, {small(index), t}), 1);
    w->H = mark;  // what backtracking does to the heap
    for (int i = 0; i < 8; i++) (void)fn(w, atom("junk"), {small(i), small(i)});
    w->H = mark;
    lv_gc(w);
    lv_term got = var(w);
    ASSERT_EQ(run(prolog_get_aux, {small(index), got}), 1);
    EXPECT_EQ(terms::show(got), want);
    // The shared variable is still one variable.
    const lv_term* args = lv_struct_cells(lv_deref(got)) + 1;
    EXPECT_EQ(lv_deref(args[0]), lv_deref(lv_list_cells(lv_deref(lv_list_cells(lv_deref(args[1]))[1]))[0]));
    // Replacing frees the old block (the sanitizer build counts leaks).
    ASSERT_EQ(run(prolog_put_aux, {small(index), atom("done")}), 1);
  }
}

TEST_F(DebuggerTest, SpypointSwitchesTheEntryToTheDebugger) {
  lv_pred* p = pred("user", "p", 1);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  lv_term head = fn(w, atom("p"), {var(w)});
  lv_term old = var(w);
  ASSERT_EQ(run(prolog_spypoint, {head, LV_ATOM_USER, old, LV_ATOM_ON}), 1);
  EXPECT_EQ(lv_deref(old), LV_ATOM_OFF);
  EXPECT_EQ(p->kind, static_cast<uint32_t>(LV_KIND_BREAKPOINT));
  EXPECT_EQ(run(prolog_spypoint, {head, LV_ATOM_USER, LV_ATOM_OFF, LV_ATOM_OFF}), 0);  // it is spied
  EXPECT_EQ(run(prolog_spypoint, {head, LV_ATOM_USER, var(w), atom("maybe")}), 0);
  ASSERT_EQ(run(prolog_spypoint, {head, LV_ATOM_USER, LV_ATOM_ON, LV_ATOM_OFF}), 1);
  EXPECT_EQ(p->kind, static_cast<uint32_t>(LV_KIND_ENTER_COMPACTCODE));
}

}  // namespace
