// Errors raised from the emulator in the context of a predicate.
#include "machine/emulator_errors.h"

#include <gtest/gtest.h>

#include "machine/routines_fixture.h"

namespace {

class EmulatorErrorsTest : public RoutinesTest {
 protected:
  lv_pred* foo() { return pred("lists", "foo", 2); }
};

TEST_F(EmulatorErrorsTest, RaisesInThePredicatesContext) {
  struct Case {
    const char* name;
    bool unbound_culprit;
    int32_t code;
  };
  for (const Case& c : {Case{"bound culprit", false, 1283}, Case{"unbound culprit", true, 0}}) {
    SCOPED_TRACE(c.name);
    w->X[0] = atom("a");
    w->X[1] = lv_make_small(2);
    lv_term culprit = c.unbound_culprit ? terms::var(w) : atom("bad");
    EXPECT_EQ(lv_raise_in_predicate(w, 1283, foo(), 2, culprit), 0);
    EXPECT_EQ(lv_pending_error_code(), c.code);
    EXPECT_STREQ(lv_pending_error_message(), "");
    ASSERT_TRUE(error_handler_called());
    EXPECT_EQ(text(handler_arg(0)), "lists:foo(a,2)");
    EXPECT_EQ(handler_arg(1), lv_make_small(2));
    EXPECT_EQ(text(handler_arg(2)), c.unbound_culprit ? "_" : "bad");
    EXPECT_EQ(handler_arg(3), LV_ATOM_NIL);
    lv_pop_call_choicepoint(w);
  }
}

TEST_F(EmulatorErrorsTest, ArgumentsComeFromTheContinuationFrame) {
  // A frame [E, CP, Y0, Y1] holding the arguments, as a continuation frame
  // of the predicate holds them.
  lv_term* frame = w->local_top;
  frame[LV_FRAME_E] = lv_make_ref(w->E);
  frame[LV_FRAME_CP] = 0;
  frame[LV_FRAME_Y] = atom("c");
  frame[LV_FRAME_Y + 1] = atom("d");
  w->E = frame;
  w->local_top = frame + 4;
  w->X[0] = atom("stale");
  w->X[1] = atom("stale");
  EXPECT_EQ(lv_raise_in_predicate_args(w, 513, foo(), 1, atom("c")), 0);
  EXPECT_EQ(lv_pending_error_code(), 513);
  ASSERT_TRUE(error_handler_called());
  EXPECT_EQ(text(handler_arg(0)), "lists:foo(c,d)");
  EXPECT_EQ(handler_arg(1), lv_make_small(1));
}

}  // namespace
