// element and element_member over a real engine: the edge cases, and every
// variant against enumeration (index values outside the list included):
// the index and the value keep exactly the values some solution uses (the
// value's bounds only, in the integer variant's bounds mode), member keeps
// exactly the supported values of every variable, fixed tuples are accepted
// exactly when they satisfy the relation, and a search finds exactly the
// solutions.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "domsolve/global_terms.h"

namespace {

using oracle::domains;
using oracle::values;

class Element : public oracle::GlobalTest {
 protected:
  // element(X, L, Y) over vs = [X, Y, entries...] (entries when list is
  // empty), or over vs = [X, Y] with the integers of list.
  void post_element(const std::vector<lv_term_ref>& vs, const values& list, int64_t options) {
    std::vector<lv_term_ref> entries(vs.begin() + 2, vs.end());
    lv_term l = list.empty() ? pairs(entries) : ints(list);
    lv_term state = build("s", {pair(vs[0]), pair(vs[1]), l, small(options), fresh(), small(0)});
    post_global(build("element", {term(vs[0]), l, term(vs[1])}), state, events({vs[0], vs[1]}));
  }
  // element_member: X (vs[0]) equals one of vs[1..].
  void post_member(const std::vector<lv_term_ref>& vs, int64_t options) {
    std::vector<lv_term_ref> entries(vs.begin() + 1, vs.end());
    lv_term state = build("s", {pair(vs[0]), pairs(entries), small(options), small(static_cast<int64_t>(entries.size())),
                                fresh(), small(0)});
    post_global(build("element", {term(vs[0]), pairs(entries)}), state, events({vs[0]}));
  }

  constraint element_integers(const values& list, int64_t options) {
    constraint c;
    c.post = [this, list, options](const std::vector<lv_term_ref>& vs) { post_element(vs, list, options); };
    c.holds = [list](const values& t) {
      return t[0] >= 1 && t[0] <= static_cast<int64_t>(list.size()) && list[t[0] - 1] == t[1];
    };
    return c;
  }
  constraint element_variables(int64_t options) {
    constraint c;
    c.post = [this, options](const std::vector<lv_term_ref>& vs) { post_element(vs, {}, options); };
    c.holds = [](const values& t) {
      return t[0] >= 1 && t[0] <= static_cast<int64_t>(t.size()) - 2 && t[t[0] + 1] == t[1];
    };
    return c;
  }
  constraint member(int64_t options) {
    constraint c;
    c.post = [this, options](const std::vector<lv_term_ref>& vs) { post_member(vs, options); };
    c.holds = [](const values& t) {
      for (size_t i = 1; i < t.size(); i++)
        if (t[i] == t[0]) return true;
      return false;
    };
    return c;
  }
};

TEST_F(Element, EdgeCases) {
  const values list = {5, 3, 5, 1, 3};
  const struct {
    const char* what;
    domains ds;  // X, Y
    int64_t options;
    const char* outcome;
  } integer_cases[] = {
      {"X fixed fixes Y", {{2}, {0, 1, 2, 3, 4, 5, 6}}, 3, "[[2|2]] [[3|3]]"},
      {"Y fixed restricts X", {{1, 2, 3, 4, 5}, {5}}, 3, "[[1|1],[3|3]] [[5|5]]"},
      {"repeated values, unsorted walk", {{1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5, 6}}, 3, "[[1|5]] [[1|1],[3|3],[5|5]]"},
      {"bounds on Y", {{1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5, 6}}, 1, "[[1|5]] [[1|5]]"},
      {"bounds on Y, X pruned", {{1, 2, 3, 4, 5}, {2, 3, 4}}, 1, "[[2|2],[5|5]] [[3|3]]"},
      {"X cut to 1..n", {{-3, -2, 2, 9}, {0, 1, 2, 3, 4, 5, 6}}, 3, "[[2|2]] [[3|3]]"},
      {"no index supported", {{1, 3}, {2, 4}}, 3, "fail"},
  };
  for (const auto& c : integer_cases) {
    begin_call();
    std::vector<lv_term_ref> vs = make_vars(c.ds);
    post_element(vs, list, c.options);
    EXPECT_EQ(outcome(vs), c.outcome) << c.what;
  }
  const struct {
    const char* what;
    bool member;
    domains ds;  // element: X, Y, entries; member: X, entries
    int64_t options;
    const char* outcome;
  } variable_cases[] = {
      {"0/1 element: an open entry keeps Y open", false, {{1, 2, 3}, {0, 1}, {1}, {0, 1}, {1}}, 4,
       "[[1|3]] [[0|1]] [[1|1]] [[0|1]] [[1|1]]"},
      {"0/1 element: supporting entries fixed at 1 fix Y", false, {{1, 3}, {0, 1}, {1}, {0, 1}, {1}}, 4,
       "[[1|1],[3|3]] [[1|1]] [[1|1]] [[0|1]] [[1|1]]"},
      {"0/1 element: X fixed equates", false, {{2}, {1}, {0}, {0, 1}, {1}}, 4,
       "[[2|2]] [[1|1]] [[0|0]] [[1|1]] [[1|1]]"},
      {"general element: X fixed", false, {{2}, {1, 2, 3, 4}, {7}, {3, 4, 5}, {1}}, 0,
       "[[2|2]] [[3|4]] [[7|7]] [[3|4]] [[1|1]]"},
      {"general element: union of supports", false, {{1, 2, 3}, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {7}, {3, 4}, {9}}, 0,
       "[[1|2]] [[3|4],[7|7]] [[7|7]] [[3|4]] [[9|9]]"},
      {"member: every entry fixed, all of X met", true, {{1, 2}, {1}, {2}, {2}}, 0,
       "[[1|2]] [[1|1]] [[2|2]] [[2|2]]"},
      {"member: one live entry left", true, {{1, 2, 3}, {7}, {2, 3, 4}}, 0, "[[2|3]] [[7|7]] [[2|3]]"},
      {"member: values of no entry leave X", true, {{1, 2, 3, 4, 5}, {1, 2}, {5, 6}}, 0,
       "[[1|2],[5|5]] [[1|2]] [[5|6]]"},
      {"member: no entry", true, {{1, 2}}, 0, "fail"},
      {"0/1 member: entries fixed at both values", true, {{0, 1}, {0}, {1}, {0, 1}}, 1,
       "[[0|1]] [[0|0]] [[1|1]] [[0|1]]"},
      {"0/1 member: every entry fixed at 1", true, {{0, 1}, {1}, {1}}, 1, "[[1|1]] [[1|1]] [[1|1]]"},
      {"0/1 member: X fixed, one open entry", true, {{0}, {1}, {0, 1}, {1}}, 1, "[[0|0]] [[1|1]] [[0|0]] [[1|1]]"},
      {"0/1 member: X fixed, no entry can equal it", true, {{0}, {1}, {1}}, 1, "fail"},
      {"0/1 member: no entry", true, {{0, 1}}, 1, "fail"},
  };
  for (const auto& c : variable_cases) {
    begin_call();
    std::vector<lv_term_ref> vs = make_vars(c.ds);
    if (c.member) post_member(vs, c.options);
    else post_element(vs, {}, c.options);
    EXPECT_EQ(outcome(vs), c.outcome) << c.what;
  }
}

TEST_F(Element, AgainstEnumeration) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; round++) {
    int kind = round % 5;
    int n = 1 + static_cast<int>(rng() % 5);
    domains ds;
    constraint c;
    std::string what;
    std::vector<size_t> gac, bounds;
    if (kind <= 1) {  // a list of integers, domain or bounds consistency on Y
      values list;
      for (int i = 0; i < n; i++) list.push_back(static_cast<int64_t>(rng() % 7) - 3);
      ds = {oracle::random_domain(rng, -1, n + 1), oracle::random_domain(rng, -4, 4)};
      c = element_integers(list, kind == 0 ? 3 : 1);
      what = "element integers " + oracle::set_text(list) + (kind == 0 ? " dom" : " bounds");
      gac = {0};
      if (kind == 0) gac.push_back(1);
      else bounds.push_back(1);
    } else if (kind == 2 || kind == 3) {  // 0/1 or general entries
      bool booleans = kind == 2;
      ds.push_back(oracle::random_domain(rng, -1, n + 1));
      for (int i = 0; i <= n; i++)
        ds.push_back(booleans ? oracle::random_domain(rng, 0, 1) : oracle::random_domain(rng, -2, 3));
      c = element_variables(booleans ? 4 : 0);
      what = booleans ? "element 0/1" : "element general";
      gac = {0, 1};
    } else {  // member, 0/1 now and then
      bool booleans = round % 10 == 4;
      for (int i = 0; i <= n; i++) ds.push_back(booleans ? oracle::random_domain(rng, 0, 1) : oracle::random_domain(rng, -2, 3));
      c = member(booleans ? 1 : 0);
      what = booleans ? "member 0/1" : "member general";
      for (int i = 0; i <= n; i++) gac.push_back(static_cast<size_t>(i));
    }
    for (const values& d : ds) what += " " + oracle::set_text(d);
    c.strength = [this, &c, gac, bounds](const domains& after) { return supported(after, c, gac, bounds); };
    check(ds, c, what, round % 10 == 0);
    if (round % 3 == 0) {
      values t;
      for (const values& d : ds) t.push_back(d[rng() % d.size()]);
      check_fixed(t, c, what + " fixed");
    }
  }
}

}  // namespace
