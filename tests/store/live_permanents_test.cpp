// The permanent variables live at a continuation, and the collector taking
// only those as roots.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/gc.h"
#include "core/numbers.h"
#include "core/stack_shift.h"
#include "machine/frames.h"
#include "store/live_permanents.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;

class LivePermanentsTest : public StoreTest {
 protected:
  // The live set at label k of the code, as "all" or the indexes.
  std::string live_at(const uint32_t* k) {
    lv_live_permanents s;
    lv_code_live_permanents(k, &s, nullptr);
    if (s.all) return "all";
    std::string out;
    for (unsigned i = 0; i < LV_TRACKED_PERMANENTS; i++)
      if (lv_permanent_live(s, i)) out += (out.empty() ? "" : ",") + std::to_string(i);
    return "{" + out + "}";
  }

  // A full collection (X0 is its argument).
  void collect() {
    w->X[0] = terms::small(1);
    prolog_gc_start(w);
    w->X[0] = LV_ATOM_NIL;
  }

  // Pushes a frame {E, CP, Y0 = a300(1), Y1 = a301(2)} with continuation
  // cp (which must follow a call with frame size 2) on a heap that holds
  // nothing else; returns the heap cells used before the two terms.
  int64_t push_two_term_frame(const uint32_t* cp) {
    using namespace terms;
    for (lv_term& x : w->X) x = LV_ATOM_NIL;
    collect();
    int64_t used = w->H - w->area_start;
    lv_term* frame = w->local_top;
    frame[LV_FRAME_E] = lv_make_ref(w->E);
    frame[LV_FRAME_CP] = reinterpret_cast<lv_term>(w->CP);
    frame[LV_FRAME_Y] = fn(w, terms::atom(300), {small(1)});
    frame[LV_FRAME_Y + 1] = fn(w, terms::atom(301), {small(2)});
    w->E = frame;
    w->CP = cp;
    w->local_top = frame + 4;
    EXPECT_EQ(lv_frame_size_at(cp), 32);
    return used;
  }
};

TEST_F(LivePermanentsTest, ByTheCodeAfterTheContinuation) {
  lv_pred* p = pred("user", "p", 0);
  lv_pred* q = pred("user", "q", 1);
  auto end = [&](Assembler& a) -> Assembler& { return a.op(LV_OP_END_OF_CLAUSE, {P(p)}); };
  struct Case {
    const char* what;
    std::function<void(Assembler&)> code;  // starts at the continuation
    const char* live;
  };
  const Case cases[] = {
      {"read", [&](Assembler& a) { end(a.op(LV_OP_PUT_Y_VALUE, {X(0), Y(0)}).op(LV_OP_LASTCALL, {R(0, {}), P(q)})); },
       "{0}"},
      {"written first",
       [&](Assembler& a) {
         end(a.op(LV_OP_PUT_Y_VARIABLE, {X(0), Y(1)})
                 .op(LV_OP_CALL, {R(1, {}), P(q), S(2)})
                 .op(LV_OP_LASTCALL, {R(0, {{VALUE, 1}}), P(q)}));
       },
       "{}"},
      {"register-load lists",
       [&](Assembler& a) {
         end(a.op(LV_OP_CALL, {R(0, {{VALUE, 2}, {VARIABLE, 3}, {UNSAFE_VALUE, 4}, {VOID, 0}}), P(q), S(5)})
                 .op(LV_OP_LASTCALL, {R(0, {{VALUE, 3}, {VALUE, 5}}), P(q)}));
       },
       "{2,4,5}"},
      {"register-save list writes",
       [&](Assembler& a) { end(a.op(LV_OP_GET, {G({{1, 0}})}).op(LV_OP_LASTCALL, {R(0, {{VALUE, 0}}), P(q)})); },
       "{}"},
      {"both ways of a comparison",
       [&](Assembler& a) {
         a.op(LV_OP_FIRST_Y_VALUE, {Y(0)}).op(LV_OP_EQUAL_TO_IMM, {I(1), L("else")});
         end(a.op(LV_OP_LASTCALL, {R(0, {{VALUE, 1}}), P(q)}));
         a.label("else").op(LV_OP_PUT_Y_VARIABLE, {X(1), Y(1)});
         end(a.op(LV_OP_LASTCALL, {R(0, {{VALUE, 2}, {VALUE, 1}}), P(q)}));
       },
       "{0,1,2}"},
      {"failure is no successor",
       [&](Assembler& a) {
         a.op(LV_OP_FIRST_Y_VALUE, {Y(0)}).op(LV_OP_EQUAL_TO_IMM, {I(1), L(lv_fail_code)});
         a.op(LV_OP_FAIL).op(LV_OP_PUT_Y_VALUE, {X(0), Y(3)});
         end(a);
       },
       "{0}"},
      {"cut and progress",
       [&](Assembler& a) { end(a.op(LV_OP_CUT_Y_PROGRESS, {Y(2)}).op(LV_OP_PUT_Y_VALUE, {X(0), Y(3)})); },
       "{2}"},
      {"a new frame", [&](Assembler& a) { end(a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(0)}).op(LV_OP_PROCEED)); },
       "all"},
      {"another end", [&](Assembler& a) { a.op(LV_OP_SWITCH_ON_PRED); }, "all"},
      {"a branch out of the block",
       [&](Assembler& a) { end(a.op(LV_OP_EQUAL_TO, {L(lv_proceed_code)}).op(LV_OP_PROCEED)); }, "all"},
      {"the block ends first", [&](Assembler& a) { a.op(LV_OP_PUT_Y_VALUE, {X(0), Y(0)}); }, "all"},
  };
  for (const Case& c : cases) {
    Assembler a;
    a.label("k");
    c.code(a);
    a.finish();
    EXPECT_EQ(live_at(a.at("k")), c.live) << c.what;
  }
  EXPECT_EQ(live_at(lv_proceed_code), "all");
  EXPECT_EQ(live_at(nullptr), "all");
  EXPECT_EQ(live_at(lv_code_stub_for_arity(4)), "all");
}

TEST_F(LivePermanentsTest, VariablesBeyondTheTrackedOnesAreLive) {
  lv_pred* p = pred("user", "p", 0);
  Assembler a;
  a.label("k").op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  a.finish();
  lv_live_permanents s;
  lv_permanents_memo memo;
  lv_permanents_memo_clear(&memo);
  lv_code_live_permanents(a.at("k"), &s, &memo);
  EXPECT_FALSE(s.all);
  EXPECT_FALSE(lv_permanent_live(s, 0));
  EXPECT_TRUE(lv_permanent_live(s, LV_TRACKED_PERMANENTS));
  lv_code_live_permanents(a.at("k"), &s, &memo);  // from the memo
  EXPECT_FALSE(lv_permanent_live(s, 255));
}

// The collector: a frame {Y0 = f(1), Y1 = g(2)} whose continuation reads
// only Y0 keeps g(2) alive no more; one that reads both keeps it.
class DeadPermanentTest : public LivePermanentsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DeadPermanentTest, IsNoRootOfTheCollector) {
  using namespace terms;
  bool read_both = GetParam();
  lv_pred* p = pred("user", "p", 0);
  lv_pred* q = pred("user", "q", 2);
  Assembler a;
  a.op(LV_OP_CALL, {R(0, {}), P(q), S(2)}).label("k");
  if (read_both)
    a.op(LV_OP_LASTCALL, {R(0, {{VALUE, 0}, {VALUE, 1}}), P(q)});
  else
    a.op(LV_OP_LASTCALL, {R(0, {{VALUE, 0}}), P(q)});
  a.op(LV_OP_END_OF_CLAUSE, {P(p)});
  a.finish();

  int64_t used = push_two_term_frame(a.at("k"));
  collect();
  lv_term* frame = w->E;  // the stacks may have moved
  EXPECT_EQ(show(frame[LV_FRAME_Y]), "a300(1)");
  if (read_both) {
    EXPECT_EQ(show(frame[LV_FRAME_Y + 1]), "a301(2)");
    EXPECT_EQ(w->H - w->area_start, used + 4);
  } else {
    EXPECT_EQ(w->H - w->area_start, used + 2);  // a301(2) is gone
  }
}
INSTANTIATE_TEST_SUITE_P(Collector, DeadPermanentTest, ::testing::Bool());

// A frame under a handler frame was interrupted past its continuation: all
// of its variables stay roots.
TEST_F(LivePermanentsTest, AFrameUnderAHandlerFrameKeepsAllItsVariables) {
  using namespace terms;
  lv_pred* p = pred("user", "p", 0);
  lv_pred* q = pred("user", "q", 2);
  Assembler a;
  a.op(LV_OP_CALL, {R(0, {}), P(q), S(2)}).label("k").op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  a.finish();
  int64_t used = push_two_term_frame(a.at("k"));
  lv_term* frame = w->E;
  // The handler frame above it, as lv_push_handler_frame leaves it.
  lv_term* handler = frame + 4;
  handler[LV_FRAME_E] = lv_make_ref(frame);
  handler[LV_FRAME_CP] = reinterpret_cast<lv_term>(a.at("k"));
  w->E = handler;
  w->CP = lv_code_stub_for_arity(0);
  w->local_top = handler + 2;
  collect();
  frame = reinterpret_cast<lv_term*>(w->E[LV_FRAME_E]);
  EXPECT_EQ(show(frame[LV_FRAME_Y]), "a300(1)");
  EXPECT_EQ(show(frame[LV_FRAME_Y + 1]), "a301(2)");
  EXPECT_EQ(w->H - w->area_start, used + 4);
}

}  // namespace
