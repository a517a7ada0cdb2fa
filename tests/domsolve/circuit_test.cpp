// all_distinct over successor variables (one circuit through all nodes, or
// through some with the others their own successors) over a real engine:
// the edge cases as a table, and random successor domains against
// enumeration: no value of a solution is removed, fixed assignments are
// accepted exactly when they form a circuit, and a search finds exactly
// the circuits.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "domsolve/global_terms.h"

namespace {

using oracle::domains;
using oracle::values;

class Circuit : public oracle::GlobalTest {
 protected:
  void post(const std::vector<lv_term_ref>& vs, int64_t mode) {
    lv_term state = build("s", {pairs(vs), small(0), small(0), small(mode), fresh(), small(0)});
    post_global(read("all_distinct(x)"), state, events(vs));
  }
  // Mode 1: following successors from node 1 meets every node once before
  // coming back. Mode 2: the nodes that are not their own successors form
  // one such cycle (or there are none).
  static bool holds(const values& t, int64_t mode) {
    int64_t n = static_cast<int64_t>(t.size());
    std::vector<int64_t> on;
    for (int64_t i = 0; i < n; i++)
      if (t[i] < 1 || t[i] > n) return false;
      else if (mode == 1 || t[i] != i + 1) on.push_back(i);
    if (on.empty()) return true;
    std::vector<bool> seen(n, false);
    int64_t u = on[0], steps = 0;
    do {
      if (seen[u]) return false;
      seen[u] = true;
      u = t[u] - 1;
      steps++;
    } while (u != on[0] && steps <= n);
    return u == on[0] && steps == static_cast<int64_t>(on.size());
  }
  constraint circuit(int64_t mode) {
    constraint c;
    c.post = [this, mode](const std::vector<lv_term_ref>& vs) { post(vs, mode); };
    c.holds = [mode](const values& t) { return holds(t, mode); };
    return c;
  }
};

TEST_F(Circuit, EdgeCases) {
  const struct {
    const char* what;
    int64_t mode;
    domains ds;
    const char* outcome;
  } cases[] = {
      {"two nodes closed early", 1, {{2}, {1}, {1, 2, 3}}, "fail"},
      {"the chain 1 -> 2 must not close", 1, {{2}, {1, 3, 4}, {1, 2, 4}, {1, 2, 3}},
       "[[2|2]] [[3|4]] [[1|1],[4|4]] [[1|1],[3|3]]"},
      {"one cycle through every node", 1, {{2}, {3}, {1}}, "[[2|2]] [[3|3]] [[1|1]]"},
      {"a node no other reaches", 1, {{2, 3}, {1, 3}, {1, 2}, {1, 2, 3}}, "fail"},
      {"closed cycle leaves the rest off", 2, {{2}, {1}, {3, 4}, {3, 4}}, "[[2|2]] [[1|1]] [[3|3]] [[4|4]]"},
      {"closed cycle misses a needed node", 2, {{2}, {1}, {1, 2, 4}, {3, 4}}, "fail"},
      {"every node its own successor", 2, {{1}, {2}, {3}}, "[[1|1]] [[2|2]] [[3|3]]"},
  };
  for (const auto& c : cases) {
    begin_call();
    std::vector<lv_term_ref> vs = make_vars(c.ds);
    post(vs, c.mode);
    EXPECT_EQ(outcome(vs), c.outcome) << c.what;
  }
}

TEST_F(Circuit, AgainstEnumeration) {
  std::mt19937 rng(130);
  for (int round = 0; round < 300; round++) {
    int64_t mode = 1 + round % 2;
    int n = 2 + static_cast<int>(rng() % 5);
    domains ds;
    std::string what = "mode " + std::to_string(mode) + ":";
    for (int i = 0; i < n; i++) {
      ds.push_back(rng() % 3 == 0 ? oracle::random_domain(rng, 1, n) : oracle::random_domain(rng, 1, 1));
      if (ds.back().size() == 1 && rng() % 2 == 0) {
        ds.back().clear();
        for (int64_t v = 1; v <= n; v++) ds.back().push_back(v);
      }
    }
    for (const values& d : ds) what += " " + oracle::set_text(d);
    constraint c = circuit(mode);
    check(ds, c, what, round % 10 == 0);
    values t;
    for (const values& d : ds) t.push_back(d[rng() % d.size()]);
    check_fixed(t, c, what + " fixed");
  }
}

}  // namespace
