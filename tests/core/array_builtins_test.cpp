// One-dimensional arrays: making, reading, resizing and updating, in place
// when the array is younger than the newest choicepoint, by copy otherwise.
#include "core/array_builtins.h"

#include <gtest/gtest.h>

#include "core/array_terms.h"
#include "core/stack_shift.h"
#include "support/builtin_fixture.h"

namespace {

class ArrayTest : public BuiltinTest {};

TEST_F(ArrayTest, NewTakesASizeOrAProperList) {
  struct Row {
    const char* arg;
    const char* array;  // null: fails
  } rows[] = {
      {"0", "$array1d(0,[])"},
      {"2", "$array1d(2,[_,_])"},
      {"[a, f(X), 3]", "$array1d(3,[a,f(X),3])"},
      {"[]", "$array1d(0,[])"},
      {"-1", nullptr},
      {"[a|_]", nullptr},
      {"foo", nullptr},
      {"2.5", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arg);
    lv_term a = terms::var(w);
    int ok = run(prolog_array1d_new, {read(row.arg), a});
    ASSERT_EQ(ok, row.array != nullptr);
    if (!ok) continue;
    EXPECT_EQ(text(a), row.array);
    // The array is laid out in one run.
    uint64_t n = 0;
    lv_term* cells = lv_array_cells(w, a, &n);
    ASSERT_NE(cells, nullptr);
    EXPECT_EQ(w->H - cells, static_cast<int64_t>(lv_array_words(n)));
  }
}

// An array longer than the present stack block grows the heap; a size
// beyond the address space fails.
TEST_F(ArrayTest, ALargeArrayGrowsTheHeap) {
  uint64_t block = static_cast<uint64_t>(w->area_end - w->area_start);
  lv_term a = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_new, {lv_make_small(static_cast<int64_t>(block + 1)), a}));
  uint64_t n = 0;
  ASSERT_NE(lv_array_cells(w, w->X[1], &n), nullptr);
  EXPECT_EQ(n, block + 1);
  EXPECT_LE(w->H, w->heap_hard_limit);

  lv_term b = terms::var(w), fresh = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_new, {read("[a]"), b}));
  block = static_cast<uint64_t>(w->area_end - w->area_start);
  ASSERT_TRUE(run(prolog_array1d_set_length, {lv_make_small(static_cast<int64_t>(block + 1)), b, fresh}));
  ASSERT_NE(lv_array_cells(w, w->X[2], &n), nullptr);
  EXPECT_EQ(n, block + 1);
  EXPECT_EQ(text(*lv_array_element(lv_array_cells(w, w->X[2], &n), 1)), "a");

  EXPECT_FALSE(run(prolog_array1d_new, {lv_make_small(LV_SMALL_MAX), terms::var(w)}));
  EXPECT_FALSE(run(prolog_array1d_set_length, {lv_make_small(LV_SMALL_MAX), read("'$array1d'(0, [])"), terms::var(w)}));
}

TEST_F(ArrayTest, NthReadsElementsInRange) {
  ASSERT_TRUE(run(prolog_array1d_new, {"[a, b, c]", "A"}));
  lv_term a = var("A");
  struct Row {
    int64_t i;
    const char* x;
  } rows[] = {{1, "a"}, {3, "c"}, {0, nullptr}, {4, nullptr}, {-1, nullptr}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.i);
    lv_term x = terms::var(w);
    ASSERT_EQ(run(prolog_array1d_nth, {a, lv_make_small(row.i), x}), row.x != nullptr);
    if (row.x != nullptr) {
      EXPECT_EQ(text(x), row.x);
    }
  }
  EXPECT_FALSE(run(prolog_array1d_nth, {a, lv_make_small(1), read("a")}));  // X must be unbound
}

TEST_F(ArrayTest, AnArrayNotInOneRunIsNoArray) {
  // Built by hand, the list cells do not follow the structure.
  lv_term list = terms::list(w, {read("a"), read("b")});
  lv_term fake = terms::fn(w, LV_ATOM_ARRAY1D, {lv_make_small(2), list});
  EXPECT_FALSE(run(prolog_array1d_nth, {fake, lv_make_small(1), terms::var(w)}));
  EXPECT_FALSE(run(prolog_array1d_set_length, {lv_make_small(1), fake, terms::var(w)}));
}

TEST_F(ArrayTest, SetNthChangesAYoungArrayInPlace) {
  ASSERT_TRUE(run(prolog_array1d_new, {"[a, b, c]", "A"}));
  ASSERT_TRUE(run(prolog_array1d_set_nth, {var("A"), read("2"), read("z"), var("New")}));
  EXPECT_EQ(text("New"), "[]");
  EXPECT_EQ(text("A"), "$array1d(3,[a,z,c])");
  EXPECT_FALSE(run(prolog_array1d_set_nth, {var("A"), read("4"), read("z"), read("N2")}));
  EXPECT_FALSE(run(prolog_array1d_set_nth, {var("A"), read("1"), read("z"), read("bound")}));
}

TEST_F(ArrayTest, SetNthCopiesAnArrayOlderThanTheNewestChoicepoint) {
  ASSERT_TRUE(run(prolog_array1d_new, {"[a, b, c]", "A"}));
  var("New");
  push_choicepoint();
  lv_term* trail = w->TR;
  ASSERT_TRUE(run(prolog_array1d_set_nth, {var("A"), read("1"), read("z"), var("New")}));
  EXPECT_EQ(text("A"), "$array1d(3,[a,b,c])");
  EXPECT_EQ(text("New"), "$array1d(3,[z,b,c])");
  uint64_t n = 0;
  EXPECT_NE(lv_array_cells(w, var("New"), &n), nullptr);
  // New was made before the choicepoint: its binding is trailed.
  EXPECT_EQ(w->TR, trail + 1);
}

TEST_F(ArrayTest, SetNthOfALocalVariableBindsItToTheElement) {
  ASSERT_TRUE(run(prolog_array1d_new, {"1", "A"}));
  lv_term* local = w->local_top++;
  *local = lv_make_ref(local);
  ASSERT_TRUE(run(prolog_array1d_set_nth, {var("A"), lv_make_small(1), *local, terms::var(w)}));
  uint64_t n = 0;
  lv_term* e = lv_array_element(lv_array_cells(w, var("A"), &n), 1);
  EXPECT_TRUE(lv_is_unbound_cell(e));
  EXPECT_EQ(lv_deref(*local), lv_make_ref(e));
}

TEST_F(ArrayTest, SetLengthTruncatesInPlaceOrCopies) {
  struct Row {
    int64_t length;
    bool old;
    const char* array;
    const char* fresh;
  } rows[] = {
      {2, false, "$array1d(2,[a,b])", "[]"},
      {3, false, "$array1d(3,[a,b,c])", "[]"},
      {0, false, "$array1d(0,[])", "[]"},
      {2, true, "$array1d(3,[a,b,c])", "$array1d(2,[a,b])"},
      {5, false, "$array1d(3,[a,b,c])", "$array1d(5,[a,b,c,_,_])"},
      {5, true, "$array1d(3,[a,b,c])", "$array1d(5,[a,b,c,_,_])"},
      {3, true, "$array1d(3,[a,b,c])", "[]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.length) + (row.old ? " old" : " young"));
    lv_term a = terms::var(w), fresh = terms::var(w);
    ASSERT_TRUE(run(prolog_array1d_new, {read("[a, b, c]"), a}));
    if (row.old) push_choicepoint();
    ASSERT_TRUE(run(prolog_array1d_set_length, {lv_make_small(row.length), a, fresh}));
    EXPECT_EQ(text(a), row.array);
    EXPECT_EQ(text(fresh), row.fresh);
    uint64_t n = 0;
    EXPECT_NE(lv_array_cells(w, a, &n), nullptr);
    if (row.old) lv_pop_call_choicepoint(w);
  }
  EXPECT_FALSE(run(prolog_array1d_set_length, {"-1", "'$array1d'(0, [])", "N"}));
}

}  // namespace

namespace {

// Making room for a copy moves the stacks (every overflow moves them here):
// the array and the other arguments are read again afterwards.
TEST_F(ArrayTest, ACopyMadeAfterTheStacksMoved) {
  lv_term a = terms::var(w), fresh = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_new, {read("[a, b, c]"), a}));
  push_choicepoint();
  lv_shift_set_always_move(1);
  w->heap_hard_limit = w->H + 4;
  lv_term* old_start = w->area_start;
  ASSERT_TRUE(run(prolog_array1d_set_length, {lv_make_small(200), a, fresh}));
  lv_shift_set_always_move(0);
  EXPECT_NE(w->area_start, old_start);
  EXPECT_LE(w->H, w->heap_hard_limit);
  uint64_t n = 0;
  lv_term* cells = lv_array_cells(w, w->X[2], &n);
  ASSERT_NE(cells, nullptr);
  EXPECT_EQ(n, 200u);
  EXPECT_EQ(text(*lv_array_element(cells, 3)), "c");
  EXPECT_EQ(text(w->X[1]), "$array1d(3,[a,b,c])");
}

}  // namespace
