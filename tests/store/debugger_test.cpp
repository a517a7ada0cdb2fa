// The debugger's native state and built-ins.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core/gc.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/choice_builtins.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "store/debugger_frames.h"
#include "embed/runtime_services.h"
#include "store/debugger_boxes.h"
#include "store/debugger_ports.h"
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
  }
  void TearDown() override {
    lv_debugger_slots_release(w);
    lv_debugger_reset();
    StoreTest::TearDown();
  }

  int run(int (*f)(lv_worker*), std::initializer_list<lv_term> args) {
    unsigned i = 0;
    for (lv_term a : args) w->X[i++] = a;
    return f(w);
  }
  lv_term small(int64_t v) { return lv_make_small(v); }
  // A box record at a depth, as $box_setup makes them.
  lv_term box(int64_t depth) {
    return fn(w, atom("invst"), {small(0), small(depth), atom("g"), LV_ATOM_USER, small(0), var(w), var(w),
                                 small(1), LV_ATOM_NIL});
  }
  lv_term box_stack() { return lv_deref(lv_struct_cells(lv_deref(w->termrefs[2].term))[1]); }
};

TEST_F(DebuggerTest, DebuggerGlobalTakesOnlyTheFourModes) {
  lv_term old = var(w);
  ASSERT_EQ(run(prolog_debugger_global, {old, LV_DBG_TRACE}), 1);
  EXPECT_EQ(lv_deref(old), LV_ATOM_OFF);
  EXPECT_EQ(run(prolog_debugger_global, {var(w), atom("step")}), 0);
  EXPECT_EQ(lv_debugger.mode, LV_DBG_TRACE);
  EXPECT_EQ(run(prolog_debugger_global, {LV_ATOM_OFF, LV_DBG_ZIP}), 0);  // Old does not match
  EXPECT_EQ(lv_debugger.mode, LV_DBG_TRACE);
  // (V, V): Old is unified first, so V reads the mode and keeps it.
  lv_term v = var(w);
  ASSERT_EQ(run(prolog_debugger_global, {v, v}), 1);
  EXPECT_EQ(lv_deref(v), LV_DBG_TRACE);
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
  lv_term v = var(w);
  ASSERT_EQ(run(prolog_leash_mode, {v, v}), 1);
  EXPECT_EQ(lv_deref(v), small(8));
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

// The port decision from slot 0 and the leash word.
TEST_F(DebuggerTest, PortDecisionTable) {
  struct Case {
    lv_term action;
    int64_t leash;
    lv_term port;
    lv_term debug, show, todo;
  };
  lv_term exception = fn(w, atom("exception"), {atom("e")});
  const Case cases[] = {
      {LV_DBG_TRACE, 8, LV_ATOM_CALL, LV_DBG_DEBUG, LV_DBG_PRINT, LV_DBG_ASK},
      {LV_DBG_TRACE, 8, LV_ATOM_FAIL, LV_DBG_DEBUG, LV_DBG_PRINT, LV_DBG_PROCEED},
      {LV_DBG_TRACE, 8, LV_DBG_NONDET, LV_DBG_DEBUG, LV_DBG_PRINT, LV_DBG_PROCEED},
      {LV_DBG_TRACE, 4, LV_DBG_DET, LV_DBG_DEBUG, LV_DBG_PRINT, LV_DBG_ASK},
      {LV_DBG_TRACE, 2, LV_DBG_REDO, LV_DBG_DEBUG, LV_DBG_PRINT, LV_DBG_ASK},
      {LV_DBG_TRACE, 15, exception, LV_DBG_DEBUG, LV_DBG_PRINT, LV_DBG_PROCEED},
      {LV_DBG_TRACE, 16, exception, LV_DBG_DEBUG, LV_DBG_PRINT, LV_DBG_ASK},
      {LV_DBG_ZIP, 31, LV_ATOM_CALL, LV_DBG_DEBUG, LV_DBG_SILENT, LV_DBG_FLIT},
      {LV_DBG_DEBUG, 31, LV_ATOM_CALL, LV_DBG_DEBUG, LV_DBG_SILENT, LV_DBG_PROCEED},
      {lv_make_small(3), 31, LV_ATOM_CALL, LV_ATOM_OFF, LV_DBG_SILENT, LV_DBG_FLIT},
      {lv_make_small(-3), 31, LV_ATOM_CALL, LV_DBG_DEBUG, LV_DBG_SILENT, LV_DBG_FLIT},
      {LV_ATOM_OFF, 31, LV_ATOM_CALL, LV_ATOM_OFF, LV_DBG_SILENT, LV_DBG_FLIT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(terms::show(c.action) + " leash " + std::to_string(c.leash) + " " + terms::show(c.port));
    w->debug_words[LV_DBG_SLOT_ACTION] = c.action;
    lv_debugger.leash = c.leash;
    lv_term debug = var(w);
    ASSERT_EQ(run(prolog_port_debugger_setup, {c.port, var(w), debug}), 1);
    EXPECT_EQ(lv_deref(debug), c.debug);
    EXPECT_EQ(w->debug_words[LV_DBG_SLOT_SHOW], c.show);
    EXPECT_EQ(w->debug_words[LV_DBG_SLOT_DO], c.todo);
  }
}

// A skip depth S: the first non-call port of a box at depth 1..|S| turns
// slot 0 back to trace; deeper boxes and call ports leave it.
TEST_F(DebuggerTest, SkipDepthResumesTracingWithinIt) {
  for (int64_t s : {3, -3}) {
    for (int64_t depth : {1, 2, 3, 4}) {
      for (lv_term port : {LV_ATOM_CALL, LV_ATOM_FAIL, LV_DBG_DET}) {
        SCOPED_TRACE(std::to_string(s) + " at depth " + std::to_string(depth) + " " + terms::show(port));
        w->debug_words[LV_DBG_SLOT_ACTION] = small(s);
        lv_term goal = var(w), module = var(w), advice = var(w);
        ASSERT_EQ(run(prolog_port_setup, {port, box(depth), goal, module, advice}), 1);
        EXPECT_EQ(lv_deref(goal), atom("g"));
        EXPECT_EQ(lv_deref(module), LV_ATOM_USER);
        EXPECT_EQ(w->debug_words[LV_DBG_SLOT_PORT], port);
        bool resumed = port != LV_ATOM_CALL && depth <= 3;
        EXPECT_EQ(w->debug_words[LV_DBG_SLOT_ACTION], resumed ? LV_DBG_TRACE : small(s));
        // The decision reads slot 0 as the skip test left it.
        EXPECT_EQ(lv_deref(advice), resumed || s < 0 ? LV_DBG_DEBUG : LV_ATOM_OFF);
      }
    }
  }
}

// Entering a box switches the entry mode to "inside a box"; leaving it
// switches back. Debugging on and off re-selects the entries.
TEST_F(DebuggerTest, EntryModeFollowsSlotZeroAndTheBox) {
  lv_pred* p = pred("user", "p", 0);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  w->debug_words[LV_DBG_SLOT_ACTION] = LV_DBG_TRACE;
  ASSERT_EQ(run(prolog_sync_debugger, {}), 1);
  EXPECT_EQ(w->debug_mode, 1);
  EXPECT_EQ(p->kind, static_cast<uint32_t>(LV_KIND_BREAKPOINT));
  lv_term b = var(w);
  ASSERT_EQ(run(prolog_box_setup, {atom("p"), LV_ATOM_USER, small(0), var(w), b}), 1);
  EXPECT_EQ(w->debug_mode, 3);
  lv_term result = var(w);
  ASSERT_EQ(run(prolog_call_port_conclusion, {LV_DBG_PROCEED, b, result}), 1);
  EXPECT_EQ(lv_deref(result), LV_DBG_PROCEED);
  EXPECT_EQ(w->debug_mode, 1);
  w->debug_words[LV_DBG_SLOT_ACTION] = LV_DBG_ZIP;
  ASSERT_EQ(run(prolog_sync_debugger, {}), 1);
  EXPECT_EQ(w->debug_mode, 2);
  EXPECT_EQ(p->kind, static_cast<uint32_t>(LV_KIND_ENTER_COMPACTCODE));
  // Skip depths beyond the small integers are stored, and count by sign.
  for (int64_t sign : {1, -1}) {
    ASSERT_EQ(run(prolog_put_aux, {small(0), lv_make_integer(w, sign * (int64_t{1} << 62))}), 1);
    ASSERT_EQ(run(prolog_sync_debugger, {}), 1);
    EXPECT_EQ(w->debug_mode, sign > 0 ? 4 : 2);
    EXPECT_EQ(lv_port_decision(w, LV_ATOM_CALL), sign > 0 ? LV_ATOM_OFF : LV_DBG_DEBUG);
    lv_debugger_skip_test(w, 1000);
    EXPECT_EQ(w->debug_words[LV_DBG_SLOT_ACTION], LV_DBG_TRACE);
  }
}

// Boxes nest with growing depth; a box left with one choicepoint above its
// own exits det, with two nondet; concluding it drops it and the
// choicepoints above the box's own.
TEST_F(DebuggerTest, BoxesNestAndExit) {
  lv_term outer = var(w), inner = var(w);
  ASSERT_EQ(run(prolog_box_setup, {atom("a"), LV_ATOM_USER, small(0), LV_ATOM_ON, outer}), 1);
  ASSERT_EQ(run(prolog_box_setup, {atom("b"), LV_ATOM_USER, small(0), LV_ATOM_ON, inner}), 1);
  EXPECT_EQ(lv_deref(lv_box_cells(inner)[LV_BOX_DEPTH]), small(2));
  EXPECT_EQ(lv_deref(lv_box_cells(inner)[LV_BOX_PARENT]), lv_deref(outer));
  EXPECT_EQ(run(prolog_box_setup, {atom("c"), LV_ATOM_USER, small(0), LV_ATOM_OFF, var(w)}), 0);
  lv_term* own = w->B;
  lv_push_call_choicepoint(w, &lv_static.fail_alternative);
  lv_term det = var(w), b = var(w), in_box = var(w);
  ASSERT_EQ(run(prolog_exit_setup, {det, b, in_box}), 1);
  EXPECT_EQ(lv_deref(det), LV_DBG_DET);
  EXPECT_EQ(lv_deref(b), lv_deref(inner));
  EXPECT_EQ(lv_deref(in_box), LV_ATOM_ON);
  lv_push_call_choicepoint(w, &lv_static.fail_alternative);
  lv_term* exit_choice = &lv_box_cells(inner)[LV_BOX_EXIT_CHOICE];
  *exit_choice = lv_make_ref(exit_choice);  // as backtracking into the goal leaves it
  det = var(w);
  ASSERT_EQ(run(prolog_exit_setup, {det, var(w), var(w)}), 1);
  EXPECT_EQ(lv_deref(det), LV_DBG_NONDET);
  ASSERT_EQ(run(prolog_exit_port_conclusion, {LV_DBG_DET, inner}), 1);
  EXPECT_EQ(w->B, own);
  EXPECT_EQ(w->debug_in_box, false);
  // The inner box is dropped; the outer one, made under the same
  // choicepoint, is innermost again.
  lv_term rest = box_stack();
  ASSERT_TRUE(lv_is_list(rest));
  EXPECT_EQ(lv_deref(lv_list_cells(rest)[0]), lv_deref(outer));
  // Concluding the outer one leaves no box, under its marker.
  ASSERT_EQ(run(prolog_exit_port_conclusion, {LV_DBG_DET, outer}), 1);
  lv_term stack = box_stack();
  ASSERT_TRUE(lv_is_struct(stack));
  EXPECT_EQ(lv_struct_cells(stack)[0], lv_make_functor(LV_DBG_EXEC_ST, 2));
  EXPECT_EQ(lv_deref(lv_struct_cells(stack)[2]), LV_ATOM_NIL);
}

// The value before the last backtrackable update, read from the trail entry
// the stamp names; a stamp that names another mutable's entry fails.
TEST_F(DebuggerTest, PrevMutableReadsItsOwnTrailEntry) {
  lv_term m = terms::mutable_term(w, atom("before"));
  lv_term other = terms::mutable_term(w, atom("x"));
  EXPECT_EQ(run(prolog_prev_mutable, {var(w), m}), 0);  // stamp 0
  lv_push_call_choicepoint(w, &lv_static.fail_alternative);
  lv_update_mutable(w, atom("after"), m);
  lv_term old = var(w);
  ASSERT_EQ(run(prolog_prev_mutable, {old, m}), 1);
  EXPECT_EQ(lv_deref(old), atom("before"));
  lv_struct_cells(other)[2] = lv_struct_cells(m)[2];
  EXPECT_EQ(run(prolog_prev_mutable, {var(w), other}), 0);
}

// Saved argument registers by 1-based position, within the choicepoint;
// a catch frame with a live handler is the one invalid choicepoint.
TEST_F(DebuggerTest, ChoicepointArgumentsAndCatchFrames) {
  lv_term ref = lv_choice_reference(w, w->B);  // the bottom choicepoint: four saved []
  lv_term x = var(w);
  ASSERT_EQ(run(prolog_choicepoint_arg, {ref, small(4), x}), 1);
  EXPECT_EQ(lv_deref(x), LV_ATOM_NIL);
  EXPECT_EQ(run(prolog_choicepoint_arg, {ref, small(5), var(w)}), 0);
  EXPECT_EQ(run(prolog_choicepoint_arg, {ref, small(0), var(w)}), 0);
  EXPECT_EQ(run(prolog_choicepoint_arg, {small(1 << 20), small(1), var(w)}), 0);
  EXPECT_EQ(run(prolog_invalid_choicepoint, {ref}), 1);
  lv_choicepoint* c = lv_choice_view(w->B);
  c->args[1] = LV_ATOM_CATCH_HOOK;
  c->args[0] = small(1);
  EXPECT_EQ(run(prolog_invalid_choicepoint, {ref}), 0);
  c->args[0] = LV_ATOM_NIL;
  EXPECT_EQ(run(prolog_invalid_choicepoint, {ref}), 1);
  EXPECT_EQ(run(prolog_invalid_choicepoint, {atom("x")}), 1);
}

// A permanent variable of the frame whose continuation is Key, found from
// the environment a choicepoint saved; nothing beyond the frames in use.
TEST_F(DebuggerTest, GetSlotReadsTheFrameOfAContinuation) {
  lv_term* e = w->local_top;
  lv_env_frame* f = lv_frame_view(e);
  f->e = reinterpret_cast<lv_term>(w->E);
  f->cp = reinterpret_cast<lv_term>(lv_fail_code);
  f->y[0] = atom("y0");
  f->y[1] = small(7);
  w->local_top = e + LV_FRAME_Y + 2;
  w->E = e;
  lv_push_call_choicepoint(w, &lv_static.fail_alternative);
  lv_term ref = lv_choice_reference(w, w->B);
  lv_term key = small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(lv_fail_code)));
  lv_term v = var(w);
  ASSERT_EQ(run(prolog_get_slot, {ref, key, small(1), v}), 1);
  EXPECT_EQ(lv_deref(v), small(7));
  EXPECT_EQ(run(prolog_get_slot, {ref, key, small(2), var(w)}), 0);
  EXPECT_EQ(run(prolog_get_slot, {ref, small(8), small(0), var(w)}), 0);
}

TEST_F(DebuggerTest, BlockedGoalTestsTheConditions) {
  lv_pred* p = pred("user", "q", 2);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  auto* d = static_cast<lv_block_decl*>(std::malloc(sizeof(lv_block_decl) + 2));
  d->next = nullptr;
  std::memcpy(d->text, "\2", 2);  // blocks while argument 2 is unbound
  p->block_decls = d;
  p->flags |= LV_PRED_BLOCK;
  EXPECT_EQ(run(prolog_blocked_goal, {fn(w, atom("q"), {small(1), var(w)}), LV_ATOM_USER}), 1);
  EXPECT_EQ(run(prolog_blocked_goal, {fn(w, atom("q"), {var(w), small(1)}), LV_ATOM_USER}), 0);
  EXPECT_EQ(run(prolog_blocked_goal, {fn(w, atom("r"), {var(w), var(w)}), LV_ATOM_USER}), 0);
  p->block_decls = nullptr;
  p->flags &= ~static_cast<uint32_t>(LV_PRED_BLOCK);
  std::free(d);
}

// A backtrace request traces from here on; slot 0's stored value is freed.
TEST_F(DebuggerTest, BacktraceActionTurnsTracingOn) {
  ASSERT_EQ(run(prolog_put_aux, {small(0), fn(w, atom("skip"), {small(1)})}), 1);
  ASSERT_EQ(lv_action(1), 1);
  EXPECT_EQ(lv_debugger.mode, LV_DBG_TRACE);
  EXPECT_EQ(w->debug_words[LV_DBG_SLOT_ACTION], LV_DBG_TRACE);
  EXPECT_EQ(w->debug_mode, 1);
}

}  // namespace
