// Unification, binding and trailing rules, and mutable updates.
#include <gtest/gtest.h>

#include "core/bind.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "support/engine_fixture.h"
#include "support/terms.h"

namespace {

using namespace terms;

class UnifyTest : public EngineTest {
 protected:
  // A choicepoint saving no argument registers: HB := H.
  void push_choice() {
    static lv_try_record record = {nullptr, nullptr, nullptr, 48, 0};
    lv_push_call_choicepoint(w, &record);
  }
  int64_t trail_entries() { return w->TR - w->trail_base - 1; }
};

const lv_term F = atom(300), G = atom(301), A = atom(302), B = atom(303), C = atom(304);

TEST_F(UnifyTest, Basics) {
  struct {
    const char* name;
    lv_term x, y;
    int result;
  } cases[] = {
      {"atoms", A, A, 1},
      {"different atoms", A, B, 0},
      {"small integers", small(-5), small(-5), 1},
      {"atom and integer", A, small(1), 0},
      {"structures", fn(w, F, {A, small(1)}), fn(w, F, {A, small(1)}), 1},
      {"different names", fn(w, F, {A}), fn(w, G, {A}), 0},
      {"different arities", fn(w, F, {A}), fn(w, F, {A, A}), 0},
      {"nested difference", fn(w, F, {A, fn(w, G, {B})}), fn(w, F, {A, fn(w, G, {C})}), 0},
      {"lists", list(w, {A, B}), list(w, {A, B}), 1},
      {"list and structure", list(w, {A}), fn(w, LV_ATOM_DOT, {A, LV_ATOM_NIL}), 0},
      {"list lengths", list(w, {A, B}), list(w, {A}), 0},
      {"integer boxes", lv_make_integer_box(w, 1LL << 61), lv_make_integer_box(w, 1LL << 61), 1},
      {"different boxes", lv_make_integer_box(w, 1LL << 61), lv_make_integer_box(w, 1LL << 62), 0},
      {"floats", lv_make_float_box(w, 1.5), lv_make_float_box(w, 1.5), 1},
      {"float and integer box", lv_make_float_box(w, 0.0), lv_make_integer_box(w, 0), 0},
      {"negative zero", lv_make_float_box(w, -0.0), lv_make_float_box(w, 0.0), 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cunify(w, c.x, c.y), c.result) << c.name;
    EXPECT_EQ(w->pair_index, LV_PAIR_INDEX_REST) << c.name;
  }
}

TEST_F(UnifyTest, VariablesAreBoundThroughoutTerms) {
  lv_term x = var(w), y = var(w), z = var(w);
  lv_term left = fn(w, F, {x, list(w, {B, y}), y});
  lv_term right = fn(w, F, {A, list(w, {z, C}), C});
  ASSERT_EQ(cunify(w, left, right), 1);
  EXPECT_EQ(show(left), "a300(a302,[a303,a304],a304)");
  EXPECT_EQ(show(right), show(left));
}

TEST_F(UnifyTest, FailureLeavesNoOverwrittenCell) {
  lv_term left = fn(w, F, {A, fn(w, G, {B})});
  lv_term right = fn(w, F, {A, fn(w, G, {C})});
  lv_term before_left = lv_struct_cells(left)[2];
  lv_term before_right = lv_struct_cells(right)[2];
  EXPECT_EQ(cunify(w, left, right), 0);
  EXPECT_EQ(lv_struct_cells(left)[2], before_left);
  EXPECT_EQ(lv_struct_cells(right)[2], before_right);
  EXPECT_EQ(w->pair_index, LV_PAIR_INDEX_REST);
}

TEST_F(UnifyTest, CyclicTermsUnifyAndAreRestored) {
  // X = f(X), Y = f(Y), X = Y.
  lv_term x = var(w);
  lv_term fx = fn(w, F, {x});
  set(x, fx);
  lv_term y = var(w);
  lv_term fy = fn(w, F, {y});
  set(y, fy);
  lv_term fx_arg = lv_struct_cells(fx)[1];
  lv_term fy_arg = lv_struct_cells(fy)[1];
  EXPECT_EQ(cunify(w, x, y), 1);
  EXPECT_EQ(lv_struct_cells(fx)[1], fx_arg);
  EXPECT_EQ(lv_struct_cells(fy)[1], fy_arg);
  EXPECT_EQ(w->pair_index, LV_PAIR_INDEX_REST);

  // Cyclic lists of different periods: [a,a|...] against [a|...].
  lv_term t1 = var(w);
  lv_term l1 = list(w, {A, A}, t1);
  set(t1, l1);
  lv_term t2 = var(w);
  lv_term l2 = list(w, {A}, t2);
  set(t2, l2);
  EXPECT_EQ(cunify(w, l1, l2), 1);
  // And with a different element the walk ends in failure.
  lv_term t3 = var(w);
  lv_term l3 = list(w, {A, B}, t3);
  set(t3, l3);
  EXPECT_EQ(cunify(w, l2, l3), 0);
  EXPECT_EQ(w->pair_index, LV_PAIR_INDEX_REST);
}

TEST_F(UnifyTest, ReferenceChainsAreRestoredWhereTheyEnd) {
  // The argument cells hold references to variables that hold the
  // structures; those variable cells are overwritten and restored.
  lv_term v1 = var(w), v2 = var(w);
  lv_term s1 = fn(w, G, {A});
  lv_term s2 = fn(w, G, {A});
  set(v1, s1);
  set(v2, s2);
  lv_term left = fn(w, F, {v1});
  lv_term right = fn(w, F, {v2});
  EXPECT_EQ(cunify(w, left, right), 1);
  EXPECT_EQ(*lv_ref_cell(v1), s1);
  EXPECT_EQ(*lv_ref_cell(v2), s2);
  EXPECT_EQ(lv_struct_cells(left)[1], v1);
}

TEST_F(UnifyTest, PlainVariablesAreTrailedOnlyWhenOlderThanTheChoicepoint) {
  lv_term old_var = var(w);
  push_choice();
  lv_term new_var = var(w);
  int64_t before = trail_entries();
  EXPECT_EQ(cunify(w, new_var, A), 1);
  EXPECT_EQ(trail_entries(), before);
  EXPECT_EQ(cunify(w, old_var, B), 1);
  EXPECT_EQ(trail_entries(), before + 1);
  EXPECT_EQ(w->TR[-1], old_var);
  EXPECT_EQ(w->wakeup_count, 0);
}

TEST_F(UnifyTest, YoungerVariableIsBoundToTheOlder) {
  lv_term older = var(w);
  lv_term younger = var(w);
  EXPECT_EQ(cunify(w, older, younger), 1);
  EXPECT_EQ(*lv_ref_cell(younger), older);
  EXPECT_EQ(lv_deref(older), older);
}

TEST_F(UnifyTest, AttributedVariablesAreAlwaysTrailedAndWakeUp) {
  push_choice();
  lv_term av = attvar(w);  // created after the choicepoint
  int64_t before = trail_entries();
  lv_term* limit = lv_soft_limit(w);
  ASSERT_NE(limit, nullptr);
  EXPECT_EQ(cunify(w, av, A), 1);
  EXPECT_EQ(trail_entries(), before + 1);
  EXPECT_EQ(w->wakeup_count, 1);
  EXPECT_EQ(lv_soft_limit(w), nullptr);
}

TEST_F(UnifyTest, TwoAttributedVariablesWakeUpOnce) {
  lv_term a1 = attvar(w);
  lv_term a2 = attvar(w);
  EXPECT_EQ(cunify(w, a1, a2), 1);
  EXPECT_EQ(w->wakeup_count, 1);
  EXPECT_EQ(*lv_ref_cell(a2), a1);
}

TEST_F(UnifyTest, PlainVariableIsBoundToTheAttributedOneWhicheverIsOlder) {
  for (bool plain_first : {true, false}) {
    w->wakeup_count = 0;
    lv_term plain, av;
    if (plain_first) {
      plain = var(w);
      av = attvar(w);
    } else {
      av = attvar(w);
      plain = var(w);
    }
    EXPECT_EQ(cunify(w, plain, av), 1);
    EXPECT_EQ(*lv_ref_cell(plain), av);
    EXPECT_TRUE(lv_is_unbound_cell(lv_ref_cell(av)));
    EXPECT_EQ(w->wakeup_count, 0);
  }
}

TEST_F(UnifyTest, LocalVariablesFollowTheLocalRule) {
  // A local cell below the saved local top is trailed; above it is not.
  lv_term* old_cell = w->local_top++;
  *old_cell = lv_make_ref(old_cell);
  push_choice();
  lv_term* new_cell = w->local_top++;
  *new_cell = lv_make_ref(new_cell);
  int64_t before = trail_entries();
  EXPECT_EQ(cunify(w, lv_make_ref(new_cell), A), 1);
  EXPECT_EQ(trail_entries(), before);
  EXPECT_EQ(cunify(w, lv_make_ref(old_cell), A), 1);
  EXPECT_EQ(trail_entries(), before + 1);
  // A local variable unified with a heap variable points to the heap.
  lv_term* local = w->local_top++;
  *local = lv_make_ref(local);
  lv_term heap = var(w);
  EXPECT_EQ(cunify(w, heap, lv_make_ref(local)), 1);
  EXPECT_EQ(*local, heap);
}

TEST_F(UnifyTest, MutableUpdatesAreTrailedOncePerChoicepoint) {
  lv_term m = mutable_term(w, A);
  lv_term* cells = lv_struct_cells(m);
  push_choice();
  lv_update_mutable(w, B, m);
  ASSERT_EQ(w->TR - w->trail_base, 4);
  EXPECT_EQ(w->trail_base[1], m);
  EXPECT_EQ(w->trail_base[2], A);
  EXPECT_EQ(cells[1], B);
  EXPECT_EQ(lv_small_value(cells[2]), 1);  // the entry's own trail position
  // Covered by that entry: the second update adds nothing.
  lv_update_mutable(w, C, m);
  EXPECT_EQ(w->TR - w->trail_base, 4);
  EXPECT_EQ(cells[1], C);
  // After a newer choicepoint the next update is trailed again.
  push_choice();
  lv_update_mutable(w, A, m);
  EXPECT_EQ(w->TR - w->trail_base, 7);
  EXPECT_EQ(lv_small_value(cells[2]), 4);
  // A mutable newer than the choicepoint is updated in place.
  lv_term young = mutable_term(w, A);
  lv_update_mutable(w, B, young);
  EXPECT_EQ(w->TR - w->trail_base, 7);
}

TEST_F(UnifyTest, DeepTermsNeedNoRecursion) {
  // f(f(f(...a...))) ten thousand levels deep, twice.
  lv_term left = A, right = A;
  for (int i = 0; i < 10000; i++) {
    left = fn(w, F, {left});
    right = fn(w, F, {right});
  }
  EXPECT_EQ(cunify(w, left, right), 1);
  EXPECT_EQ(w->pair_index, LV_PAIR_INDEX_REST);
}

}  // namespace
