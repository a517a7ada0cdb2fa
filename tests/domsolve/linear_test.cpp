// The reified scalar product over a real engine: its edge cases, and every
// variant against brute-force enumeration (soundness, bounds consistency at
// the fixpoint, exact acceptance, the search's solutions).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "arith/int192.h"
#include "arith/linear.h"
#include "domsolve/oracle.h"

namespace {

using oracle::domains;
using oracle::values;

// A linear constraint: coefficients, relation 1-6 (<, =<, =, \=, >, >=),
// right-hand side, the mode's variant, and B: 1, 0 or open (-1).
struct linear {
  std::vector<int64_t> a;
  int r;
  int64_t c;
  int64_t mode;
  int b;
};

bool relation_holds(int r, __int128 s, __int128 c) {
  switch (r) {
    case 1: return s < c;
    case 2: return s <= c;
    case 3: return s == c;
    case 4: return s != c;
    case 5: return s > c;
    default: return s >= c;
  }
}

class Linear : public oracle::OracleTest {
 protected:
  // The state's first argument, a list of t(_, _, _), filled with the
  // summands.
  void fill_summands(lv_term_ref state, const std::vector<lv_term_ref>& vs, const std::vector<int64_t>& a) {
    lv_term list = lv_deref(lv_struct_cells(term(state))[1]);
    for (size_t i = 0; i < a.size(); i++, list = lv_deref(lv_list_cells(list)[1])) {
      lv_term attribute = attribute_of(vs[i]);
      lv_term* t = lv_struct_cells(lv_deref(lv_list_cells(list)[0]));
      t[1] = lv_make_small(a[i]);
      t[2] = term(vs[i]);
      t[3] = attribute;
    }
  }

  // Posts sum(a_i * vs_i) R c (c written as a term) with B 0, 1 or, for -1,
  // the last variable.
  void post(const std::vector<lv_term_ref>& vs, const std::vector<int64_t>& a, int r, const std::string& c,
            int64_t mode, int b) {
    std::string terms = "[";
    for (size_t i = 0; i < a.size(); i++) terms += (i ? ", " : "") + std::string("t(_, _, _)");
    lv_term_ref state = ref("st(" + terms + "], " + std::to_string(r | (mode << 3)) + ", 0, p(_, _), 0, _, 0)");
    lv_struct_cells(term(state))[3] = read(c);
    fill_summands(state, vs, a);
    lv_term_ref bref = b < 0 ? vs.back() : ref(std::to_string(b));
    lv_term battr = attribute_of(bref);
    lv_term* pair = lv_struct_cells(lv_deref(lv_struct_cells(term(state))[4]));
    pair[1] = term(bref);
    pair[2] = battr;
    lv_term_ref p = LV_new_term_ref();
    fd_post_global(&env, ref("scalar_product_reif(a, b, c, d, e)"), state, 0, ref("[]"), ref("[]"), p);
  }

  // The variables are the summands' and, for an open B, B last.
  constraint make(const linear& l) {
    constraint c;
    c.post = [this, l](const std::vector<lv_term_ref>& vs) {
      post(vs, l.a, l.r, std::to_string(l.c), l.mode, l.b);
    };
    c.holds = [l](const values& t) {
      __int128 s = 0;
      for (size_t i = 0; i < l.a.size(); i++) s += static_cast<__int128>(l.a[i]) * t[i];
      bool h = relation_holds(l.r, s, l.c);
      int b = l.b < 0 ? static_cast<int>(t.back()) : l.b;
      return b == 1 ? h : !h;
    };
    c.strength = [l](const domains& ds) -> std::string {
      // Bounds: the least and greatest value of every term.
      size_t n = l.a.size();
      std::vector<__int128> lo(n), hi(n);
      __int128 smin = 0, smax = 0;
      for (size_t i = 0; i < n; i++) {
        __int128 x = static_cast<__int128>(l.a[i]) * ds[i].front(), y = static_cast<__int128>(l.a[i]) * ds[i].back();
        lo[i] = x < y ? x : y;
        hi[i] = x < y ? y : x;
        smin += lo[i];
        smax += hi[i];
      }
      int b = l.b;
      if (l.b < 0) b = ds.back().size() == 1 ? static_cast<int>(ds.back()[0]) : -1;
      if (b < 0) {
        // B open: the bounds decide nothing yet.
        bool may = false, may_not = false;
        for (__int128 s : {smin, smax}) (relation_holds(l.r, s, l.c) ? may : may_not) = true;
        if (l.r == 4) {
          may = smin != l.c || smax != l.c;
          may_not = smin <= l.c && l.c <= smax;
        }
        if (l.r == 3) {
          may = smin <= l.c && l.c <= smax;
          may_not = smin != l.c || smax != l.c;
        }
        return may && may_not ? "" : "B left open though the bounds decide it";
      }
      int r = b == 1 ? l.r : 7 - l.r;
      __int128 c = l.c;
      // Every term's greatest value must fit beside the others' least
      // (=<, =), its least beside the others' greatest (>=, =).
      bool upper = r == 1 || r == 2 || r == 3, lower = r == 3 || r == 5 || r == 6;
      __int128 cu = r == 1 ? c - 1 : c, cl = r == 5 ? c + 1 : c;
      for (size_t i = 0; i < n; i++) {
        if (upper && hi[i] + (smin - lo[i]) > cu) return "a bound left that no sum =< c supports";
        if (lower && lo[i] + (smax - hi[i]) < cl) return "a bound left that no sum >= c supports";
      }
      if (r == 4) {
        int open = 0;
        size_t last = 0;
        __int128 fixed = 0;
        for (size_t i = 0; i < n; i++) {
          if (l.a[i] == 0) continue;
          if (ds[i].size() > 1) {
            open++;
            last = i;
          } else {
            fixed += static_cast<__int128>(l.a[i]) * ds[i][0];
          }
        }
        if (open == 1 && (c - fixed) % l.a[last] == 0) {
          __int128 v = (c - fixed) / l.a[last];
          for (int64_t x : ds[last])
            if (x == v) return "the one forbidden value left";
        }
      }
      return "";
    };
    return c;
  }
};

// The Parts' edge cases: domains written lo..hi (inf, sup allowed) or as a
// value; the outcome the domains after propagation, or "fail".
TEST_F(Linear, EdgeCases) {
  const struct {
    std::vector<int64_t> a;
    int r;
    const char* c;
    int64_t mode;
    int b;  // -1: B is the last domain
    std::vector<const char*> doms;
    const char* outcome;
  } cases[] = {
      // 2x < 7: the strict form prunes against slack - 1.
      {{2}, 1, "7", 0, 1, {"0..10"}, "0..3"},
      // A negative coefficient narrows the minimum for =<, the maximum
      // for >=, rounding toward the domain.
      {{-2}, 2, "-3", 0, 1, {"0..10"}, "2..10"},
      {{-2}, 6, "-5", 0, 1, {"0..10"}, "0..2"},
      // x \= 5: removed; not there; the fixed value itself.
      {{1}, 4, "5", 0, 1, {"0..9"}, "0..4,6..9"},
      {{1}, 4, "5", 0, 1, {"6..9"}, "6..9"},
      {{1}, 4, "5", 0, 1, {"5"}, "fail"},
      // 2x + 4y = 7: the gcd check fails before any bound moves.
      {{2, 4}, 3, "7", 0, 1, {"0..10", "0..10"}, "fail"},
      // B open: x + y =< 5 is neither decided nor narrowed; decided once
      // the bounds decide it, and its negation propagates.
      {{1, 1}, 2, "5", 0, -1, {"0..10", "0..10", "0..1"}, "0..10 0..10 0..1"},
      {{1, 1}, 2, "5", 0, -1, {"0..2", "0..3", "0..1"}, "0..2 0..3 1"},
      {{1, 1}, 2, "5", 0, 0, {"0..10", "0..2"}, "4..10 0..2"},
      // An infinite bound prunes nothing it should not.
      {{1, 1}, 2, "3", 0, 1, {"inf..sup", "0..5"}, "inf..3 0..5"},
      // A bound past the small integers where it would tighten: the
      // overflow (here set to fail).
      {{1, 1}, 2, "-1152921504606846996", 0, 1, {"0..10", "inf..sup"}, "fail"},
      // A right-hand side of two limbs counts at its full value.
      {{1, 1}, 2, "1267650600228229401496703205376", 0, 1, {"0..10", "0..10"}, "0..10 0..10"},
      {{1, 1}, 6, "1267650600228229401496703205376", 0, 1, {"0..10", "0..10"}, "fail"},
      // 0/1 sums: the whole sum at its limit, the largest span first, and
      // \= with one variable left.
      {{1, 1, 1}, 2, "1", 2, 1, {"1", "0..1", "0..1"}, "1 0 0"},
      {{3, 2}, 6, "4", 2, 1, {"0..1", "0..1"}, "1 1"},
      {{1, -1}, 4, "0", 6, 1, {"1", "0..1"}, "1 0"},
      {{1, 1, 1}, 2, "1", (3 << 3) | 2, 1, {"1", "0..1", "0..1"}, "1 0 0"},
      {{3, 2}, 6, "4", (2 << 3) | 6 /* not unit: sent to the generic variant */, 1, {"0..1", "0..1"}, "1 1"},
  };
  for (const auto& c : cases) {
    begin_call();
    state->overflow = 0;
    std::vector<lv_term_ref> vs;
    for (const char* d : c.doms) {
      std::string t = d;
      size_t dots = t.find("..");
      lv_term_ref v = ref(dots == std::string::npos ? t : "_");
      if (dots != std::string::npos) fd_in_interval(&env, v, ref(t.substr(0, dots)), ref(t.substr(dots + 2)), 1);
      vs.push_back(v);
    }
    post(vs, c.a, c.r, c.c, c.mode, c.b);
    std::string got;
    if (!propagate()) {
      got = "fail";
    } else {
      for (lv_term_ref v : vs) {
        lv_term t = term(v);
        std::string one;
        if (lv_is_small(t)) {
          one = text(t);
        } else {
          lv_term d = fd_attribute_domain(lv_deref(get_attributes(w, t, state->module)));
          for (lv_term s = lv_deref(lv_struct_cells(d)[1]); s != LV_ATOM_NIL; s = lv_deref(lv_list_cells(s)[1])) {
            lv_term iv = lv_deref(lv_list_cells(s)[0]);
            one += (one.empty() ? "" : ",") + text(lv_list_cells(iv)[0]) + ".." + text(lv_list_cells(iv)[1]);
          }
        }
        got += (got.empty() ? "" : " ") + one;
      }
    }
    EXPECT_EQ(got, c.outcome) << c.r << " " << c.c;
  }
}

// The random instances of a variant: 1-4 summands over -6..6 (0..1 for the
// 0/1 variants), coefficients -3..3 (+-1 for the unit ones), every
// relation, B fixed or open.
TEST_F(Linear, EveryVariantAgainstEnumeration) {
  std::mt19937 rng(20240611);
  const struct {
    int64_t kind;  // the mode's kind bits
    bool count;    // the count in the mode too
  } variants[] = {{0, false}, {0, true}, {1, false}, {1, true}, {2, false}, {2, true}, {6, false}, {6, true}};
  for (const auto& v : variants) {
    for (int round = 0; round < 60; round++) {
      linear l;
      int n = 1 + static_cast<int>(rng() % (v.count ? 3 : 4));
      bool boolean = (v.kind & 2) != 0, unit = (v.kind & 4) != 0;
      for (int i = 0; i < n; i++) {
        int64_t a = unit ? (rng() % 2 ? 1 : -1) : static_cast<int64_t>(rng() % 7) - 3;
        if (a == 0 && (v.kind != 0 || v.count)) a = 2;
        l.a.push_back(a);
      }
      l.r = 1 + static_cast<int>(rng() % 6);
      l.c = static_cast<int64_t>(rng() % 17) - 8;
      l.mode = (v.count ? n << 3 : 0) | v.kind;
      l.b = static_cast<int>(rng() % 3) - 1;
      domains ds;
      for (int i = 0; i < n; i++) ds.push_back(boolean ? oracle::random_domain(rng, 0, 1) : oracle::random_domain(rng, -6, 6));
      if (l.b < 0) ds.push_back({0, 1});
      std::string what = "kind " + std::to_string(v.kind) + " count " + std::to_string(v.count) + " r " +
                         std::to_string(l.r) + " c " + std::to_string(l.c) + " b " + std::to_string(l.b) + " a";
      for (int64_t a : l.a) what += " " + std::to_string(a);
      for (const values& d : ds) what += " " + oracle::set_text(d);
      constraint c = make(l);
      check(ds, c, what, round % 10 == 0);
      if (round % 4 == 0) {
        values t;
        for (const values& d : ds) t.push_back(d[rng() % d.size()]);
        check_fixed(t, c, what + " fixed");
      }
    }
  }
}

}  // namespace

namespace {

// gcd_aux over sum(a_i * x_i) = c.
class GcdAux : public Linear {
 protected:
  void post_gcd(const std::vector<lv_term_ref>& vs, const std::vector<int64_t>& a, int64_t c) {
    std::string terms = "[";
    for (size_t i = 0; i < a.size(); i++) terms += (i ? ", " : "") + std::string("t(_, _, _)");
    lv_term_ref state = ref("g(" + terms + "], " + std::to_string(c) + ", 0, 0, _, 0)");
    fill_summands(state, vs, a);
    lv_term_ref p = LV_new_term_ref();
    fd_post_global(&env, ref("gcd_aux(a, b, c)"), state, 0, ref("[]"), ref("[]"), p);
  }
  std::string domains_text(const std::vector<lv_term_ref>& vs) {
    std::string out;
    for (lv_term_ref v : vs) {
      values d = domain_of(v);
      out += (out.empty() ? "" : " ") + std::to_string(d.front()) + ".." + std::to_string(d.back());
    }
    return out;
  }
};

TEST_F(GcdAux, EdgeCases) {
  const struct {
    std::vector<int64_t> a;
    int64_t c;
    std::vector<std::pair<int64_t, int64_t>> doms;
    const char* outcome;
  } cases[] = {
      {{2, 4}, 7, {{0, 10}, {0, 10}}, "fail"},                       // 7 is no multiple of 2
      {{3, 6}, 9, {{0, 10}, {0, 10}}, "1..9 0..10"},                 // 3x = 9 (mod 6): x odd
      {{1, 2, 3}, 5, {{0, 9}, {0, 9}, {0, 9}}, "0..9 0..9 0..9"},    // a unit and a coprime pair: nothing
      {{1, 3}, 1, {{-5, 5}, {-10, 10}}, "-5..4 -10..10"},            // x = 1 (mod 3), negative bounds
      {{4, 6, 10}, 8, {{0, 10}, {0, 10}, {1, 1}}, "1..10 1..9 1..1"},  // one fixed: R = -2, G = 2
      {{4, 6}, 2, {{0, 10}, {0, 10}}, "2..8 1..9"},                  // 4x = 2 (mod 6), 6y = 2 (mod 4)
  };
  for (const auto& c : cases) {
    begin_call();
    std::vector<lv_term_ref> vs;
    for (auto [lo, hi] : c.doms) {
      lv_term_ref v = ref("_");
      fd_in_interval(&env, v, ref(lv_make_small(lo)), ref(lv_make_small(hi)), 1);
      vs.push_back(v);
    }
    post_gcd(vs, c.a, c.c);
    EXPECT_EQ(propagate() ? domains_text(vs) : "fail", c.outcome) << c.c;
  }
}

// With the linear propagator, against enumeration; alone, soundness: it
// never removes a value of a solution (it does not test the sum).
TEST_F(GcdAux, AgainstEnumeration) {
  std::mt19937 rng(77);
  for (int round = 0; round < 80; round++) {
    int n = 2 + static_cast<int>(rng() % 3);
    std::vector<int64_t> a;
    for (int i = 0; i < n; i++) {
      int64_t k = static_cast<int64_t>(rng() % 9) - 4;
      a.push_back(k == 0 ? 6 : k);
    }
    int64_t c = static_cast<int64_t>(rng() % 21) - 10;
    domains ds;
    for (int i = 0; i < n; i++) ds.push_back(oracle::random_domain(rng, -6, 6));
    std::string what = "c " + std::to_string(c) + " a";
    for (int64_t k : a) what += " " + std::to_string(k);
    for (const values& d : ds) what += " " + oracle::set_text(d);
    linear l{a, LIN_EQ, c, 0, 1};
    constraint both = make(l), alone = make(l);
    both.post = [this, a, c](const std::vector<lv_term_ref>& vs) {
      post(vs, a, LIN_EQ, std::to_string(c), 0, 1);
      post_gcd(vs, a, c);
    };
    both.strength = nullptr;
    check(ds, both, what, round % 10 == 0);
    alone.post = [this, a, c](const std::vector<lv_term_ref>& vs) { post_gcd(vs, a, c); };
    alone.strength = nullptr;
    // Alone: the solutions stay, nothing more is promised.
    begin_call();
    terms::push_choice(w, 0);
    std::vector<lv_term_ref> vs = make_vars(ds);
    alone.post(vs);
    std::set<values> sols = solutions(ds, alone);
    if (!propagate()) {
      EXPECT_TRUE(sols.empty()) << what;
    } else {
      for (const values& s : sols)
        for (size_t i = 0; i < s.size(); i++) {
          values d = domain_of(vs[i]);
          EXPECT_TRUE(std::binary_search(d.begin(), d.end(), s[i])) << what << ": lost " << s[i];
        }
    }
    backtrack();
  }
}

}  // namespace

namespace {

// Summands without bounds: posted over unbounded variables, gcd_aux keeps
// their infinite bounds; narrowed later, the finite bound moves to the
// values the congruence allows.
TEST_F(GcdAux, UnboundedSummands) {
  begin_call();
  lv_term_ref x = ref("_"), y = ref("_");
  post_gcd({x, y}, {1, 2}, 0);
  ASSERT_TRUE(propagate());
  fd_in_interval(&env, x, ref("-5"), ref("sup"), 1);
  ASSERT_TRUE(!call_failed() && propagate());
  fd_in_interval(&env, y, ref("0"), ref("sup"), 1);
  ASSERT_TRUE(!call_failed() && propagate());
  fd_in_interval(&env, x, ref("-5"), ref("5"), 1);
  ASSERT_TRUE(!call_failed() && propagate());
  EXPECT_EQ(domains_text({x}), "-4..4");
}

}  // namespace
