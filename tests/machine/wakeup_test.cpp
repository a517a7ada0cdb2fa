// Wake-ups on the emulator: a clause binds attributed variables in its head
// and then calls on; the role predicates of woken variables run first, in
// the order of the bindings, and what stands of the bindings is undone on
// backtracking.
#include <gtest/gtest.h>

#include <string>

#include "core/attributes.h"
#include "core/suspension.h"
#include "core/unify.h"
#include "support/emulator_fixture.h"
#include "support/term_text.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::small;

std::string calls;  // the role predicates and after/0, in the order run

void note(const std::string& what) { calls += (calls.empty() ? "" : " ") + what; }
std::string text(lv_worker* w, lv_term t) { return terms::reader(w).write(t); }

int wake_attributes(lv_worker* w) {
  note("wake(" + text(w, w->X[0]) + "," + text(w, w->X[1]) + ")");
  return 1;
}
int run_goals(lv_worker* w) {
  note("run(" + text(w, w->X[0]) + ")");
  return 1;
}
int after_event(lv_worker*) { return 1; }
int after(lv_worker*) {
  note("after");
  return 1;
}

class WakeUpTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    calls.clear();
    role("$event_handler", 0, after_event);
    // The frame handler ends by resuming the interrupted code.
    Assembler resume;
    resume.op(LV_OP_EXECUTE, {P(lv_kind_pred[LV_KIND_BUILTIN_RESUME])});
    clauses("$frame_handler", 7, {&resume}, "prolog");
    role("$wake_attributes", 2, wake_attributes);
    role("$run_woken_goals", 1, run_goals);
    lv_module* m = find_module(atom("colour"), 1);
    ASSERT_EQ(lv_attr_module_register(m), 1);
    colour = m;
    // p(X, Y) :- X = 1, Y = 2 in the head, then after.
    Assembler a;
    a.op(LV_OP_GET_CONSTANT, {X(0), C(small(1))})
        .op(LV_OP_GET_CONSTANT, {X(1), C(small(2))})
        .op(LV_OP_EXECUTE, {P(c_pred("after", 0, after))});
    p = clauses("p", 2, {&a});
  }

  lv_term with_attribute(const char* value) {
    lv_term v = terms::var(w);
    put_attributes(w, v, colour, atom(value));
    return lv_deref(v);
  }
  lv_term with_goal(const char* goal) {
    lv_term v = terms::var(w);
    lv_bind_attributed(w, lv_make_suspension(w, atom(goal), LV_ATOM_USER), v);
    return lv_deref(v);
  }

  lv_module* colour = nullptr;
  lv_pred* p = nullptr;
};

TEST_F(WakeUpTest, AttributedVariablesAreHandedOverAllAtOnce) {
  lv_term x = with_attribute("red"), y = with_attribute("blue");
  ASSERT_EQ(call(p, {x, y}), 1);
  EXPECT_EQ(calls, "wake([_,_],[1,2]) after");
  // The handler got them unbound; this one leaves them so.
  EXPECT_EQ(lv_deref(x), x);
  EXPECT_EQ(lv_deref(y), y);
}

TEST_F(WakeUpTest, WakeUpsRunOneAtATimeInOrderAndAreUndoneOnBacktracking) {
  lv_term x = with_attribute("red"), y = with_goal("g");
  ASSERT_EQ(call(p, {x, y}), 1);
  EXPECT_EQ(calls, "wake(_,1) run([$apply(g,user,_)]) after");
  EXPECT_EQ(lv_deref(x), x);         // unbound for the handler
  EXPECT_EQ(lv_deref(y), small(2));  // a goal's binding stands
  EXPECT_EQ(redo(), 0);
  EXPECT_EQ(lv_deref(y), y);
  EXPECT_EQ(w->wakeup_count, 0);

  calls.clear();
  ASSERT_EQ(call(p, {with_goal("h"), with_attribute("green")}), 1);
  EXPECT_EQ(calls, "run([$apply(h,user,_)]) wake(_,2) after");
}

// A predicate written in C binds the variable; the wake-up runs at the next
// event check, here the query's exit.
TEST_F(WakeUpTest, ABindingInACPredicateWakesBeforeTheQueryEnds) {
  lv_pred* bind = c_pred("bind_one", 1, [](lv_worker* w) { return cunify(w, w->X[0], small(1)); });
  lv_term x = with_attribute("red");
  ASSERT_EQ(call(bind, {x}), 1);
  EXPECT_EQ(calls, "wake([_],[1])");
}

TEST_F(WakeUpTest, AFailedHeadWakesNothing) {
  lv_term x = with_attribute("red");
  ASSERT_EQ(call(p, {x, small(3)}), 0);
  EXPECT_EQ(calls, "");
  EXPECT_EQ(lv_deref(x), x);
  EXPECT_EQ(w->wakeup_count, 0);
}

}  // namespace
