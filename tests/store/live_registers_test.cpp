// Live argument registers at a code address.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "machine/insn_walk.h"
#include "store/live_registers.h"
#include "store/static_code.h"
#include "support/assembler.h"
#include "support/store_fixture.h"

namespace {

using namespace assembler;

class LiveRegisters : public StoreTest {
 protected:
  // The live registers below 256 as text: "0,2,5".
  std::string live_set(const uint32_t* address) {
    lv_live_set s;
    lv_live_x_register_set(w, address, &s);
    std::string text;
    for (unsigned r = 0; r < 256; r++)
      if (lv_live_set_has(s, r)) text += (text.empty() ? "" : ",") + std::to_string(r);
    return text;
  }
};

// Small assembled sequences: the registers live at their start and the count.
TEST_F(LiveRegisters, AssembledSequences) {
  lv_pred* p0 = pred("user", "p", 0);
  lv_pred* p2 = pred("user", "p", 2);
  lv_pred* p3 = pred("user", "p", 3);
  lv_pred* p8 = pred("user", "p", 8);
  struct Case {
    const char* what;
    std::function<void(Assembler&)> code;
    const char* live;
    int count;
  };
  Case cases[] = {
      {"proceed", [](Assembler& a) { a.op(LV_OP_PROCEED); }, "", 0},
      {"call with arity 3", [&](Assembler& a) { a.op(LV_OP_EXECUTE, {P(p3)}); }, "0,1,2", 3},
      {"a put overwrites before the call",
       [&](Assembler& a) { a.op(LV_OP_PUT_CONSTANT, {X(0), C(7)}).op(LV_OP_EXECUTE, {P(p3)}); }, "1,2", 3},
      {"every argument put",
       [&](Assembler& a) {
         a.op(LV_OP_PUT_NIL, {X(2)}).op(LV_OP_PUT_X_VARIABLE, {X(0), X(1)}).op(LV_OP_EXECUTE, {P(p3)});
       },
       "", 0},
      {"the load list writes before the call",
       [&](Assembler& a) { a.op(LV_OP_CALL, {R(0, {{VALUE, 0}, {VOID, 0}}), P(p3), S(1)}); }, "2", 3},
      {"a call clobbers what follows",
       [&](Assembler& a) {
         a.op(LV_OP_FIRSTCALL, {R(0, {}), P(p0), S(1)}).op(LV_OP_CUTB_X, {X(9)}).op(LV_OP_PROCEED);
       },
       "", 0},
      {"call/N reads N registers",
       [&](Assembler& a) { a.op(LV_OP_LASTCALL_CALL, {R(1, {{VALUE, 0}}), N(3)}); }, "0,2", 3},
      {"read before written",
       [&](Assembler& a) { a.op(LV_OP_GET_X_VALUE, {X(4), X(5)}).op(LV_OP_PUT_NIL, {X(4)}).op(LV_OP_EXECUTE, {P(p8)}); },
       "0,1,2,3,4,5,6,7", 8},
      {"written, then read by the second move",
       [&](Assembler& a) {
         a.op(LV_OP_GET_XVAR_XVAR, {X(1), X(4), X(4), X(5)}).op(LV_OP_EXECUTE, {P(p8)});
       },
       "0,1,2,3,6,7", 8},
      {"head unification reads and builds",
       [&](Assembler& a) {
         a.op(LV_OP_GET_LIST, {X(1)})
             .op(LV_OP_U2_XVAR_XVAL, {X(3), X(3)})
             .op(LV_OP_GET_X_VALUE_PROCEED, {X(3), X(0)});
       },
       "0,1", 2},
      {"nothing after the end of the run counts",
       [](Assembler& a) { a.op(LV_OP_PROCEED).op(LV_OP_CUTB_X, {X(6)}).op(LV_OP_PROCEED); }, "", 0},
      {"nothing after backtracking counts",
       [](Assembler& a) { a.op(LV_OP_FAIL).op(LV_OP_CUTB_X, {X(6)}).op(LV_OP_PROCEED); }, "", 0},
      {"a register read after a failure continuation",
       [&](Assembler& a) {
         a.op(LV_OP_ATOM, {X(1), L("else")})
             .op(LV_OP_PUT_NIL, {X(0)})
             .op(LV_OP_EXECUTE, {P(p0)})
             .label("else")
             .op(LV_OP_GET_X_VALUE, {X(5), X(6)})
             .op(LV_OP_PROCEED);
       },
       "1,5,6", 7},
      {"a failure continuation overwritten on the way",
       [&](Assembler& a) {
         a.op(LV_OP_VAR, {X(1), L("else")})
             .op(LV_OP_PROCEED)
             .label("else")
             .op(LV_OP_PUT_NIL, {X(1)})
             .op(LV_OP_EXECUTE, {P(p2)});
       },
       "0,1", 2},
      {"the shared failure codes are not followed",
       [&](Assembler& a) {
         a.op(LV_OP_INTEGER, {X(2), L(lv_fail_code)}).op(LV_OP_NONVAR, {X(3), L(lv_else_fail_code)}).op(LV_OP_PROCEED);
       },
       "2,3", 4},
      {"arithmetic reads and stores",
       [&](Assembler& a) {
         a.op(LV_OP_FIRST_X_VALUE, {X(3)})
             .op(LV_OP_BINOP_ADD_IMM, {I(1)})
             .op(LV_OP_STORE_X_VARIABLE, {X(0)})
             .op(LV_OP_EXECUTE, {P(p2)});
       },
       "1,3", 4},
      {"a NOP jumps over words",
       [&](Assembler& a) {
         a.op(LV_OP_NOP, {N(3)}).op(LV_OP_CUTB_X, {X(12)}).op(LV_OP_CUTB_X, {X(9)}).op(LV_OP_PROCEED);
       },
       "9", 10},
      {"UNSPILL 299 reads an overflow register",
       [&](Assembler& a) { a.op(LV_OP_UNSPILL, {I(299), X(7)}).op(LV_OP_EXECUTE, {P(p8)}); }, "0,1,2,3,4,5,6", 300},
      {"SPILL reads its register",
       [&](Assembler& a) { a.op(LV_OP_SPILL, {I(260), X(3)}).op(LV_OP_PROCEED); }, "3", 4},
      {"an overflow read after a failure continuation",
       [&](Assembler& a) {
         a.op(LV_OP_NUMBER, {X(0), L("else")})
             .op(LV_OP_PROCEED)
             .label("else")
             .op(LV_OP_UNSPILL, {I(260), X(1)})
             .op(LV_OP_EXECUTE, {P(p2)});
       },
       "0", 261},
  };
  for (Case& c : cases) {
    Assembler a;
    c.code(a);
    a.finish();
    EXPECT_EQ(live_set(a.start()), c.live) << c.what;
    EXPECT_EQ(lv_live_x_registers(w, a.start(), 0), c.count) << c.what;
  }
}

TEST_F(LiveRegisters, NestedResultIsALowerBound) {
  Assembler a;
  a.op(LV_OP_EXECUTE, {P(pred("user", "p", 3))});
  a.finish();
  EXPECT_EQ(lv_live_x_registers(w, a.start(), 0), 3);
  EXPECT_EQ(lv_live_x_registers(w, a.start(), 2), 3);
  EXPECT_EQ(lv_live_x_registers(w, a.start(), 5), 5);
  EXPECT_EQ(lv_live_x_registers(w, lv_proceed_code, 4), 4);
}

// A NATIVE_OP at the address stands for the bytecode it replaced; one in the
// middle of a run continues there, and one leading back into the run ends it.
TEST_F(LiveRegisters, NativeOpIndirection) {
  Assembler bytecode;
  bytecode.op(LV_OP_CUTB_X, {X(4)}).op(LV_OP_PROCEED);
  bytecode.finish();
  Assembler native;
  native.op(LV_OP_NATIVE_OP, {A(bytecode.start())});
  native.finish();
  EXPECT_EQ(live_set(native.start()), "4");

  Assembler middle;
  middle.op(LV_OP_CUTB_X, {X(1)}).op(LV_OP_NATIVE_OP, {A(bytecode.start())});
  middle.finish();
  EXPECT_EQ(live_set(middle.start()), "1,4");

  Assembler loop;
  loop.label("top").op(LV_OP_CUTB_X, {X(2)}).op(LV_OP_NATIVE_OP, {A("top")});
  loop.finish();
  EXPECT_EQ(live_set(loop.start()), "2");
}

// Failure continuations that lead back to code being analysed: the analysis
// ends, and each start sees the registers of the whole cycle.
TEST_F(LiveRegisters, CyclicContinuations) {
  lv_pred* p0 = pred("user", "p", 0);
  Assembler self;
  self.label("top").op(LV_OP_ATOM, {X(2), L("top")}).op(LV_OP_EXECUTE, {P(pred("user", "p", 1))});
  self.finish();
  EXPECT_EQ(live_set(self.start()), "0,2");

  Assembler pair;
  pair.label("a").op(LV_OP_ATOM, {X(1), L("b")}).op(LV_OP_EXECUTE, {P(p0)});
  pair.label("b").op(LV_OP_VAR, {X(3), L("a")}).op(LV_OP_GET_X_VALUE, {X(5), X(5)}).op(LV_OP_EXECUTE, {P(p0)});
  pair.finish();
  EXPECT_EQ(live_set(pair.at("a")), "1,3,5");
  EXPECT_EQ(live_set(pair.at("b")), "1,3,5");
}

// Forty if-then-elses in a row: each else branch joins the code after it, so
// the joins are reached along 2^40 paths; each is analysed once.
TEST_F(LiveRegisters, SequentialIfThenElses) {
  Assembler a;
  std::string expected;
  for (unsigned i = 0; i < 40; i++) {
    std::string other = "else" + std::to_string(i);
    a.op(LV_OP_INTEGER, {X(i), L(other.c_str())});
    a.op(LV_OP_NOP, {N(3)});  // over the else branch
    a.label(other).op(LV_OP_CUTB_X, {X(100 + i)});
  }
  a.op(LV_OP_PROCEED);
  a.finish();
  for (unsigned r = 0; r < 40; r++) expected += (r > 0 ? "," : "") + std::to_string(r);
  for (unsigned r = 100; r < 140; r++) expected += "," + std::to_string(r);
  EXPECT_EQ(live_set(a.start()), expected);
  EXPECT_EQ(lv_live_x_registers(w, a.at("else39"), 0), 140);
}

// Choicepoint alternatives, stubs and the engine's called predicate.
TEST_F(LiveRegisters, AlternativesAndStubs) {
  // TRY saving three registers sets X3 first; the target reads X3 and X6.
  Assembler target;
  target.op(LV_OP_GET_X_VALUE, {X(3), X(6)}).op(LV_OP_PROCEED);
  target.finish();
  lv_try_record record = {nullptr, target.start(), nullptr, 48 + 8 * 3, lv_opcode(LV_OP_TRY)};
  EXPECT_EQ(live_set(&record.insn), "0,1,2,6");

  // A handler frame at a shared stub of arity 300 saves 300 registers.
  EXPECT_EQ(lv_live_x_registers(w, lv_code_stub_for_arity(300), 0), 300);

  w->called_pred = pred("user", "q", 4);
  EXPECT_EQ(lv_live_x_registers(w, lv_switch_code, 0), 4);
  EXPECT_EQ(lv_live_x_registers(nullptr, lv_switch_code, 0), 0);

  static int routine;
  EXPECT_EQ(lv_live_x_registers(w, lv_new_c_call_stub(&routine, 2)->code, 0), 2);
  EXPECT_EQ(lv_live_x_registers(w, lv_fail_code, 0), 0);
}

// Each run takes the next epoch; after 255 the marks are cleared and the
// epoch starts again at 1, so a mark left by a run 255 runs earlier, which
// carries the epoch that comes back, is not taken as live.
TEST_F(LiveRegisters, EpochWrapLeavesNoStaleMarks) {
  Assembler reads7;
  reads7.op(LV_OP_CUTB_X, {X(7)}).op(LV_OP_PROCEED);
  reads7.finish();
  ASSERT_EQ(lv_live_x_registers(w, reads7.start(), 0), 8);
  unsigned marked = lv_live_registers_epoch();
  ASSERT_GE(marked, 1u);
  unsigned epoch = marked;
  bool wrapped = false;
  for (int run = 1; run <= 255; run++) {
    // Reads nothing and writes nothing: X7's mark stays as it was.
    EXPECT_EQ(lv_live_x_registers(w, lv_proceed_code, 0), 0) << "run " << run;
    unsigned next = lv_live_registers_epoch();
    EXPECT_EQ(next, epoch == 255 ? 1u : epoch + 1) << "run " << run;
    if (next == 1) wrapped = true;
    epoch = next;
  }
  EXPECT_TRUE(wrapped);
  EXPECT_EQ(epoch, marked);
  EXPECT_EQ(lv_live_x_registers(w, reads7.start(), 0), 8);
}

}  // namespace
