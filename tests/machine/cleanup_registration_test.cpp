// Cleanup goals registered through $trail_cleanup, run by the emulator when
// a failure passes the choicepoints the registration marked.
#include <gtest/gtest.h>

#include "core/choice_builtins.h"
#include "core/cleanups.h"
#include "core/predefined_atoms.h"
#include "support/emulator_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;

struct observations {
  int runs;
  int after;
  lv_term goals;
  lv_term cuts;
};
observations seen;

int runner(lv_worker* w) {
  seen.runs++;
  seen.goals = lv_deref(w->X[0]);
  seen.cuts = lv_deref(w->X[1]);
  return 1;
}

int count_after(lv_worker*) {
  seen.after++;
  return 1;
}

lv_term cleanup_goal;

// Registers [S | goal] and fails.
int register_and_fail(lv_worker* w) {
  w->X[0] = terms::cons(w, terms::var(w), cleanup_goal);
  EXPECT_EQ(prolog_trail_cleanup(w), 1);
  return 0;
}

// Registers [S | first] and [S | second], each pushing its guard, and
// fails.
int register_two_and_fail(lv_worker* w) {
  w->X[0] = terms::cons(w, terms::var(w), lv_atom_from_text("first", LV_ATOM_FIND_OR_CREATE));
  EXPECT_EQ(prolog_trail_cleanup(w), 1);
  w->X[0] = terms::cons(w, terms::var(w), lv_atom_from_text("second", LV_ATOM_FIND_OR_CREATE));
  EXPECT_EQ(prolog_trail_cleanup(w), 1);
  return 0;
}

class CleanupRegistrationTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    seen = {};
    role("$run_cleanups", 3, runner);
    w->termrefs[LV_CLEANUP_CHAIN_SLOT].term = terms::mutable_term(w, LV_ATOM_NIL);
    cleanup_goal = atom("my_cleanup");
  }
};

TEST_F(CleanupRegistrationTest, AFailureRunsTheGoalThenTriesTheNextClause) {
  Assembler c1, c2;
  c1.op(LV_OP_EXECUTE, {P(c_pred("register_and_fail", 0, register_and_fail))});
  c2.op(LV_OP_EXECUTE, {P(c_pred("after", 0, count_after))});
  lv_term* bottom = w->B;
  EXPECT_EQ(call(clauses("t", 0, {&c1, &c2})), 1);
  EXPECT_EQ(seen.runs, 1);
  EXPECT_EQ(seen.goals, cleanup_goal);
  EXPECT_EQ(seen.cuts, LV_ATOM_NIL);
  EXPECT_EQ(seen.after, 1);
  // The chain is back to what it was before the registration.
  EXPECT_EQ(lv_deref(lv_struct_cells(lv_cleanup_chain(w))[1]), LV_ATOM_NIL);
  EXPECT_EQ(redo(), 0);
  EXPECT_EQ(seen.runs, 1);
  EXPECT_LE(w->B, bottom);
}

// Entries registered under two newer choicepoints: a cut to the older one
// finds both, the chain at that choicepoint being the old value of the
// first registration's trail entry.
TEST_F(CleanupRegistrationTest, ACutFindsTheEntriesOfEveryNewerChoicepoint) {
  lv_push_call_choicepoint(w, &lv_static.fail_alternative);
  int64_t target = w->choice_base - w->B;
  w->X[0] = terms::cons(w, terms::small(1), atom("first"));
  ASSERT_EQ(prolog_trail_cleanup(w), 1);
  w->X[0] = terms::cons(w, terms::small(1), atom("second"));
  ASSERT_EQ(prolog_trail_cleanup(w), 1);
  lv_make_choice_current(w, w->choice_base - target);
  ASSERT_EQ(lv_run_trail_cleanups(w, LV_ATOM_CUT), lv_role.cleanup_runner);
  lv_term goals = lv_deref(w->X[0]);
  ASSERT_TRUE(lv_is_struct(goals));
  const lv_term* g = lv_struct_cells(goals);
  EXPECT_EQ(g[0], lv_make_functor(atom("call_cleanup_internal"), 2));
  EXPECT_EQ(lv_deref(g[1]), atom("second"));
  EXPECT_EQ(lv_deref(g[2]), atom("first"));
  // Both are unlinked: the chain is what it was at the target.
  EXPECT_EQ(lv_deref(lv_struct_cells(lv_cleanup_chain(w))[1]), LV_ATOM_NIL);
}

// A failure past two registrations runs each goal once, the newest first
// as the failure passes its guard, and then goes on to the next clause.
TEST_F(CleanupRegistrationTest, AFailurePastTwoRegistrationsRunsEachOnce) {
  Assembler c1, c2;
  c1.op(LV_OP_EXECUTE, {P(c_pred("register_two_and_fail", 0, register_two_and_fail))});
  c2.op(LV_OP_EXECUTE, {P(c_pred("after", 0, count_after))});
  EXPECT_EQ(call(clauses("t", 0, {&c1, &c2})), 1);
  EXPECT_EQ(seen.runs, 2);
  EXPECT_EQ(seen.goals, atom("first"));
  EXPECT_EQ(seen.after, 1);
  EXPECT_EQ(lv_deref(lv_struct_cells(lv_cleanup_chain(w))[1]), LV_ATOM_NIL);
}

}  // namespace
