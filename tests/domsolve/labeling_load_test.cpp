// $fd_labeling/7 run from Prolog with domsolve.so loaded: the solver's
// labeling step pushes choicepoints whose alternative calls the built-in
// again, so backtracking into the query walks the whole search.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/gc.h"
#include "core/worker.h"
#include "embed/startup_support.h"

using namespace startup_test;

namespace {

lv_term_ref compound(const char* name, const std::vector<lv_term_ref>& args) {
  lv_term_ref t = LV_new_term_ref();
  LV_cons_functor_array(t, lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE), static_cast<int>(args.size()),
                        args.data());
  return t;
}

lv_term_ref list(const std::vector<lv_term_ref>& items) {
  lv_term_ref l = atom_ref("[]");
  for (auto it = items.rbegin(); it != items.rend(); ++it) LV_cons_list(l, *it, l);
  return l;
}

lv_term_ref conjunction(const std::vector<lv_term_ref>& goals) {
  lv_term_ref c = goals.back();
  for (size_t i = goals.size() - 1; i-- > 0;) c = compound(",", {goals[i], c});
  return compound(":", {atom_ref("domsolve"), c});
}

using interval = std::pair<int64_t, int64_t>;
using values = std::vector<int64_t>;

// Option words of the labeling step.
constexpr int64_t SCORE_FF = 8, ENUMERATE = 4096, BISECT = 16384, UP = 65536, DOWN = 131072, MIDDLE = 524288;

class FdLabeling : public RuntimeTest {
 protected:
  void SetUp() override {
    REQUIRE_BOOT_FILE();
    ASSERT_TRUE(start_and_boot());
    lv_term_ref spec = compound("$fd_arg_attribute", {compound("+", {atom_ref("term")}),
                                                      compound("+", {atom_ref("integer")}),
                                                      compound("+", {atom_ref("term")})});
    ASSERT_EQ(assert_in_domsolve(compound("foreign", {atom_ref("$fd_arg_attribute"), spec})), 1);
    ASSERT_EQ(assert_in_domsolve(compound("foreign_resource", {atom_ref("domsolve"), list({atom_ref("$fd_arg_attribute")})})),
              1);
    ASSERT_EQ(query("prolog", "load_foreign_resource", {compound(":", {atom_ref("domsolve"), atom_ref(DOMSOLVE_PATH)})}),
              1)
        << term_text(exception_ref());
    ASSERT_EQ(query("prolog", "$save_attribute_info", {atom_ref("domsolve")}), 1) << term_text(exception_ref());
  }

  static int assert_in_domsolve(lv_term_ref clause) {
    return query("prolog", "assertz", {compound(":", {atom_ref("domsolve"), clause})});
  }

  // Goals making V a domain variable whose domain is the set.
  static void domain(std::vector<lv_term_ref>& goals, lv_term_ref v, const std::vector<interval>& set) {
    std::vector<lv_term_ref> cells;
    int64_t size = 0;
    for (auto [lo, hi] : set) {
      lv_term_ref cell = LV_new_term_ref();
      LV_cons_list(cell, int_ref(lo), int_ref(hi));
      cells.push_back(cell);
      size += hi - lo + 1;
    }
    lv_term_ref attribute = var_ref(), domain_cell = var_ref();
    goals.push_back(compound("$fd_arg_attribute", {v, int_ref(0), attribute}));
    goals.push_back(compound("arg", {int_ref(3), attribute, domain_cell}));
    lv_term_ref dom = compound("dom", {list(cells), int_ref(set.front().first), int_ref(set.back().second), int_ref(size)});
    goals.push_back(compound("update_mutable", {dom, domain_cell}));
  }

  // Every answer of the labeling of variables with these domains (an empty
  // set stands for the integer 7 in the list), in the order found; with
  // collect set the heap is collected after each answer, the search's
  // choicepoints live.
  static std::vector<values> answers(const std::vector<std::vector<interval>>& domains, int64_t options,
                                     bool collect = false) {
    std::vector<lv_term_ref> goals, vars;
    for (const auto& set : domains) {
      if (set.empty()) {
        vars.push_back(int_ref(7));
        continue;
      }
      vars.push_back(var_ref());
      domain(goals, vars.back(), set);
    }
    lv_term_ref outcome = var_ref();
    lv_term_ref report = compound("r", {outcome, var_ref(), var_ref(), var_ref()});
    goals.push_back(compound("$fd_labeling", {var_ref(), atom_ref("[]"), list(vars), int_ref(0), int_ref(options),
                                              int_ref(0), report}));
    goals.push_back(compound("==", {outcome, int_ref(0)}));
    lv_term_ref goal = conjunction(goals);
    lv_query_id q = LV_open_query_array(LV_predicate("call", 1, "prolog"), &goal);
    std::vector<values> found;
    EXPECT_NE(q, 0);
    if (q == 0) return found;
    for (int guard = 0; guard < 1000 && LV_next_solution(q) == 1; guard++) {
      values s;
      for (lv_term_ref v : vars) {
        int64_t n = -999;
        EXPECT_EQ(LV_get_integer(v, &n), 1) << term_text(v);
        s.push_back(n);
      }
      found.push_back(s);
      if (collect) {
        lv_worker* w = get_current_worker();
        lv_gc(w);
        EXPECT_EQ(lv_gc_check(w), 0);
      }
    }
    LV_close_query(q);
    return found;
  }

  // Every combination of the domains' values, in ascending order.
  static std::vector<values> enumeration(const std::vector<std::vector<interval>>& domains) {
    std::vector<values> all = {{}};
    for (const auto& set : domains) {
      std::vector<values> next;
      for (const values& prefix : all) {
        if (set.empty()) {
          next.push_back(prefix);
          next.back().push_back(7);
        }
        for (auto [lo, hi] : set)
          for (int64_t v = lo; v <= hi; v++) {
            next.push_back(prefix);
            next.back().push_back(v);
          }
      }
      all = next;
    }
    return all;
  }
};

TEST_F(FdLabeling, EverySolutionOnceOnBacktracking) {
  // A with a hole, a bound element, negative B.
  const std::vector<std::vector<interval>> domains = {{{1, 1}, {3, 4}}, {}, {{-2, -1}}, {{5, 6}}};
  const std::vector<values> all = enumeration(domains);
  std::vector<values> descending = all;
  std::reverse(descending.begin(), descending.end());
  const struct {
    int64_t options;
    const std::vector<values>* in_order;  // the order expected, or none
  } cases[] = {
      {ENUMERATE | UP, &all},
      {ENUMERATE | DOWN, &descending},
      {ENUMERATE | MIDDLE, nullptr},
      {ENUMERATE | UP | SCORE_FF, nullptr},
      {UP, &all},  // one value, then the rest of the domain as one choice
      {0, nullptr},
      {BISECT, &all},
      {BISECT | DOWN, &descending},
  };
  for (const auto& c : cases) {
    std::vector<values> found = answers(domains, c.options);
    if (c.in_order != nullptr) {
      EXPECT_EQ(found, *c.in_order) << "options " << c.options;
    }
    std::set<values> distinct(found.begin(), found.end());
    EXPECT_EQ(distinct.size(), found.size()) << "options " << c.options;
    EXPECT_EQ(distinct, std::set<values>(all.begin(), all.end())) << "options " << c.options;
  }
}

TEST_F(FdLabeling, CollectionBetweenSolutions) {
  const std::vector<std::vector<interval>> domains = {{{0, 9}}, {{0, 2}, {5, 6}}, {{3, 4}}};
  EXPECT_EQ(answers(domains, ENUMERATE | UP, true), enumeration(domains));
  EXPECT_EQ(answers(domains, BISECT, true), enumeration(domains));
}

TEST_F(FdLabeling, OneValueDomainIsBound) {
  // A domain of one value that no propagation has bound yet.
  const std::vector<std::vector<interval>> domains = {{{2, 3}}, {{4, 4}}};
  EXPECT_EQ(answers(domains, ENUMERATE | UP), enumeration(domains));
  EXPECT_EQ(answers(domains, BISECT), enumeration(domains));
}

TEST_F(FdLabeling, ErrorOfTheStepIsRaised) {
  // A variable with no finite domain cannot be labeled.
  lv_term_ref x = var_ref(), report = compound("r", {var_ref(), var_ref(), var_ref(), var_ref()});
  lv_term_ref goal = conjunction({compound("$fd_arg_attribute", {x, int_ref(0), var_ref()}),
                                  compound("$fd_labeling", {var_ref(), atom_ref("[]"), list({x}), int_ref(0),
                                                            int_ref(ENUMERATE | UP), int_ref(0), report})});
  ASSERT_EQ(query("prolog", "call", {goal}), -1);
  EXPECT_EQ(term_text(exception_ref()),
            "error(system_error, system_error(labeling a variable without a finite domain))");
}

}  // namespace
