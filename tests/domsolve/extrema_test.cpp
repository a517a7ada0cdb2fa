// minimum and maximum over a real engine: the edge cases, and both against
// enumeration on random small domains: no solution lost, M's bound on the
// side of the extreme used by some solution, fixed tuples accepted exactly
// when they satisfy the relation, and a search that finds exactly the
// solutions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "domsolve/global_terms.h"

namespace {

using oracle::domains;
using oracle::values;

class Extrema : public oracle::GlobalTest {
 protected:
  // M = vs[0], the items vs[1..].
  void post_extrema(const std::vector<lv_term_ref>& vs, bool maximum) {
    std::vector<lv_term_ref> items(vs.begin() + 1, vs.end());
    lv_term state = build("s", {pair(vs[0]), pairs(items), small(static_cast<int64_t>(items.size())),
                                small(maximum), fresh(), small(0)});
    post_global(build(maximum ? "maximum" : "minimum", {fresh(), fresh()}), state, events({vs[0]}));
  }
  constraint extrema(bool maximum) {
    constraint c;
    c.post = [this, maximum](const std::vector<lv_term_ref>& vs) { post_extrema(vs, maximum); };
    c.holds = [maximum](const values& t) {
      auto it = maximum ? std::max_element(t.begin() + 1, t.end()) : std::min_element(t.begin() + 1, t.end());
      return *it == t[0];
    };
    return c;
  }
  std::string outcome(const std::vector<lv_term_ref>& vs) {
    return !call_failed() && propagate() ? domains_text(vs) : "fail";
  }
};

TEST_F(Extrema, EdgeCases) {
  const struct {
    const char* what;
    bool maximum;
    domains ds;  // M, items
    const char* outcome;
  } cases[] = {
      {"M fixed, an item at M, the others above", false, {{3}, {3}, {3, 4, 5}, {4, 5, 6}},
       "[[3|3]] [[3|3]] [[3|5]] [[4|6]]"},
      {"one item left: M takes its holes", false, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 5}, {6, 7, 8, 9}},
       "[[1|1],[5|5]] [[1|1],[5|5]] [[6|9]]"},
      {"items cut below M's min", false, {{2, 3, 4}, {0, 1, 2, 3}, {1, 2, 3, 4, 5}}, "[[2|3]] [[2|3]] [[2|5]]"},
      {"M above every item's max", false, {{5, 6}, {1, 2}, {3, 4}}, "fail"},
      {"maximum: items cut above M's max", true, {{2, 3, 4}, {0, 1, 2, 3, 4, 5}, {1, 2}}, "[[2|4]] [[0|4]] [[1|2]]"},
      {"maximum: one item left equals M", true, {{4, 5, 6}, {0, 1}, {2, 5, 9}}, "[[5|5]] [[0|1]] [[5|5]]"},
      {"one item", false, {{0, 1, 2, 3}, {2, 3, 4}}, "[[2|3]] [[2|3]]"},
  };
  for (const auto& c : cases) {
    begin_call();
    std::vector<lv_term_ref> vs = make_vars(c.ds);
    post_extrema(vs, c.maximum);
    EXPECT_EQ(outcome(vs), c.outcome) << c.what;
  }
}

TEST_F(Extrema, AgainstEnumeration) {
  std::mt19937 rng(204);
  for (int round = 0; round < 300; round++) {
    bool maximum = round % 2 == 1;
    int n = 1 + static_cast<int>(rng() % 5);
    domains ds;
    for (int i = 0; i <= n; i++) ds.push_back(oracle::random_domain(rng, -3, 4));
    constraint c = extrema(maximum);
    std::string what = maximum ? "maximum" : "minimum";
    for (const values& d : ds) what += " " + oracle::set_text(d);
    c.strength = [&c, maximum](const domains& after) -> std::string {
      std::set<values> sols = solutions(after, c);
      values m = used(sols, 0);
      if (m.empty()) return "no solution left";
      if (maximum ? m.back() != after[0].back() : m.front() != after[0].front()) return "M keeps an extreme of no solution";
      return "";
    };
    check_round(ds, c, what, rng, round);
  }
}

}  // namespace
