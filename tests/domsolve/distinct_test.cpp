// all_different and all_distinct over a real engine: their edge cases, and
// both against enumeration: all_distinct leaves exactly the values that
// some solution uses (domain consistency), all_different removes the value
// of every fixed variable from the others (value elimination), and both
// accept exactly the tuples of different values.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "domsolve/oracle.h"

namespace {

using oracle::domains;
using oracle::values;

class Distinct : public oracle::OracleTest {
 protected:
  // Posts the constraint (all_different or all_distinct) over the
  // variables, woken by their values (all_different) or domains.
  void post(const std::vector<lv_term_ref>& vs, bool distinct) {
    std::string pairs = "[", events = "[";
    for (size_t i = 0; i < vs.size(); i++) {
      pairs += (i ? ", " : "") + std::string("p(_, _)");
      events += (i ? ", " : "") + std::string(distinct ? "dom(_)" : "val(_)");
    }
    lv_term_ref state = ref(distinct ? "s(" + pairs + "], 0, 0, 0, _, 0)" : "s(" + pairs + "], 0, _, 0)");
    lv_term_ref event_list = ref(events + "]");
    lv_term list = lv_deref(lv_struct_cells(term(state))[1]), el = term(event_list);
    for (size_t i = 0; i < vs.size(); i++, list = lv_deref(lv_list_cells(list)[1]), el = lv_deref(lv_list_cells(el)[1])) {
      lv_term attribute = attribute_of(vs[i]);
      lv_term* p = lv_struct_cells(lv_deref(lv_list_cells(list)[0]));
      p[1] = term(vs[i]);
      p[2] = attribute;
      lv_struct_cells(lv_deref(lv_list_cells(el)[0]))[1] = term(vs[i]);
    }
    lv_term_ref p = LV_new_term_ref();
    fd_post_global(&env, ref(distinct ? "all_distinct(x)" : "all_different(x)"), state, 0, ref("[]"), event_list, p);
  }

  constraint make(bool distinct) {
    constraint c;
    c.post = [this, distinct](const std::vector<lv_term_ref>& vs) { post(vs, distinct); };
    c.holds = [](const values& t) {
      std::set<int64_t> seen(t.begin(), t.end());
      return seen.size() == t.size();
    };
    return c;
  }

  std::string domains_text(const std::vector<lv_term_ref>& vs) {
    std::string out;
    for (lv_term_ref v : vs) out += (out.empty() ? "" : " ") + oracle::set_text(domain_of(v));
    return out;
  }
};

TEST_F(Distinct, EdgeCases) {
  const struct {
    bool distinct;
    domains ds;
    const char* outcome;
  } cases[] = {
      {false, {{1}, {1}}, "fail"},
      {false, {{1}}, "[[1|1]]"},
      {false, {{1, 2}, {2}, {1, 2, 3}}, "[[1|1]] [[2|2]] [[3|3]]"},  // eliminations until none is left
      {true, {}, ""},
      {true, {{1, 2}, {1, 2}, {1, 2, 3}}, "[[1|2]] [[1|2]] [[3|3]]"},
      {true, {{1, 2}, {1, 2}, {1, 2, 3, 4}, {1, 2, 3, 4}}, "[[1|2]] [[1|2]] [[3|4]] [[3|4]]"},
      {true, {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {1, 2}, {1, 2}, {1, 2}}, "fail"},
      // Wide variables are left out of the matching and lose the values
      // the others need.
      {true, {{1}, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}}, "[[1|1]] [[2|8]] [[2|8]]"},
  };
  for (const auto& c : cases) {
    begin_call();
    std::vector<lv_term_ref> vs = make_vars(c.ds);
    post(vs, c.distinct);
    std::string got = !call_failed() && propagate() ? domains_text(vs) : "fail";
    EXPECT_EQ(got, c.outcome) << c.distinct << " " << c.ds.size();
  }
}

TEST_F(Distinct, AgainstEnumeration) {
  std::mt19937 rng(1234);
  for (bool distinct : {true, false}) {
    for (int round = 0; round < 120; round++) {
      int n = 2 + static_cast<int>(rng() % 5);
      int64_t lo = -3, hi = static_cast<int64_t>(rng() % 6);
      domains ds;
      for (int i = 0; i < n; i++) ds.push_back(oracle::random_domain(rng, lo, hi));
      if (round % 7 == 0) ds[0] = values{-6, -5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6};  // a wide one
      std::string what = std::string(distinct ? "all_distinct" : "all_different");
      for (const values& d : ds) what += " " + oracle::set_text(d);
      constraint c = make(distinct);
      c.strength = [&](const domains& after) -> std::string {
        if (distinct) {
          // Every value left is used by some solution of the tuple.
          std::set<values> sols = solutions(after, c);
          for (size_t i = 0; i < after.size(); i++)
            for (int64_t v : after[i]) {
              bool used = false;
              for (const values& s : sols) used = used || s[i] == v;
              if (!used) return "value " + std::to_string(v) + " of variable " + std::to_string(i) + " in no solution";
            }
          return "";
        }
        // No fixed variable's value is left in another's domain.
        for (size_t i = 0; i < after.size(); i++)
          if (after[i].size() == 1)
            for (size_t j = 0; j < after.size(); j++)
              if (j != i && std::binary_search(after[j].begin(), after[j].end(), after[i][0]))
                return "a fixed value left in another domain";
        return "";
      };
      check(ds, c, what, round % 10 == 0);
      if (round % 3 == 0) {
        values t;
        for (const values& d : ds) t.push_back(d[rng() % d.size()]);
        check_fixed(t, c, what + " fixed");
      }
    }
  }
}

}  // namespace
