// The clause (bool_or/bool_and), parity (bool_xor) and if_then_else
// propagators over a real engine: their edge cases, and each against
// enumeration on random small domains: every value left is used by some
// solution (they are domain-consistent), fixed tuples are accepted exactly
// when they satisfy the relation, and a search finds exactly the solutions.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "domsolve/global_terms.h"

namespace {

using oracle::domains;
using oracle::values;

class Boolean : public oracle::GlobalTest {
 protected:
  // Clause or parity over the items vs with the polarities ps.
  void post_items(const std::vector<lv_term_ref>& vs, const values& ps, bool parity) {
    std::vector<lv_term> state = {pairs(vs), ints(ps), small(0)};
    if (parity) state.push_back(small(0));
    state.push_back(fresh());
    state.push_back(small(0));
    post_global(build(parity ? "bool_xor" : "bool_or", {fresh(), fresh()}), build("s", state), list({}));
  }
  void post_ite(const std::vector<lv_term_ref>& vs) {
    lv_term state = build("s", {pair(vs[0]), pair(vs[1]), pair(vs[2]), pair(vs[3]), fresh(), small(0)});
    post_global(build("if_then_else", {fresh(), fresh(), fresh(), fresh()}), state, events(vs));
  }

  // Item 0 fires at its polarity, a literal away from its polarity; the
  // result fires exactly when no literal does.
  constraint clause(const values& ps) {
    constraint c;
    c.post = [this, ps](const std::vector<lv_term_ref>& vs) { post_items(vs, ps, false); };
    c.holds = [ps](const values& t) {
      bool any = false;
      for (size_t j = 1; j < t.size(); j++) any = any || t[j] != ps[j];
      return (t[0] == ps[0]) == !any;
    };
    return c;
  }
  constraint parity(const values& ps) {
    constraint c;
    c.post = [this, ps](const std::vector<lv_term_ref>& vs) { post_items(vs, ps, true); };
    c.holds = [ps](const values& t) {
      int64_t sum = 0;
      for (size_t j = 0; j < t.size(); j++) sum += ps[j] ^ t[j];
      return sum % 2 == 0;
    };
    return c;
  }
  constraint ite() {
    constraint c;
    c.post = [this](const std::vector<lv_term_ref>& vs) { post_ite(vs); };
    c.holds = [](const values& t) { return t[0] == 1 ? t[3] == t[1] : t[0] == 0 && t[3] == t[2]; };
    return c;
  }

  std::string outcome(const std::vector<lv_term_ref>& vs) {
    return !call_failed() && propagate() ? domains_text(vs) : "fail";
  }
};

TEST_F(Boolean, EdgeCases) {
  const domains open3 = {{0, 1}, {0, 1}, {0, 1}};
  const struct {
    const char* what;
    int kind;  // 0 clause, 1 parity, 2 if_then_else
    values ps;
    domains ds;
    const char* outcome;
  } cases[] = {
      {"or: R fixed to 0 fixes every literal to 0", 0, {0, 0, 0}, {{0}, {0, 1}, {0, 1}}, "[[0|0]] [[0|0]] [[0|0]]"},
      {"or: a literal at 1 fixes R to 1", 0, {0, 0, 0}, {{0, 1}, {0, 1}, {1}}, "[[1|1]] [[0|1]] [[1|1]]"},
      {"or: R at 1, one literal left open", 0, {0, 0, 0}, {{1}, {0}, {0, 1}}, "[[1|1]] [[0|0]] [[1|1]]"},
      {"or: all fixed, R wrong", 0, {0, 0, 0}, {{1}, {0}, {0}}, "fail"},
      {"or: nothing to decide", 0, {0, 0, 0}, open3, "[[0|1]] [[0|1]] [[0|1]]"},
      {"and: a literal at 0 fixes R to 0", 0, {1, 1, 1}, {{0, 1}, {0}, {0, 1}}, "[[0|0]] [[0|0]] [[0|1]]"},
      {"and: R at 1 fixes every literal to 1", 0, {1, 1, 1}, {{1}, {0, 1}, {0, 1}}, "[[1|1]] [[1|1]] [[1|1]]"},
      {"and: every literal at 1 fixes R", 0, {1, 1, 1}, {{0, 1}, {1}, {1}}, "[[1|1]] [[1|1]] [[1|1]]"},
      {"or with a negated literal", 0, {0, 1, 0}, {{0}, {0, 1}, {0, 1}}, "[[0|0]] [[1|1]] [[0|0]]"},
      {"or: R fixed at 1 and a literal at 1 both fired", 0, {0, 0}, {{0}, {1}}, "fail"},
      {"xor: two of three fixed fix the third", 1, {0, 0, 0}, {{1}, {0, 1}, {0}}, "[[1|1]] [[1|1]] [[0|0]]"},
      {"xor: polarity flips the parity", 1, {1, 0, 0}, {{1}, {0, 1}, {0}}, "[[1|1]] [[0|0]] [[0|0]]"},
      {"xor: all fixed, odd", 1, {0, 0, 0}, {{1}, {0}, {0}}, "fail"},
      {"xor: two open", 1, {0, 0, 0}, open3, "[[0|1]] [[0|1]] [[0|1]]"},
      {"ite: R disjoint from E fixes C to 1", 2, {}, {{0, 1}, {1, 2, 3}, {7, 8}, {2, 3, 4}},
       "[[1|1]] [[2|3]] [[7|8]] [[2|3]]"},
      {"ite: R disjoint from T fixes C to 0", 2, {}, {{0, 1}, {1, 2}, {3, 4, 5}, {4, 5, 6}},
       "[[0|0]] [[1|2]] [[4|5]] [[4|5]]"},
      {"ite: C open, R within T and E", 2, {}, {{0, 1}, {1, 2}, {5, 6}, {0, 1, 2, 3, 4, 5, 6, 7}},
       "[[0|1]] [[1|2]] [[5|6]] [[1|2],[5|6]]"},
      {"ite: C fixed at 0 equates R and E", 2, {}, {{0}, {1, 2}, {3, 4, 5}, {4, 5, 6}},
       "[[0|0]] [[1|2]] [[4|5]] [[4|5]]"},
      {"ite: R disjoint from both", 2, {}, {{0, 1}, {1, 2}, {3, 4}, {7, 8}}, "fail"},
  };
  for (const auto& c : cases) {
    begin_call();
    std::vector<lv_term_ref> vs = make_vars(c.ds);
    if (c.kind == 2) post_ite(vs);
    else post_items(vs, c.ps, c.kind == 1);
    EXPECT_EQ(outcome(vs), c.outcome) << c.what;
  }
}

TEST_F(Boolean, AgainstEnumeration) {
  std::mt19937 rng(57);
  for (int round = 0; round < 300; round++) {
    int kind = round % 3;
    domains ds;
    constraint c;
    std::string what;
    if (kind < 2) {
      int n = 1 + static_cast<int>(rng() % 5);
      values ps;
      for (int i = 0; i < n; i++) {
        ps.push_back(static_cast<int64_t>(rng() % 2));
        ds.push_back(oracle::random_domain(rng, 0, 1));
      }
      c = kind == 0 ? clause(ps) : parity(ps);
      what = (kind == 0 ? "clause " : "parity ") + oracle::set_text(ps);
    } else {
      ds = {oracle::random_domain(rng, 0, 1), oracle::random_domain(rng, -2, 3), oracle::random_domain(rng, -2, 3),
            oracle::random_domain(rng, -2, 3)};
      c = ite();
      what = "if_then_else";
    }
    for (const values& d : ds) what += " " + oracle::set_text(d);
    std::vector<size_t> all;
    for (size_t i = 0; i < ds.size(); i++) all.push_back(i);
    c.strength = [this, &c, all](const domains& after) { return supported(after, c, all); };
    check_round(ds, c, what, rng, round);
  }
}

}  // namespace
