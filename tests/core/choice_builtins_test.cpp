// Choicepoint references and cleanup registration on hand-built choice
// stacks.
#include "core/choice_builtins.h"

#include <gtest/gtest.h>

#include "core/cleanups.h"
#include "machine/instructions.h"
#include "support/builtin_fixture.h"

namespace {

class ChoiceTest : public BuiltinTest {
 protected:
  void SetUp() override {
    BuiltinTest::SetUp();
    second = {nullptr, lv_fail_code, nullptr, 48, lv_opcode(LV_OP_TRY)};
    first = {&second, lv_fail_code, nullptr, 48, lv_opcode(LV_OP_TRY)};
  }

  // Pushes a choicepoint and returns it.
  lv_term* push(const lv_try_record* record = nullptr) {
    lv_push_call_choicepoint(w, record != nullptr ? record : &first);
    return w->B;
  }
  lv_term ref(const lv_term* b) { return lv_make_small(w->choice_base - b); }
  lv_term nth(int64_t n) {
    lv_term r = terms::var(w);
    return run(prolog_nth_choicepoint, {lv_make_small(n), r}) ? lv_deref(r) : 0;
  }
  const lv_try_record* record_of(const lv_term* b) { return lv_alternative_record(b[LV_CP_ALT]); }

  // A choicepoint whose saved heap and local tops differ from the current.
  lv_term* push_with_tops() {
    lv_term* b = push();
    terms::var(w);
    w->local_top += 2;
    return b;
  }

  void expect_newest(lv_term* b) {
    EXPECT_EQ(w->B, b);
    EXPECT_EQ(w->HB, reinterpret_cast<lv_term*>(b[LV_CP_H]));
    EXPECT_EQ(w->saved_local_top, reinterpret_cast<lv_term*>(b[LV_CP_LOCAL_TOP]));
  }

  lv_try_record first, second;
};

TEST_F(ChoiceTest, NthCountsFromTheNewestSkippingCallFrames) {
  lv_term* bottom = w->B;
  lv_term* a = push();
  lv_term* b = push();
  push(&lv_c_call_frame_alternative);
  lv_term* c = push();
  push(&lv_c_call_frame_alternative);
  EXPECT_EQ(nth(0), ref(c));
  EXPECT_EQ(nth(1), ref(b));
  EXPECT_EQ(nth(2), ref(a));
  EXPECT_EQ(nth(3), ref(bottom));
  EXPECT_EQ(nth(4), lv_term{0});  // past the bottom
  EXPECT_FALSE(run(prolog_nth_choicepoint, {"-1", "R"}));
  EXPECT_FALSE(run(prolog_nth_choicepoint, {"a", "R"}));
  // A reference counts cells from the choice stack's base.
  EXPECT_EQ(lv_small_value(nth(3)), 10);
}

TEST_F(ChoiceTest, CleanUpCutsBackToTheReferenceAtDistanceN) {
  lv_term* a = push_with_tops();
  push_with_tops();
  lv_term* c = push_with_tops();
  // The reference is not N steps away: nothing happens.
  ASSERT_TRUE(run(prolog_clean_up, {ref(a), lv_make_small(1)}));
  EXPECT_EQ(w->B, c);
  ASSERT_TRUE(run(prolog_clean_up, {ref(a), lv_make_small(2)}));
  expect_newest(a);
  EXPECT_NE(lv_soft_limit(w), nullptr);
  // Arguments of the wrong type: succeeds, changes nothing.
  EXPECT_TRUE(run(prolog_clean_up, {"x", "y"}));
  EXPECT_EQ(w->B, a);
}

TEST_F(ChoiceTest, CleanUpToAGuardingChoicepointRequestsAnEvent) {
  lv_term* a = push_with_tops();
  a[LV_CP_ALT] |= 1;
  push(&lv_c_call_frame_alternative);
  push_with_tops();
  ASSERT_TRUE(run(prolog_clean_up, {ref(a), lv_make_small(1)}));
  expect_newest(a);
  EXPECT_EQ(lv_soft_limit(w), nullptr);
}

TEST_F(ChoiceTest, ZapRemovesTheNewestOrAdvancesAnOlderOne) {
  lv_term* a = push_with_tops();
  lv_term* b = push_with_tops();
  a[LV_CP_ALT] |= 1;
  lv_term* c = push_with_tops();
  push(&lv_c_call_frame_alternative);
  // Not the newest: the alternative becomes the record's successor, the
  // guard bit stays.
  ASSERT_TRUE(run(prolog_zap_chpt, {ref(a)}));
  EXPECT_EQ(record_of(a), &second);
  EXPECT_EQ(a[LV_CP_ALT] & 1, 1u);
  // A last alternative stays.
  ASSERT_TRUE(run(prolog_zap_chpt, {ref(a)}));
  EXPECT_EQ(record_of(a), &second);
  // The newest (behind a C-call frame) is removed.
  ASSERT_TRUE(run(prolog_zap_chpt, {ref(c)}));
  expect_newest(b);
  // A made-up reference names no choicepoint: nothing happens.
  ASSERT_TRUE(run(prolog_zap_chpt, {lv_make_small(3)}));
  EXPECT_TRUE(run(prolog_zap_chpt, {lv_make_small(-4)}));
  EXPECT_TRUE(run(prolog_zap_chpt, {read("foo")}));
  EXPECT_EQ(w->B, b);
  EXPECT_EQ(record_of(b), &first);
}

TEST_F(ChoiceTest, UndoCleanupRemovesTheNewestOrMarksTheOlderOnes) {
  lv_term* bottom = w->B;
  lv_term* a = push_with_tops();
  lv_term* b = push_with_tops();
  push_with_tops();
  lv_term* d = push_with_tops();
  // Ref is not just older than the newest: the choicepoints older than Ref
  // get the guard bit, down to the first that has it.
  bottom[LV_CP_ALT] |= 1;
  ASSERT_TRUE(run(prolog_undo_cleanup, {ref(b)}));
  EXPECT_EQ(w->B, d);
  EXPECT_EQ(a[LV_CP_ALT] & 1, 1u);
  EXPECT_EQ(b[LV_CP_ALT] & 1, 0u);
  EXPECT_NE(lv_soft_limit(w), nullptr);  // the newest guards nothing
  bottom[LV_CP_ALT] &= ~lv_term{1};
  // Ref just older than the newest: the newest goes; Ref guards, so an
  // event is requested.
  lv_term* frame = push(&lv_c_call_frame_alternative);
  ASSERT_TRUE(run(prolog_undo_cleanup, {ref(a)}));
  EXPECT_EQ(w->B, frame);
  ASSERT_TRUE(run(prolog_clean_up, {ref(b), lv_make_small(2)}));
  ASSERT_TRUE(run(prolog_undo_cleanup, {ref(a)}));
  expect_newest(a);
  EXPECT_EQ(lv_soft_limit(w), nullptr);
}

TEST_F(ChoiceTest, TrailCleanupPushesTheEntryMarksAndGuards) {
  w->termrefs[LV_CLEANUP_CHAIN_SLOT].term = terms::mutable_term(w, LV_ATOM_NIL);
  lv_term* bottom = w->B;
  bottom[LV_CP_ALT] |= 1;
  lv_term* a = push_with_tops();
  lv_term* b = push_with_tops();
  lv_term* trail = w->TR;
  ASSERT_TRUE(run(prolog_trail_cleanup, {"[S | goal]"}));
  lv_term chain = lv_cleanup_chain(w);
  EXPECT_EQ(text(lv_struct_cells(chain)[1]), "[[S|goal]]");
  // The chain's old value is on the trail (a value-trail entry), the
  // choicepoints are marked, and a guard choicepoint is the newest.
  EXPECT_EQ(w->TR, trail + 3);
  EXPECT_EQ(lv_deref(trail[1]), LV_ATOM_NIL);
  EXPECT_EQ(a[LV_CP_ALT] & 1, 1u);
  EXPECT_EQ(b[LV_CP_ALT] & 1, 1u);
  EXPECT_EQ(lv_choice_prev(w->B), b);
  EXPECT_EQ(record_of(w->B), &lv_static.fail_alternative);
  EXPECT_EQ(w->B[LV_CP_ALT] & 1, 0u);

  // $trail_undo only pushes (the chain mutable is now younger than the
  // guard's stamp: no second value-trail entry).
  trail = w->TR;
  lv_term* guard = w->B;
  ASSERT_TRUE(run(prolog_trail_undo, {"[T | other]"}));
  EXPECT_EQ(text(lv_struct_cells(lv_cleanup_chain(w))[1]), "[[T|other],[S|goal]]");
  EXPECT_EQ(w->B, guard);
  EXPECT_EQ(w->TR, trail + 3);
}

TEST_F(ChoiceTest, CleanupRegistrationFailsWithoutAChain) {
  w->termrefs[LV_CLEANUP_CHAIN_SLOT].term = LV_ATOM_NIL;
  lv_term* b = w->B;
  EXPECT_FALSE(run(prolog_trail_cleanup, {"[S | goal]"}));
  EXPECT_FALSE(run(prolog_trail_undo, {"[S | goal]"}));
  EXPECT_EQ(w->B, b);
}

}  // namespace
