// all_equal_reif over a real engine: the edge cases as a table, and random
// domains (B open, 0 or 1) against enumeration: no value of a solution is
// removed, fixed values are accepted exactly when B tells whether all are
// equal, and a search finds exactly the solutions.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "domsolve/global_terms.h"

namespace {

using oracle::domains;
using oracle::values;

class AllEqualReif : public oracle::GlobalTest {
 protected:
  // vs = [B, X1, ..., Xn].
  void post(const std::vector<lv_term_ref>& vs) {
    std::vector<lv_term_ref> xs(vs.begin() + 1, vs.end());
    lv_term state = build("s", {pairs(xs), pair(vs[0]), small(0), fresh(), small(0)});
    post_global(read("all_equal_reif(x, b)"), state, events(vs));
  }
  static bool holds(const values& t) {
    bool equal = true;
    for (size_t i = 2; i < t.size(); i++) equal = equal && t[i] == t[1];
    return t[0] == (equal ? 1 : 0);
  }
};

TEST_F(AllEqualReif, EdgeCases) {
  const struct {
    const char* what;
    domains ds;  // B, X1, ...
    const char* outcome;
  } cases[] = {
      {"B = 1, one fixed to 3", {{1}, {3}, {1, 2, 3, 4}, {3, 5}}, "[[1|1]] [[3|3]] [[3|3]] [[3|3]]"},
      {"B = 1, none fixed", {{1}, {1, 2, 3}, {2, 3, 4}, {0, 2, 3}}, "[[1|1]] [[2|3]] [[2|3]] [[2|3]]"},
      {"B = 0 over [X, 3]", {{0}, {2, 3, 4}, {3}}, "[[0|0]] [[2|2],[4|4]] [[3|3]]"},
      {"B = 0 over one variable", {{0}, {2, 3}}, "fail"},
      {"B open, disjoint domains", {{0, 1}, {1, 2}, {3, 4}}, "[[0|0]] [[1|2]] [[3|4]]"},
      {"B open, fixed values differ", {{0, 1}, {1}, {2}, {1, 2}}, "[[0|0]] [[1|1]] [[2|2]] [[1|2]]"},
      {"B open, all fixed equal", {{0, 1}, {4}, {4}}, "[[1|1]] [[4|4]] [[4|4]]"},
      {"B open, one variable", {{0, 1}, {1, 2}}, "[[1|1]] [[1|2]]"},
  };
  for (const auto& c : cases) {
    begin_call();
    std::vector<lv_term_ref> vs = make_vars(c.ds);
    post(vs);
    EXPECT_EQ(outcome(vs), c.outcome) << c.what;
  }
}

TEST_F(AllEqualReif, AgainstEnumeration) {
  std::mt19937 rng(107);
  for (int round = 0; round < 300; round++) {
    int n = 1 + static_cast<int>(rng() % 4);
    domains ds = {oracle::random_domain(rng, 0, 1)};
    std::string what = "all_equal_reif:";
    for (int i = 0; i < n; i++) ds.push_back(oracle::random_domain(rng, 0, 3));
    for (const values& d : ds) what += " " + oracle::set_text(d);
    constraint c;
    c.post = [this](const std::vector<lv_term_ref>& vs) { post(vs); };
    c.holds = holds;
    check(ds, c, what, round % 10 == 0);
    values t;
    for (const values& d : ds) t.push_back(d[rng() % d.size()]);
    check_fixed(t, c, what + " fixed");
  }
}

}  // namespace
