// bc_alldiff over a real engine: the edge cases as a table, and random
// domains (some with holes) against enumeration: no value of a solution
// is removed, every bound left has a support among the intervals spanned by
// the other domains (bounds consistency), fixed values are accepted exactly
// when pairwise different, and a search finds exactly the solutions.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "domsolve/global_terms.h"

namespace {

using oracle::domains;
using oracle::values;

class BcAlldiff : public oracle::GlobalTest {
 protected:
  void post(const std::vector<lv_term_ref>& vs) {
    lv_term state = build("s", {pairs(vs), small(0), fresh(), small(0)});
    post_global(read("bc_alldiff(x)"), state, events(vs, "minmax"));
  }
  static bool different(const values& t) {
    std::set<int64_t> s(t.begin(), t.end());
    return s.size() == t.size();
  }
  // "" when each bound of every variable is used by some solution over the
  // intervals the domains span.
  std::string bounds_supported(const domains& after, const constraint& c) {
    domains hulls;
    for (const values& d : after) {
      values h;
      for (int64_t v = d.front(); v <= d.back(); v++) h.push_back(v);
      hulls.push_back(h);
    }
    std::set<values> sols = solutions(hulls, c);
    for (size_t i = 0; i < after.size(); i++) {
      bool lo = false, hi = false;
      for (const values& s : sols) {
        lo = lo || s[i] == after[i].front();
        hi = hi || s[i] == after[i].back();
      }
      if (!lo || !hi) return "variable " + std::to_string(i) + " keeps an unsupported bound";
    }
    return "";
  }
};

TEST_F(BcAlldiff, EdgeCases) {
  const struct {
    const char* what;
    domains ds;
    const char* outcome;
  } cases[] = {
      {"three variables over two values", {{1, 2}, {1, 2}, {1, 2}}, "fail"},
      {"a Hall interval pushes the third", {{1, 2}, {1, 2}, {1, 2, 3}}, "[[1|2]] [[1|2]] [[3|3]]"},
      {"a wide variable pushed past it", {{1, 2}, {1, 2}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}, "[[1|2]] [[1|2]] [[3|10]]"},
      {"a new bound in a hole runs again", {{1, 2}, {1, 2}, {1, 2, 5, 6, 7, 8, 9}}, "[[1|2]] [[1|2]] [[5|9]]"},
      {"maxima pushed down", {{5, 6}, {5, 6}, {1, 2, 3, 4, 5, 6}}, "[[5|6]] [[5|6]] [[1|4]]"},
      {"fixed and different", {{1}, {3}, {2}}, "[[1|1]] [[3|3]] [[2|2]]"},
      {"fixed and equal", {{2}, {2}, {1, 2, 3}}, "fail"},
  };
  for (const auto& c : cases) {
    begin_call();
    std::vector<lv_term_ref> vs = make_vars(c.ds);
    post(vs);
    EXPECT_EQ(outcome(vs), c.outcome) << c.what;
  }
}

TEST_F(BcAlldiff, AgainstEnumeration) {
  std::mt19937 rng(106);
  for (int round = 0; round < 300; round++) {
    int n = 2 + static_cast<int>(rng() % 4);
    domains ds;
    std::string what = "bc_alldiff:";
    for (int i = 0; i < n; i++) ds.push_back(oracle::random_domain(rng, -2, 4));
    for (const values& d : ds) what += " " + oracle::set_text(d);
    constraint c;
    c.post = [this](const std::vector<lv_term_ref>& vs) { post(vs); };
    c.holds = different;
    c.strength = [this, &c](const domains& after) { return bounds_supported(after, c); };
    check(ds, c, what, round % 10 == 0);
    values t;
    for (const values& d : ds) t.push_back(d[rng() % d.size()]);
    check_fixed(t, c, what + " fixed");
  }
}

}  // namespace
