// $sort and $keysort: the standard order, duplicates, stability, the errors
// of lists that are not proper, and randomised lists against the C++
// library's sorts.
#include "text/sort_builtins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "core/error_codes.h"
#include "core/term_compare.h"
#include "support/builtin_fixture.h"
#include "support/raised_error.h"

namespace {

class SortTest : public BuiltinTest {
 protected:
  // The sorted list as text, or "fail".
  std::string sorted(lv_builtin_function f, const char* list) {
    lv_term out = terms::var(w);
    if (run(f, {read(list), out}) == 0) return "fail";
    return text(out);
  }
};

TEST_F(SortTest, Lists) {
  struct Row {
    const char* list;
    const char* sorted;
    const char* keysorted;
  } rows[] = {
      {"[b, a, c, a]", "[a,b,c]", "fail"},
      {"[]", "[]", "[]"},
      {"[f(b), 2, a, 1.5, 1, g(a), f(a), [x], a]", "[1.5,1,2,a,f(a),f(b),g(a),[x]]", "fail"},
      {"[c, b, a, a, b, c]", "[a,b,c]", "fail"},
      {"[-(2,a), -(1,b), -(2,c), -(1,d)]", "[-(1,b),-(1,d),-(2,a),-(2,c)]", "[-(1,b),-(1,d),-(2,a),-(2,c)]"},
      {"[-(b,1), -(a,2), -(b,0), -(a,1), -(a,2)]", "[-(a,1),-(a,2),-(b,0),-(b,1)]", "[-(a,2),-(a,1),-(a,2),-(b,1),-(b,0)]"},
      {"[-(x,1), a]", "[a,-(x,1)]", "fail"},          // a keysort element that is no pair
      {"[-(x,1), Y]", "[Y,-(x,1)]", "fail"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.list);
    EXPECT_EQ(sorted(prolog_sort, row.list), row.sorted);
    EXPECT_EQ(sorted(prolog_keysort, row.list), row.keysorted);
  }
}

TEST_F(SortTest, VariablesSortFirstAndTheSameVariableOnce) {
  lv_term x = var("X"), y = var("Y");
  lv_term out = terms::var(w);
  ASSERT_TRUE(run(prolog_sort, {terms::list(w, {read("a"), y, x, y, read("1")}), out}));
  lv_term first = lv_deref(lv_list_cells(lv_deref(out))[0]);
  EXPECT_EQ(text(out), x < y ? "[X,Y,1,a]" : "[Y,X,1,a]");
  EXPECT_TRUE(lv_is_ref(first));
}

TEST_F(SortTest, ABoundOutputFails) {
  EXPECT_FALSE(run(prolog_sort, {read("[b, a]"), read("[a, b]")}));
  EXPECT_FALSE(run(prolog_keysort, {read("[-(b,1)]"), read("[]")}));
}

// A list that is not proper raises the error of sort/2 or keysort/2 on
// argument 1, with the list as culprit: partial lists an instantiation
// error, cyclic lists and other tails a type error. A cyclic list of one
// cell and one entered after a prefix are both seen.
TEST_F(SortTest, ListsThatAreNotProperRaise) {
  lv_term one = terms::cons(w, read("a"), LV_ATOM_NIL);
  lv_list_cells(one)[1] = one;
  lv_term loop = terms::list(w, {read("c"), read("d"), read("e")});
  lv_list_cells(lv_list_cells(lv_list_cells(loop)[1])[1])[1] = loop;
  lv_term prefixed = terms::list(w, {read("a"), read("b")}, loop);
  struct Row {
    lv_term list;
    int32_t code;
  } rows[] = {
      {read("[a, b | T]"), LV_ERROR_INSTANTIATION},
      {read("T"), LV_ERROR_INSTANTIATION},
      {read("[a | b]"), LV_ERROR_NOT_A_LIST},
      {read("foo"), LV_ERROR_NOT_A_LIST},
      {one, LV_ERROR_NOT_A_LIST},
      {prefixed, LV_ERROR_NOT_A_LIST},
  };
  for (const Row& row : rows) {
    for (bool keys : {false, true}) {
      SCOPED_TRACE(std::string(keys ? "keysort " : "sort ") + std::to_string(&row - rows));
      RaisedError e(w);
      lv_term* h = w->H;
      EXPECT_EQ(run(keys ? prolog_keysort : prolog_sort, {row.list, terms::var(w)}), 0);
      ASSERT_TRUE(e.raised());
      EXPECT_EQ(e.code(), row.code);
      EXPECT_EQ(e.context(), keys ? "prolog:keysort/2" : "prolog:sort/2");
      EXPECT_EQ(e.argument(), 1);
      EXPECT_EQ(e.culprit(), lv_deref(row.list));
      EXPECT_LT(w->H - h, 16);  // nothing was copied
      e.rearm();
    }
  }
}

// Keys from a small range, so that runs meet many equal keys; the values
// record the input position.
TEST_F(SortTest, RandomListsAgreeWithTheLibrarySorts) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; round++) {
    int n = static_cast<int>(random() % 3000);
    int range = 1 + static_cast<int>(random() % 50);
    std::vector<std::pair<int64_t, int64_t>> pairs;
    lv_term pair_list = LV_ATOM_NIL, key_list = LV_ATOM_NIL;
    for (int i = 0; i < n; i++) pairs.emplace_back(static_cast<int64_t>(random() % range) - range / 2, i);
    for (int i = n - 1; i >= 0; i--) {
      lv_term k = terms::small(pairs[i].first);
      pair_list = terms::cons(w, terms::fn(w, terms::atom(7), {k, terms::small(pairs[i].second)}), pair_list);
      key_list = terms::cons(w, k, key_list);
    }
    std::vector<std::pair<int64_t, int64_t>> expected = pairs;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<int64_t> keys;
    for (const auto& p : pairs) keys.push_back(p.first);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());

    lv_term out = terms::var(w);
    ASSERT_TRUE(run(prolog_keysort, {pair_list, out}));
    size_t i = 0;
    for (lv_term l = lv_deref(out); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]), i++) {
      ASSERT_LT(i, expected.size());
      lv_term* p = lv_struct_cells(lv_deref(lv_list_cells(l)[0]));
      EXPECT_EQ(lv_small_value(lv_deref(p[1])), expected[i].first);
      EXPECT_EQ(lv_small_value(lv_deref(p[2])), expected[i].second);
    }
    EXPECT_EQ(i, expected.size());

    out = terms::var(w);
    ASSERT_TRUE(run(prolog_sort, {key_list, out}));
    i = 0;
    for (lv_term l = lv_deref(out); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]), i++) {
      ASSERT_LT(i, keys.size());
      EXPECT_EQ(lv_small_value(lv_deref(lv_list_cells(l)[0])), keys[i]);
    }
    EXPECT_EQ(i, keys.size());
    w->H = lv_choice_view(w->B)->saved_h();
  }
}

// Keys of every kind (variables, floats and integers of equal value, big
// integers, atoms, compound terms, equal but distinct copies) ordered by the
// engine's standard order: keysort against std::stable_sort, sort against
// std::stable_sort and std::unique.
TEST_F(SortTest, RandomMixedKeysAgreeWithTheLibrarySorts) {
  const char* texts[] = {"X", "Y", "1", "1.0", "-3", "2.5", "2", "4611686018427387904", "-4611686018427387905",
                         "a", "b", "[]", "'A'", "f(a)", "f(b)", "f(X)", "g(a)", "f(a, b)", "[a]", "[a, b]",
                         "f(a)", "[a]", "0.0", "a"};
  std::mt19937 random(11);
  for (int round = 0; round < 30; round++) {
    std::vector<lv_term> pool;
    for (const char* t : texts) pool.push_back(read(t));
    int n = static_cast<int>(random() % 400);
    std::vector<std::pair<lv_term, int64_t>> pairs;
    for (int i = 0; i < n; i++) pairs.emplace_back(pool[random() % pool.size()], i);
    lv_term pair_list = LV_ATOM_NIL, key_list = LV_ATOM_NIL;
    for (int i = n - 1; i >= 0; i--) {
      pair_list = terms::cons(w, terms::fn(w, terms::atom(7), {pairs[i].first, terms::small(i)}), pair_list);
      key_list = terms::cons(w, pairs[i].first, key_list);
    }
    auto less = [&](lv_term a, lv_term b) { return lv_standard_order(w, a, b) < 0; };
    std::vector<std::pair<lv_term, int64_t>> expected = pairs;
    std::stable_sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) { return less(a.first, b.first); });
    std::vector<lv_term> keys;
    for (const auto& p : pairs) keys.push_back(p.first);
    std::stable_sort(keys.begin(), keys.end(), less);
    keys.erase(std::unique(keys.begin(), keys.end(), [&](lv_term a, lv_term b) { return lv_standard_order(w, a, b) == 0; }),
               keys.end());

    lv_term out = terms::var(w);
    ASSERT_TRUE(run(prolog_keysort, {pair_list, out}));
    size_t i = 0;
    for (lv_term l = lv_deref(out); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]), i++) {
      ASSERT_LT(i, expected.size());
      lv_term* p = lv_struct_cells(lv_deref(lv_list_cells(l)[0]));
      EXPECT_EQ(lv_standard_order(w, p[1], expected[i].first), 0);
      EXPECT_EQ(lv_small_value(lv_deref(p[2])), expected[i].second);
    }
    EXPECT_EQ(i, expected.size());

    out = terms::var(w);
    ASSERT_TRUE(run(prolog_sort, {key_list, out}));
    i = 0;
    for (lv_term l = lv_deref(out); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]), i++) {
      ASSERT_LT(i, keys.size());
      EXPECT_EQ(lv_standard_order(w, lv_list_cells(l)[0], keys[i]), 0);
    }
    EXPECT_EQ(i, keys.size());
  }
}

// A list longer than the free heap: the heap grows for the copy.
TEST_F(SortTest, AListLargerThanTheFreeHeapIsSorted) {
  int64_t n = (w->heap_hard_limit - w->H) / 3;
  lv_term list = LV_ATOM_NIL;
  for (int64_t i = 0; i < n; i++) list = terms::cons(w, terms::small(i % 1000), list);
  w->X[0] = list;
  w->X[1] = terms::var(w);
  ASSERT_TRUE(prolog_sort(w));
  int64_t count = 0, last = -1;
  for (lv_term l = lv_deref(w->X[1]); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]), count++) {
    int64_t v = lv_small_value(lv_deref(lv_list_cells(l)[0]));
    EXPECT_GT(v, last);
    last = v;
  }
  EXPECT_EQ(count, 1000);
}

}  // namespace
