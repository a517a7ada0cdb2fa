// The time-out timer's expiry, queued from the timer's thread, ends a
// running query as the exception time_out; time_out/3 turns it into its
// result. The query spins until the event reaches it: nothing here waits
// for a duration.
#include <gtest/gtest.h>

#include "core/predefined_atoms.h"
#include "embed/startup_support.h"

using namespace startup_test;

namespace {

class TimeoutEvent : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_BOOT_FILE();
    ASSERT_TRUE(start_and_boot());
  }
  void TearDown() override { LV_deinitialize(); }

  // (repeat, atom_length(abc, _), fail): runs until an exception ends it.
  lv_term_ref spin() {
    lv_term comma = lv_atom_from_text(",", LV_ATOM_FIND_OR_CREATE);
    lv_term_ref step = LV_new_term_ref();
    LV_cons_functor(step, lv_atom_from_text("atom_length", LV_ATOM_FIND_OR_CREATE), 2, atom_ref("abc"), var_ref());
    lv_term_ref rest = LV_new_term_ref();
    LV_cons_functor(rest, comma, 2, step, atom_ref("fail"));
    lv_term_ref goal = LV_new_term_ref();
    LV_cons_functor(goal, comma, 2, atom_ref("repeat"), rest);
    return goal;
  }
};

TEST_F(TimeoutEvent, TheExpiryEndsTheGoal) {
  lv_term_ref result = var_ref();
  ASSERT_EQ(query("prolog", "time_out", {spin(), int_ref(20), result}), 1);
  EXPECT_EQ(text_of(result), "time_out");
}

TEST_F(TimeoutEvent, WithoutACatchTheExceptionEndsTheQuery) {
  lv_term_ref deadline = int_ref(5);
  lv_term_ref error = var_ref();
  ASSERT_EQ(query("prolog", "$timer_start", {atom_ref("off"), deadline, error}), 1);
  EXPECT_EQ(int_of(error), 0);
  ASSERT_EQ(query("prolog", "call", {spin()}), -1);
  lv_term_ref e = LV_new_term_ref();
  ASSERT_EQ(LV_exception_term(e), 1);
  EXPECT_EQ(term_text(e), "time_out");
}

}  // namespace
