// The standard order of terms, the shallow order and the comparison
// built-ins.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_builtins.h"
#include "core/term_compare.h"
#include "core/unify.h"
#include "support/engine_fixture.h"
#include "support/env.h"
#include "support/terms.h"
#include "support/term_graph.h"

namespace {

using namespace terms;

class OrderTest : public EngineTest {
 protected:
  // Small operating-system blocks, so that long comparisons outgrow the
  // second block.
  ScopedEnv env{{"PROLOGINCSIZE", "64K"}, {"PROLOGINITSIZE", "20K"}};

  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
  }
  void TearDown() override {
    lv_shift_set_always_move(0);
    EngineTest::TearDown();
  }
  lv_term at(const char* text) { return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE); }
  // A two-limb integer box {lo, hi}.
  lv_term big2(uint64_t lo, uint64_t hi) {
    lv_term* h = w->H;
    h[0] = h[3] = LV_BOX_INT2;
    h[1] = lo;
    h[2] = hi;
    w->H = h + 4;
    return lv_make_struct(h);
  }
  lv_term flt(double d) { return lv_make_float_box(w, d); }
  int order(lv_term x, lv_term y) {
    int32_t pairs = w->pair_index;
    int64_t trail = w->TR - w->trail_base;
    int c = lv_standard_order(w, x, y);
    EXPECT_EQ(w->pair_index, pairs);
    EXPECT_EQ(w->TR - w->trail_base, trail);
    return c;
  }
};

TEST_F(OrderTest, TableOfCases) {
  lv_term x = var(w), y = var(w);
  lv_term m1 = mutable_term(w, small(1)), m2 = mutable_term(w, small(1));
  lv_term f = at("f"), g = at("g"), a = at("a"), b = at("b");
  struct {
    const char* name;
    lv_term left, right;
    int expected;
  } cases[] = {
      {"variables by age", x, y, -1},
      {"a variable before a number", y, small(-100), -1},
      {"float before integer", flt(1.0), small(1), -1},
      {"float before a smaller integer", flt(2.0), small(1), -1},
      {"float before a big integer", flt(1e300), lv_make_integer_box(w, int64_t{1} << 61), -1},
      {"floats by value", flt(-1.5), flt(0.5), -1},
      {"two NaNs are equal", flt(std::nan("")), flt(std::nan("1")), 0},
      {"NaN after every float", flt(std::nan("")), flt(1.0e308), 1},
      {"NaN after infinity", flt(INFINITY), flt(std::nan("")), -1},
      {"negative infinity first", flt(-INFINITY), flt(-1e308), -1},
      {"equal floats", flt(2.5), flt(2.5), 0},
      {"small integers", small(-5), small(3), -1},
      {"small extremes", small(LV_SMALL_MIN), small(LV_SMALL_MAX), -1},
      {"big after small", lv_make_integer_box(w, int64_t{1} << 61), small(LV_SMALL_MAX), 1},
      {"negative big before small", lv_make_integer_box(w, -(int64_t{1} << 61)), small(LV_SMALL_MIN), -1},
      {"big integers", lv_make_integer_box(w, int64_t{1} << 61), lv_make_integer_box(w, int64_t{1} << 62), -1},
      {"equal big integers", lv_make_integer_box(w, int64_t{1} << 61), lv_make_integer_box(w, int64_t{1} << 61), 0},
      {"two limbs after one", big2(0, 1), lv_make_integer_box(w, INT64_MAX), 1},
      {"negative two limbs first", big2(0, ~uint64_t{0} - 1), lv_make_integer_box(w, INT64_MIN), -1},
      {"two limbs by the high limb", big2(5, 2), big2(7, 1), 1},
      {"two limbs by the low limb, unsigned", big2(~uint64_t{0}, 1), big2(1, 1), 1},
      {"a number before an atom", small(1000), at(""), -1},
      {"the empty atom first", at(""), a, -1},
      {"a prefix first", a, at("ab"), -1},
      {"bytes unsigned", at("z"), at("\xc3\xa9"), -1},
      {"code 0 before any character", at("a\xc0\x80"), at("a\x01"), -1},
      {"code 0 before a", at("a\xc0\x80"), at("aa"), -1},
      {"a prefix before code 0", a, at("a\xc0\x80"), -1},
      {"an atom before a compound", at("zzz"), fn(w, a, {a}), -1},
      {"arity before name", fn(w, g, {a}), fn(w, f, {a, b}), -1},
      {"then the name", fn(w, f, {a}), fn(w, g, {a}), -1},
      {"a list is '.'/2", list(w, {a}), fn(w, f, {a, b}), -1},
      {"then the arguments", fn(w, f, {a, b}), fn(w, f, {a, a}), 1},
      {"arguments left to right", fn(w, f, {a, b}), fn(w, f, {b, a}), -1},
      {"a variable argument first", fn(w, f, {x}), fn(w, f, {small(0)}), -1},
      {"variable arguments by age", fn(w, f, {y}), fn(w, f, {x}), 1},
      {"a number argument before a compound one", fn(w, f, {flt(0.0)}), fn(w, f, {list(w, {a})}), -1},
      {"lists element by element", list(w, {a, b}), list(w, {a, a}), 1},
      {"a shorter list first", list(w, {a}), list(w, {a, a}), -1},
      {"equal structures", fn(w, f, {a, list(w, {b, small(2)})}), fn(w, f, {a, list(w, {b, small(2)})}), 0},
      {"mutables by address", m1, m2, -1},
      {"a mutable by name", m2, fn(w, f, {a, a}), -1},
      {"a mutable inside", fn(w, f, {m2}), fn(w, f, {m1}), 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(order(c.left, c.right), c.expected) << c.name;
    EXPECT_EQ(order(c.right, c.left), -c.expected) << c.name << " (swapped)";
  }
}

TEST_F(OrderTest, CyclicTermsTerminate) {
  lv_term f = at("f"), a = at("a"), b = at("b");
  auto cyclic = [&](lv_term extra) {  // X = f(X, extra)
    lv_term v = var(w);
    lv_term t = fn(w, f, {v, extra});
    set(v, t);
    return t;
  };
  auto cyclic_list = [&](std::initializer_list<lv_term> items) {  // L = [items...|L]
    lv_term v = var(w);
    lv_term l = list(w, items, v);
    set(v, l);
    return l;
  };
  lv_term x = cyclic(a), y = cyclic(a), z = cyclic(b);
  graph_printer before(w);
  std::string shown = before.print(x) + before.print(y) + before.print(z);
  EXPECT_EQ(order(x, y), 0);
  EXPECT_EQ(order(x, z), -1);
  EXPECT_EQ(order(z, y), 1);
  EXPECT_EQ(order(cyclic_list({a}), cyclic_list({a, a})), 0);
  EXPECT_EQ(order(cyclic_list({a, b}), cyclic_list({a, b, a, b, a, b})), 0);
  EXPECT_EQ(order(cyclic_list({a, b}), cyclic_list({a, a})), 1);
  graph_printer after(w);
  EXPECT_EQ(after.print(x) + after.print(y) + after.print(z), shown);
}

// Long and deep terms grow the comparison's work area through shifts of the
// second block; every temporary identity is undone.
TEST_F(OrderTest, LongTermsGrowTheWorkArea) {
  lv_term f = at("f"), a = at("a");
  const int n = 30000;
  if (w->heap_hard_limit - w->H < 16 * n) heap_overflow(w, 16 * n, LV_LOCAL_RESERVE_CELLS);
  auto make = [&](lv_term last) {
    lv_term l = LV_ATOM_NIL;
    for (int i = 0; i < n; i++) l = cons(w, fn(w, f, {small(i % 7), i == 0 ? last : a}), l);
    return l;
  };
  lv_term x = make(a), y = make(a), z = make(f);
  graph_printer before(w);
  std::string shown = before.print(x) + before.print(z);
  lv_shift_set_always_move(1);
  uint64_t shifts = lv_shift_stats.trail_choice_overflows;
  EXPECT_EQ(order(x, y), 0);
  EXPECT_GT(lv_shift_stats.trail_choice_overflows, shifts + 2);
  EXPECT_EQ(order(x, z), -1);
  lv_shift_set_always_move(0);
  graph_printer after(w);
  EXPECT_EQ(after.print(x) + after.print(z), shown);
}

// An oracle: the standard order by plain recursion over acyclic terms.
int oracle(lv_term x, lv_term y) {
  x = lv_deref(x);
  y = lv_deref(y);
  auto rank = [](lv_term t) {
    if (lv_is_ref(t)) return 0;
    if (lv_is_small(t) || lv_is_box(t)) return 1;
    if (lv_is_atom(t)) return 2;
    return 3;
  };
  auto three = [](auto a, auto b) { return a < b ? -1 : a > b ? 1 : 0; };
  if (rank(x) != rank(y)) return three(rank(x), rank(y));
  switch (rank(x)) {
    case 0:
      return three(x, y);
    case 1: {
      bool xf = lv_is_float_box(x), yf = lv_is_float_box(y);
      if (xf != yf) return xf ? -1 : 1;
      if (xf) {
        double a = lv_float_value(x), b = lv_float_value(y);
        if (std::isnan(a) || std::isnan(b)) return three(std::isnan(a), std::isnan(b));
        return three(a, b);
      }
      auto value = [](lv_term t) -> __int128 {
        if (lv_is_small(t)) return lv_small_value(t);
        const lv_term* c = lv_struct_cells(t);
        if (lv_box_value_words(c[0]) == 1) return static_cast<int64_t>(c[1]);
        return static_cast<__int128>(static_cast<unsigned __int128>(c[2]) << 64 | c[1]);
      };
      return three(value(x), value(y));
    }
    case 2:
      return three(std::string(lv_atom_text(x)), std::string(lv_atom_text(y)));
    default: {
      auto functor = [](lv_term t) { return lv_is_list(t) ? LV_FUNCTOR_DOT_2 : *lv_struct_cells(t); };
      auto args = [](lv_term t) { return lv_is_list(t) ? lv_list_cells(t) : lv_struct_cells(t) + 1; };
      lv_term fx = functor(x), fy = functor(y);
      if (lv_functor_arity(fx) != lv_functor_arity(fy)) return three(lv_functor_arity(fx), lv_functor_arity(fy));
      int c = three(std::string(lv_atom_text(lv_functor_atom(fx))), std::string(lv_atom_text(lv_functor_atom(fy))));
      if (c != 0) return c;
      for (unsigned i = 0; i < lv_functor_arity(fx); i++)
        if ((c = oracle(args(x)[i], args(y)[i])) != 0) return c;
      return 0;
    }
  }
}

// Random acyclic terms with shared subterms, compared against the oracle.
TEST_F(OrderTest, RandomTermsAgreeWithTheOracle) {
  std::mt19937_64 rng(99);
  // Plain texts only: the oracle compares bytes as std::string does. A
  // structure is never named '.' with two arguments.
  const lv_term names[] = {at("f"), at("g"), at("ab"), at(""), at(".")};
  std::vector<lv_term> made;
  auto pick = [&](uint64_t n) { return rng() % n; };
  std::function<lv_term(int)> make = [&](int depth) -> lv_term {
    switch (depth <= 0 ? pick(5) : pick(9)) {
      case 0: return names[pick(5)];
      case 1: return small(static_cast<int64_t>(pick(7)) - 3);
      case 2: return pick(2) ? flt(static_cast<double>(pick(5)) - 2.0) : flt(std::nan(""));
      case 3: return pick(2) ? lv_make_integer_box(w, (int64_t{1} << 61) * (pick(2) ? 1 : -1)) : big2(pick(3), 1 + pick(2));
      case 4: return made.empty() || pick(2) ? var(w) : made[pick(made.size())];
      case 5:
      case 6: {
        unsigned n = 1 + static_cast<unsigned>(pick(3));
        lv_term a[3];
        for (unsigned i = 0; i < n; i++) a[i] = make(depth - 1);
        lv_term* h = w->H;
        h[0] = lv_make_functor(names[pick(4)], n);
        for (unsigned i = 0; i < n; i++) h[1 + i] = a[i];
        w->H = h + 1 + n;
        made.push_back(lv_make_struct(h));
        return made.back();
      }
      default: {
        lv_term l = pick(3) ? LV_ATOM_NIL : make(0);
        for (uint64_t k = pick(3); k > 0; k--) l = cons(w, make(depth - 1), l);
        if (lv_is_list(l)) made.push_back(l);
        return l;
      }
    }
  };
  std::vector<lv_term> terms;
  for (int i = 0; i < 300; i++) terms.push_back(make(3));
  int checked = 0;
  for (size_t i = 0; i < terms.size(); i++) {
    for (size_t j = i; j < terms.size(); j += 7) {
      int expected = oracle(terms[i], terms[j]);
      ASSERT_EQ(order(terms[i], terms[j]), expected) << show(terms[i]) << " vs " << show(terms[j]);
      ASSERT_EQ(order(terms[j], terms[i]), -expected);
      checked++;
    }
  }
  EXPECT_GT(checked, 5000);
}

TEST_F(OrderTest, ShallowOrderAndTermIdentity) {
  lv_term f = at("f"), g = at("g"), a = at("a"), b = at("b");
  lv_term fb = fn(w, f, {b});  // older than fa, though greater in the standard order
  lv_term fa = fn(w, f, {a});
  lv_term x = var(w), y = var(w);
  struct {
    lv_term left, right;
    lv_term expected;
  } cases[] = {
      {fb, fa, at("<")},
      {fa, fb, at(">")},
      {fa, fa, at("=")},
      {fn(w, g, {a}), fn(w, f, {a, a}), at("<")},
      {x, y, at("<")},
      {y, small(1), at("<")},
      {fa, y, at(">")},
      {small(1), flt(5.0), at(">")},
      {a, b, at("<")},
      {list(w, {b}), list(w, {a}), at("<")},
  };
  for (const auto& c : cases) {
    lv_term order_var = var(w);
    w->X[0] = order_var;
    w->X[1] = c.left;
    w->X[2] = c.right;
    ASSERT_EQ(prolog_compare_term_identity(w), 1);
    EXPECT_EQ(lv_deref(order_var), c.expected) << show(c.left) << " " << show(c.right);
  }
}

TEST_F(OrderTest, CompoundTermAge) {
  lv_term f = at("f"), a = at("a");
  lv_term older = fn(w, f, {a});
  lv_term newer = list(w, {a});
  struct {
    lv_term left, right;
    int result;
    lv_term expected;
  } cases[] = {
      {older, newer, 1, at("<")},
      {newer, older, 1, at(">")},
      {older, older, 1, at("=")},
      {older, lv_make_integer_box(w, int64_t{1} << 62), 0, 0},
      {a, older, 0, 0},
      {var(w), older, 0, 0},
  };
  for (const auto& c : cases) {
    lv_term order_var = var(w);
    w->X[0] = order_var;
    w->X[1] = c.left;
    w->X[2] = c.right;
    ASSERT_EQ(prolog_compare_compound_term_age(w), c.result);
    if (c.result) {
      EXPECT_EQ(lv_deref(order_var), c.expected);
    }
  }
}

TEST_F(OrderTest, Eq) {
  lv_term x = var(w), y = var(w);
  lv_term f = fn(w, at("f"), {x});
  lv_term z = var(w);
  set(z, f);
  struct {
    lv_term left, right;
    int result;
  } cases[] = {{x, x, 1}, {x, y, 0}, {z, f, 1}, {f, fn(w, at("f"), {x}), 0}, {small(3), small(3), 1}};
  for (const auto& c : cases) {
    w->X[0] = c.left;
    w->X[1] = c.right;
    EXPECT_EQ(prolog_eq(w), c.result);
  }
}

}  // namespace
