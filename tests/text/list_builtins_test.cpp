// $keyclumped and $list_info.
#include <gtest/gtest.h>

#include <string>

#include "support/builtin_fixture.h"
#include "text/list_builtins.h"
#include "text/number_parse.h"

namespace {

class ListBuiltinsTest : public BuiltinTest {
 protected:
  std::string clumped(lv_term pairs) {
    lv_term out = terms::var(w);
    if (run(prolog_keyclumped, {pairs, out}) == 0) return "fail";
    return text(out);
  }
  std::string clumped(const char* pairs) { return clumped(read(pairs)); }
};

TEST_F(ListBuiltinsTest, Keyclumped) {
  EXPECT_EQ(clumped("[-(a,1), -(a,2), -(b,3), -(a,4)]"), "[-(a,[1,2]),-(b,[3]),-(a,[4])]");
  EXPECT_EQ(clumped("[]"), "[]");
  EXPECT_EQ(clumped("[-(k,V)]"), "[-(k,[V])]");
  // Keys are identical or not: 1 and 1.0 differ; equal compound keys and
  // equal big integers are the same key; distinct variables are not.
  EXPECT_EQ(clumped("[-(1,a), -(1.0,b), -(1,c)]"), "[-(1,[a]),-(1.0,[b]),-(1,[c])]");
  EXPECT_EQ(clumped("[-(f(x),a), -(f(x),b), -(f(y),c)]"), "[-(f(x),[a,b]),-(f(y),[c])]");
  EXPECT_EQ(clumped("[-(1152921504606846976,a), -(1152921504606846976,b)]"), "[-(1152921504606846976,[a,b])]");
  int error = 0;
  lv_term big = lv_parse_number(w, "36893488147419103232", 10, 0, 0, 0, 0, &error);
  lv_term big2 = lv_parse_number(w, "36893488147419103232", 10, 0, 0, 0, 0, &error);
  lv_term minus = read("-");
  EXPECT_EQ(clumped(terms::list(w, {terms::fn(w, minus, {big, read("a")}), terms::fn(w, minus, {big2, read("b")})})),
            "[-(big2,[a,b])]");
  EXPECT_EQ(clumped("[-(X,a), -(X,b), -(Y,c)]"), "[-(X,[a,b]),-(Y,[c])]");
  // Not a proper list of pairs, or a bound output: failure.
  EXPECT_EQ(clumped("[-(a,1), b]"), "fail");
  EXPECT_EQ(clumped("[-(a,1) | T]"), "fail");
  EXPECT_EQ(clumped("[-(a,1) | b]"), "fail");
  EXPECT_EQ(clumped("[+(a,1)]"), "fail");
  lv_term cycle = read("[-(a,1)]");
  lv_list_cells(cycle)[1] = cycle;
  EXPECT_EQ(clumped(cycle), "fail");
  EXPECT_EQ(run(prolog_keyclumped, {read("[-(a,1)]"), read("[]")}), 0);
}

// Groups for a list longer than the free heap: the heap grows first.
TEST_F(ListBuiltinsTest, KeyclumpedGrowsTheHeap) {
  int64_t n = (w->heap_hard_limit - w->H) / 6;
  lv_term minus = read("-");
  lv_term list = LV_ATOM_NIL;
  for (int64_t i = 0; i < n; i++)
    list = terms::cons(w, terms::fn(w, minus, {terms::small(i / 3), terms::small(i)}), list);
  w->X[0] = list;
  w->X[1] = terms::var(w);
  ASSERT_EQ(prolog_keyclumped(w), 1);
  int64_t groups = 0, values = 0;
  for (lv_term g = lv_deref(w->X[1]); lv_is_list(g); g = lv_deref(lv_list_cells(g)[1]), groups++) {
    lv_term pair = lv_deref(lv_list_cells(g)[0]);
    int64_t key = lv_small_value(lv_deref(lv_struct_cells(pair)[1]));
    for (lv_term v = lv_deref(lv_struct_cells(pair)[2]); lv_is_list(v); v = lv_deref(lv_list_cells(v)[1]), values++)
      EXPECT_EQ(lv_small_value(lv_deref(lv_list_cells(v)[0])) / 3, key);
  }
  EXPECT_EQ(groups, (n + 2) / 3);
  EXPECT_EQ(values, n);
}

TEST_F(ListBuiltinsTest, ListInfo) {
  struct Row {
    const char* term;
    const char* result;
  } rows[] = {
      {"[a, b | T]", "2 T"}, {"[a | foo]", "1 foo"}, {"[]", "0 []"}, {"foo", "0 foo"},
      {"X", "0 X"},          {"[a, b]", "2 []"},      {"f(x)", "0 f(x)"},
  };
  for (const Row& row : rows) {
    lv_term length = terms::var(w), tail = terms::var(w);
    ASSERT_EQ(run(prolog_list_info, {read(row.term), length, tail}), 1) << row.term;
    EXPECT_EQ(text(length) + " " + text(tail), row.result);
  }
  EXPECT_EQ(run(prolog_list_info, {read("[a, b]"), read("2"), read("[]")}), 1);
  EXPECT_EQ(run(prolog_list_info, {read("[a, b]"), read("3"), terms::var(w)}), 0);
  EXPECT_EQ(run(prolog_list_info, {read("[a, b]"), read("2"), read("foo")}), 0);
}

// A cyclic list ends the walk on a cell of its cycle.
TEST_F(ListBuiltinsTest, ListInfoOnCyclicLists) {
  for (int prefix = 0; prefix < 4; prefix++) {
    for (int cycle = 1; cycle < 6; cycle++) {
      lv_term cells[16];
      lv_term list = LV_ATOM_NIL;
      for (int i = prefix + cycle - 1; i >= 0; i--) list = cells[i] = terms::cons(w, terms::small(i), list);
      lv_list_cells(cells[prefix + cycle - 1])[1] = cells[prefix];
      lv_term length = terms::var(w), tail = terms::var(w);
      ASSERT_EQ(run(prolog_list_info, {list, length, tail}), 1);
      lv_term stop = lv_deref(tail);
      ASSERT_TRUE(lv_is_list(stop));
      int64_t at = lv_small_value(lv_deref(lv_list_cells(stop)[0]));
      EXPECT_GE(at, prefix);
      EXPECT_GE(lv_small_value(lv_deref(length)), prefix + cycle - 1);
    }
  }
}

}  // namespace
