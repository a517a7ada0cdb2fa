// The emulator on hand-assembled code: calls and returns, backtracking
// through try series, cuts, frames under choicepoints, the event paths and
// handler frames.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "machine/frames.h"
#include "machine/recovery.h"
#include "support/emulator_fixture.h"
#include "support/env.h"
#include "support/memory_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::small;

// What the C predicates of these tests saw.
struct observations {
  int events;
  int calls;
  lv_term seen[4];
  int64_t local_words;
};
observations seen;
lv_term atom_a;

int is_one(lv_worker* w) { return lv_deref(w->X[0]) == small(1) ? 1 : 0; }

// X0 = the head of the list X1.
int list_head(lv_worker* w) {
  lv_term l = lv_deref(w->X[1]);
  return lv_is_list(l) && cunify(w, w->X[0], lv_list_cells(l)[0]) ? 1 : 0;
}

// The event handler stand-in: counts, and spoils registers a handler may
// use, so that restoring them is tested.
int event_handler(lv_worker* w) {
  seen.events++;
  for (int i = 0; i < 12; i++) w->X[i] = LV_ATOM_NIL;
  for (int64_t i = 256; i < 320; i++) lv_grow_x_overflow_area(w, i, LV_ATOM_NIL);
  return 1;
}

int count_call(lv_worker*) {
  seen.calls++;
  return 1;
}

int record_args(lv_worker* w) {
  for (int i = 0; i < 4; i++) seen.seen[i] = lv_deref(w->X[i]);
  seen.calls++;
  return 1;
}

int zero_soft_limit(lv_worker* w) {
  lv_request_event(w);
  return 1;
}

class EmulatorRunTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    seen = {};
    role("$event_handler", 0, event_handler);
    // The frame handler ends by resuming the interrupted code.
    Assembler resume;
    resume.op(LV_OP_EXECUTE, {P(lv_kind_pred[LV_KIND_BUILTIN_RESUME])});
    clauses("$frame_handler", 7, {&resume}, "prolog");
    lv_lookup_role_predicates();
  }
};

TEST_F(EmulatorRunTest, CPredicateSucceedsAndFails) {
  lv_pred* p = c_pred("is_one", 1, is_one);
  EXPECT_EQ(call(p, {small(1)}), 1);
  EXPECT_EQ(call(p, {small(2)}), 0);
}

// member(X, L): clause 1 unifies X with L's head; clause 2 replaces L by its
// tail and makes member/2 its own continuation.
lv_pred* member_pred;
int member_tail(lv_worker* w) {
  lv_term l = lv_deref(w->X[1]);
  if (!lv_is_list(l)) return 0;
  w->X[1] = lv_list_cells(l)[1];
  lv_push_continuation_frame(w, member_pred, nullptr);
  return 1;
}

TEST_F(EmulatorRunTest, TrySeriesBacktracksThroughAllSolutions) {
  Assembler first, second;
  first.op(LV_OP_EXECUTE, {P(c_pred("list_head", 2, list_head))});
  second.op(LV_OP_EXECUTE, {P(c_pred("member_tail", 2, member_tail))});
  member_pred = clauses("member", 2, {&first, &second});

  lv_term x = terms::var(w);
  lv_term a = atom("a"), b = atom("b"), c = atom("c");
  lv_term l = terms::list(w, {a, b, c});
  lv_term* choice = w->B;
  ASSERT_EQ(call(member_pred, {x, l}), 1);
  EXPECT_EQ(lv_deref(x), a);
  ASSERT_EQ(redo(), 1);
  EXPECT_EQ(lv_deref(x), b);
  ASSERT_EQ(redo(), 1);
  EXPECT_EQ(lv_deref(x), c);
  EXPECT_EQ(redo(), 0);
  EXPECT_TRUE(lv_is_ref(lv_deref(x)));  // untrailed
  EXPECT_EQ(w->B, choice);              // the query choicepoint is gone too
}

TEST_F(EmulatorRunTest, CutInTheLastAlternativeFindsTheChoicepointGone) {
  Assembler c1, c2;
  c1.op(LV_OP_EXECUTE, {P(c_pred("put_one", 1, [](lv_worker* w) { return cunify(w, w->X[0], small(1)); }))});
  c2.op(LV_OP_CUTB).op(LV_OP_EXECUTE, {P(c_pred("put_two", 1, [](lv_worker* w) { return cunify(w, w->X[0], small(2)); }))});
  lv_pred* p = clauses("p", 1, {&c1, &c2});
  lv_term x = terms::var(w);
  ASSERT_EQ(call(p, {x}), 1);
  lv_term* query_choice = lv_choice_prev(w->B);  // below the choicepoint of p
  EXPECT_EQ(lv_deref(x), small(1));
  ASSERT_EQ(redo(), 1);
  EXPECT_EQ(lv_deref(x), small(2));
  EXPECT_EQ(w->B, query_choice);  // the last alternative popped it; the cut had nothing to do
  EXPECT_EQ(redo(), 0);
}

TEST_F(EmulatorRunTest, CutRemovesTheLaterAlternatives) {
  Assembler c1, c2;
  c1.op(LV_OP_CUTB).op(LV_OP_EXECUTE, {P(c_pred("put_one", 1, [](lv_worker* w) { return cunify(w, w->X[0], small(1)); }))});
  c2.op(LV_OP_EXECUTE, {P(c_pred("put_two", 1, [](lv_worker* w) { return cunify(w, w->X[0], small(2)); }))});
  lv_pred* p = clauses("p", 1, {&c1, &c2});
  lv_term x = terms::var(w);
  ASSERT_EQ(call(p, {x}), 1);
  EXPECT_EQ(lv_deref(x), small(1));
  EXPECT_EQ(redo(), 0);
}

// t :- nondet, check.  The frame is 3 slots at the first call and none at the
// second: CALL trims it only when no choicepoint protects it.
int record_frame_words(lv_worker* w) {
  seen.local_words = w->local_top - w->E;
  return 1;
}

class FrameTrimTest : public EmulatorRunTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FrameTrimTest, CallTrimsOnlyAnUnprotectedFrame) {
  bool choicepoint = GetParam();
  Assembler leaf1, leaf2;
  leaf1.op(LV_OP_PROCEED);
  leaf2.op(LV_OP_PROCEED);
  lv_pred* nondet = choicepoint ? clauses("nondet", 0, {&leaf1, &leaf2}) : clauses("nondet", 0, {&leaf1});
  lv_pred* check = c_pred("check", 0, record_frame_words);
  Assembler t;
  t.op(LV_OP_INITCALL, {R(0, {}), P(nondet), S(3)})
      .op(LV_OP_CALL, {R(0, {}), P(check), S(0)})
      .op(LV_OP_PROGRESS);
  ASSERT_EQ(call(clauses("t", 0, {&t})), 1);
  EXPECT_EQ(seen.local_words, choicepoint ? 5 : 2);
}
INSTANTIATE_TEST_SUITE_P(Emulator, FrameTrimTest, ::testing::Bool());

// u(A) :- Y0 = new variable, noop(Y0), last(unsafe Y0): the variable of the
// frame being left moves to the heap.
int unsafe_check(lv_worker* w) {
  lv_term x = lv_deref(w->X[0]);
  seen.seen[0] = x;
  return lv_is_ref(x) && lv_ref_cell(x) < w->local_base ? 1 : 0;
}

TEST_F(EmulatorRunTest, UnsafeValueOfTheFrameMovesToTheHeap) {
  lv_pred* noop = c_pred("noop", 1, count_call);
  lv_pred* last = c_pred("last", 1, unsafe_check);
  Assembler u;
  u.op(LV_OP_INITCALL, {R(0, {{VARIABLE, 0}}), P(noop), S(1)})
      .op(LV_OP_LASTCALL, {R(0, {{UNSAFE_VALUE, 0}}), P(last)});
  EXPECT_EQ(call(clauses("u", 0, {&u})), 1);
  EXPECT_EQ(seen.calls, 1);
}

TEST_F(EmulatorRunTest, UndefinedPredicateReachesTheGoalHandler) {
  role("$undefined_goal", 3, record_args);
  lv_pred* undefined = pred("user", "missing", 2);
  Assembler caller;
  caller.op(LV_OP_EXECUTE, {P(undefined)});
  lv_pred* p = clauses("caller", 2, {&caller});
  ASSERT_EQ(call(p, {atom("a"), small(5)}), 1);
  lv_term goal = seen.seen[0];
  ASSERT_TRUE(lv_is_struct(goal));
  lv_term* cells = lv_struct_cells(goal);
  EXPECT_EQ(cells[0], lv_make_functor(atom("missing"), 2));
  EXPECT_EQ(lv_deref(cells[1]), atom("a"));
  EXPECT_EQ(lv_deref(cells[2]), small(5));
  EXPECT_EQ(seen.seen[1], atom("user"));
  // The call site: the address after the EXECUTE.
  const uint32_t* code = static_cast<lv_clause_list*>(p->definition)->all_chain;
  const uint32_t* after = lv_insn_next(code, nullptr);
  EXPECT_EQ(seen.seen[2], small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(after))));
}

// v(X) :- zero_soft_limit, CHECK_HEAP, after(X).  The heap check takes the
// event path; X0 is live across the handler.
int after_check(lv_worker* w) {
  seen.seen[0] = lv_deref(w->X[0]);
  seen.calls++;
  return 1;
}

TEST_F(EmulatorRunTest, CheckHeapWithAnEventPendingRunsTheHandlerAndResumes) {
  Assembler v;
  v.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("zero", 0, zero_soft_limit)), S(0)})
      .op(LV_OP_CHECK_HEAP, {I(10)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(c_pred("after", 1, after_check))});
  ASSERT_EQ(call(clauses("v", 1, {&v}), {small(7)}), 1);
  EXPECT_EQ(seen.events, 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.seen[0], small(7));
  EXPECT_NE(lv_soft_limit(w), nullptr);
}

// A call that meets the heap exactly at its limit, with no event pending,
// makes room rather than meeting the limit again on every retry.
TEST_F(EmulatorRunTest, CallAtTheHeapLimitMakesRoom) {
  Assembler v;
  v.op(LV_OP_EXECUTE, {P(c_pred("count", 0, count_call))});
  lv_pred* p = clauses("v", 0, {&v});
  while (w->H < w->heap_hard_limit) *w->H++ = LV_ATOM_NIL;
  uint64_t overflows = lv_shift_stats.heap_overflows;
  ASSERT_EQ(call(p), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_GT(lv_shift_stats.heap_overflows, overflows);
  EXPECT_GT(w->heap_hard_limit - w->H, 0);
}

// A handler frame for 300 live registers: X0 is read by the call after the
// check, and register 299 by the UNSPILL.
int fill_registers(lv_worker* w) {
  for (int64_t i = 0; i < 256; i++) w->X[i] = small(i);
  for (int64_t i = 256; i < 300; i++) lv_grow_x_overflow_area(w, i, small(i));
  lv_request_event(w);
  return 1;
}
int check_registers(lv_worker* w) {
  bool ok = lv_deref(w->X[0]) == small(0) && lv_deref(w->X[1]) == small(299);
  for (int64_t i = 256; i < 300; i++) ok = ok && lv_x_overflow_register(w, i) == small(i);
  seen.calls++;
  return ok ? 1 : 0;
}

TEST_F(EmulatorRunTest, HandlerFrameKeepsThreeHundredLiveRegisters) {
  Assembler code;
  code.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("fill", 0, fill_registers)), S(0)})
      .op(LV_OP_CHECK_HEAP, {I(10)})
      .op(LV_OP_UNSPILL, {I(299), X(1)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(c_pred("check", 2, check_registers))});
  EXPECT_EQ(call(clauses("k", 0, {&code})), 1);
  EXPECT_EQ(seen.events, 1);
  EXPECT_EQ(seen.calls, 1);
}

// A C predicate that finds the event pending unwinds to the entry, which
// runs the handler and calls the predicate again.
int check_event_once(lv_worker* w) {
  seen.calls++;
  if (seen.calls == 1) {
    lv_request_event(w);
    lv_check_event(w);
  }
  return lv_deref(w->X[0]) == small(3) ? 1 : 0;
}

TEST_F(EmulatorRunTest, EventFoundInACPredicateRecallsItAfterTheHandler) {
  EXPECT_EQ(call(c_pred("once", 1, check_event_once), {small(3)}), 1);
  EXPECT_EQ(seen.calls, 2);
  EXPECT_EQ(seen.events, 1);
}

TEST_F(EmulatorRunTest, LeavingAHandlerFrameWithoutResumingIsAFault) {
  role("$frame_handler", 7, count_call);  // proceeds into the shared stub
  Assembler code;
  code.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("zero", 0, zero_soft_limit)), S(0)})
      .op(LV_OP_CHECK_HEAP, {I(10)})
      .op(LV_OP_PROGRESS);
  lv_pred* p = clauses("bad", 0, {&code});
  EXPECT_EQ(run_to_abort([&] { call(p); }), 3);
}

// First-argument indexing: a bound key enters its chain past the clause's
// key test.
TEST_F(EmulatorRunTest, IndexedCallEntersTheKeyChain) {
  lv_pred* p = pred("user", "key", 1);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  lv_pred* hit = c_pred("hit", 1, record_args);
  for (const char* key : {"a", "b"}) {
    Assembler a;
    a.op(LV_OP_GET_CONSTANT_X0, {C(atom(key))}).op(LV_OP_EXECUTE, {P(hit)});
    lv_append_clause(p, clause(a), LV_KEY_ALL | LV_KEY_KEYED, atom(key));
  }
  ASSERT_EQ(p->kind, LV_KIND_ENTER_COMPACTCODE_INDEXED);
  EXPECT_EQ(call(p, {atom("b")}), 1);
  EXPECT_EQ(seen.seen[0], atom("b"));
  EXPECT_EQ(call(p, {atom("c")}), 0);
  EXPECT_EQ(seen.calls, 1);
}

// Backtracking restores a mutable's value from its value-trail entry.
lv_term shared_mutable;
int update_then_fail(lv_worker* w) {
  lv_update_mutable(w, small(5), shared_mutable);
  return 0;
}
int read_mutable(lv_worker*) {
  seen.seen[0] = lv_deref(lv_struct_cells(shared_mutable)[1]);
  seen.calls++;
  return 1;
}

TEST_F(EmulatorRunTest, FailureUndoesAMutableUpdate) {
  shared_mutable = terms::mutable_term(w, small(1));
  Assembler c1, c2;
  c1.op(LV_OP_EXECUTE, {P(c_pred("update", 0, update_then_fail))});
  c2.op(LV_OP_EXECUTE, {P(c_pred("read", 0, read_mutable))});
  EXPECT_EQ(call(clauses("m", 0, {&c1, &c2})), 1);
  EXPECT_EQ(seen.seen[0], small(1));
}

// A failure that passes a cleanup entry pushed since the choicepoint runs its
// goal first, and then goes on into the next clause.
int push_cleanup_then_fail(lv_worker* w) {
  lv_term chain = w->termrefs[6].term;
  lv_term entry = terms::cons(w, terms::var(w), lv_make_small(42));
  lv_update_mutable(w, terms::cons(w, entry, lv_deref(lv_struct_cells(chain)[1])), chain);
  return 0;
}

TEST_F(EmulatorRunTest, FailurePastACleanupEntryRunsItsGoalFirst) {
  role("$run_cleanups", 3, record_args);
  w->termrefs[6].term = terms::mutable_term(w, LV_ATOM_NIL);
  Assembler c1, c2;
  c1.op(LV_OP_EXECUTE, {P(c_pred("push", 0, push_cleanup_then_fail))});
  c2.op(LV_OP_EXECUTE, {P(c_pred("second", 0, count_call))});
  EXPECT_EQ(call(clauses("r", 0, {&c1, &c2})), 1);
  EXPECT_EQ(seen.calls, 2);  // the cleanup runner, then the second clause
  EXPECT_EQ(seen.seen[0], small(42));
  EXPECT_EQ(seen.seen[1], LV_ATOM_NIL);                               // no cut entries
  EXPECT_EQ(lv_deref(lv_struct_cells(w->termrefs[6].term)[1]), LV_ATOM_NIL);  // the chain is back
}

// Cutting to a choicepoint that guards cleanup entries takes the event path;
// with nothing to clean up the guard is dropped and the cut goes on.
TEST_F(EmulatorRunTest, CutToAGuardingChoicepointTakesTheEventPath) {
  Assembler c1, c2;
  c1.op(LV_OP_CUTB).op(LV_OP_EXECUTE, {P(c_pred("after", 0, count_call))});
  c2.op(LV_OP_PROCEED);
  lv_pred* p = clauses("g", 0, {&c1, &c2});
  lv_push_call_choicepoint(w, &query_alternative);
  lv_term* guard = w->B;
  guard[LV_CP_ALT] |= 1;
  w->CP = lv_exit_code;
  ASSERT_EQ(lv_enter_emulator_protected(w, LV_ENTER_CALL, p), 1);
  EXPECT_EQ(seen.events, 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(w->B, guard);
  EXPECT_EQ(guard[LV_CP_ALT] & 1, 0u);
  EXPECT_EQ(redo(), 0);  // the second clause was cut away
}

// A C predicate's continuation frame with a call site: the call it defers
// gets that call site.
lv_pred* deferred_pred;
alignas(8) const uint32_t fake_call_site[2] = {0, 0};
int defer_call(lv_worker* w) {
  lv_push_continuation_frame(w, deferred_pred, &fake_call_site[1]);
  return 1;
}

TEST_F(EmulatorRunTest, ContinuationFrameKeepsItsCallSite) {
  role("$undefined_goal", 3, record_args);
  deferred_pred = pred("user", "deferred", 1);
  EXPECT_EQ(call(c_pred("defer", 1, defer_call), {small(9)}), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(lv_struct_cells(seen.seen[0])[1], small(9));
  EXPECT_EQ(seen.seen[2], small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(&fake_call_site[1]))));
}

// The same fixed continuation twice pushes one frame.
int push_fixed_twice(lv_worker* w) {
  lv_push_fixed_continuation(w, atom_a, small(1), small(2));
  lv_term* e = w->E;
  lv_push_fixed_continuation(w, atom_a, small(1), small(2));
  seen.calls = e == w->E ? 1 : 0;
  return 1;
}

TEST_F(EmulatorRunTest, FixedContinuationIsPushedOnce) {
  atom_a = atom("a");
  lv_term* local_top = w->local_top;
  EXPECT_EQ(call(c_pred("fixed", 0, push_fixed_twice)), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(w->local_top, local_top);
}

// Padding, a native-code stub falling back to its bytecode, spilled
// registers and a cut through a saved choicepoint reference.
TEST_F(EmulatorRunTest, NopNativeOpSpillAndRegisterCut) {
  lv_pred* check = c_pred("check", 4, record_args);
  Assembler c1, c2;
  c1.nop(3)
      .op(LV_OP_CHOICE_X, {X(3)})
      .op(LV_OP_NATIVE_OP, {A("bytecode")})
      .op(LV_OP_FAIL)
      .label("bytecode")
      .op(LV_OP_SPILL, {I(300), X(0)})
      .op(LV_OP_UNSPILL, {I(300), X(2)})
      .op(LV_OP_CUTB_X, {X(3)})
      .op(LV_OP_EXECUTE, {P(check)});
  c2.op(LV_OP_PROCEED);
  ASSERT_EQ(call(clauses("n", 1, {&c1, &c2}), {small(4)}), 1);
  EXPECT_EQ(seen.seen[2], small(4));
  EXPECT_EQ(redo(), 0);
}

// A cut takes its target from a term (a register or a permanent variable,
// which Prolog code or code from a file may fill with anything): only a
// choicepoint of the chain from B is one; a term newer than B cuts nothing.
TEST_F(EmulatorRunTest, CutTargetsNamedByTermsAreChoicepointsOfTheChain) {
  lv_term* bottom = w->B;
  lv_push_call_choicepoint(w, &query_alternative);
  lv_term* older = w->B;
  lv_push_call_choicepoint(w, &query_alternative);
  lv_term* newest = w->B;
  auto bytes = [&](const lv_term* b) { return reinterpret_cast<const char*>(w->choice_base) - reinterpret_cast<const char*>(b); };
  struct target_case {
    lv_term term;
    lv_term* expected;
  };
  const target_case cases[] = {
      {lv_choice_offset(w, older), older},
      {lv_choice_offset(w, bottom), bottom},
      {lv_choice_offset(w, newest), newest},
      {small(bytes(newest) + 64), newest},  // newer than B: nothing to cut
      {small(bytes(older) - 8), nullptr},   // inside a choicepoint
      {small(8), nullptr},                  // inside the bottom one
      {small(3), nullptr},
      {small(0), nullptr},
      {small(-16), nullptr},
      {atom("foo"), nullptr},
  };
  for (const target_case& c : cases) EXPECT_EQ(lv_cut_target(w, c.term), c.expected) << (&c - cases);
  lv_make_choice_current(w, bottom);
}

TEST_F(EmulatorRunTest, InternalEntryRunsItsCode) {
  Assembler code;
  code.op(LV_OP_EXECUTE, {P(c_pred("record", 4, record_args))});
  lv_code_block* block = clause(code);
  lv_pred* p = pred("user", "internal", 1);
  p->definition = lv_code_block_code(block);
  p->kind = LV_KIND_ENTER_INTERNAL;
  EXPECT_EQ(call(p, {small(6)}), 1);
  EXPECT_EQ(seen.seen[0], small(6));
}

// A memory failure inside a run resets the stacks and fails the query.
int reinitialise(lv_worker*) { lv_longjmp_(lv_current_recovery(), LV_UNWIND_REINIT); }

TEST_F(EmulatorRunTest, ReinitialisationResetsTheStacksAndFails) {
  EXPECT_EQ(call(c_pred("reinit", 0, reinitialise)), 0);
  EXPECT_EQ(w->status, -6);
  EXPECT_EQ(w->B, w->choice_base - 10);
  EXPECT_EQ(w->H, w->area_start + LV_TERMREF_RESERVED_HEAP_WORDS);
}

TEST_F(EmulatorRunTest, SettingsModeReadsTheProfilingSwitch) {
  ScopedEnv env({{"LV_PROFILE", "yes"}, {"LV_PREDTRACE", nullptr}, {"LV_JITTRACE", nullptr}});
  lv_profiling_switch = LV_ATOM_OFF;
  EXPECT_EQ(lv_enter_emulator_protected(w, LV_ENTER_SETTINGS, nullptr), 0);
  EXPECT_EQ(lv_profiling_switch, LV_ATOM_ON);
  // The profiled build runs queries the same way.
  EXPECT_EQ(call(c_pred("is_one", 1, is_one), {small(1)}), 1);
  lv_profiling_switch = LV_ATOM_OFF;
}

}  // namespace
