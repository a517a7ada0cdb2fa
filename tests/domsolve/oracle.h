// Test support: propagators against brute-force enumeration of small
// domains. A constraint is posted over fresh variables with random domains
// and propagated to the fixpoint through the real driver; then
//   - no solution of the initial domains is lost (soundness);
//   - the propagator's promised strength holds at the fixpoint (checked by
//     the test's own rule on the final domains);
//   - posted over fixed values, it succeeds exactly on the solutions;
//   - a search that fixes one variable at a time, propagating at every
//     node and backtracking through the engine's trail and cleanup chain,
//     finds exactly the solutions, with the collector forced at every node
//     when asked; blocks made during the search are freed by the
//     backtracking.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/cleanups.h"
#include "core/gc.h"
#include "core/hashtab.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "domsolve/solver_fixture.h"
#include "embed/api_exceptions.h"
#include "kernel/attributes.h"
#include "kernel/foreign_predicates.h"
#include "kernel/propagation.h"
#include "kernel/state_terms.h"
#include "support/random_roots.h"

namespace oracle {

typedef std::vector<int64_t> values;
typedef std::vector<values> domains;

// A domain as the set text $fd_in_set takes.
inline std::string set_text(const values& d) {
  std::string s = "[";
  for (size_t i = 0; i < d.size();) {
    size_t j = i;
    while (j + 1 < d.size() && d[j + 1] == d[j] + 1) j++;
    s += (s.size() > 1 ? ",[" : "[") + std::to_string(d[i]) + "|" + std::to_string(d[j]) + "]";
    i = j + 1;
  }
  return s + "]";
}

// A random non-empty subset of lo..hi (an interval now and then).
inline values random_domain(std::mt19937& rng, int64_t lo, int64_t hi) {
  values d;
  if (rng() % 3 == 0) {
    int64_t a = lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - lo + 1));
    int64_t b = lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - lo + 1));
    for (int64_t v = std::min(a, b); v <= std::max(a, b); v++) d.push_back(v);
    return d;
  }
  for (int64_t v = lo; v <= hi; v++)
    if (rng() % 2 == 0) d.push_back(v);
  if (d.empty()) d.push_back(lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - lo + 1)));
  return d;
}

class OracleTest : public SolverTest {
 protected:
  // The constraint under test: posts itself over the variables (term
  // references), and says whether a tuple of values satisfies it.
  struct constraint {
    std::function<void(const std::vector<lv_term_ref>&)> post;
    std::function<bool(const values&)> holds;
    // The strength promised at the fixpoint: "" or what is wrong with the
    // final domains.
    std::function<std::string(const domains&)> strength;
  };

  lv_term term(lv_term_ref t) { return lv_deref(w->termrefs[t].term); }

  // Fresh variables with the domains (a one-value domain gives the value).
  std::vector<lv_term_ref> make_vars(const domains& ds) {
    std::vector<lv_term_ref> vs;
    for (const values& d : ds) {
      lv_term_ref v = LV_new_term_ref();
      if (d.size() == 1) {
        w->termrefs[v].term = lv_make_small(d[0]);
      } else {
        w->termrefs[v].term = read("_");
        fd_in_set(&env, v, ref(set_text(d)), 1);
      }
      vs.push_back(v);
    }
    return vs;
  }

  // The attribute of a variable or an integer.
  lv_term attribute_of(lv_term_ref v) {
    lv_term_ref a = ref("_");
    fd_arg_attribute(&env, v, 0, a);
    return term(a);
  }

  // The values of a variable's domain (finite ones only).
  values domain_of(lv_term_ref v) {
    lv_term t = term(v);
    if (lv_is_small(t)) return {lv_small_value(t)};
    lv_term d = fd_attribute_domain(lv_deref(get_attributes(w, t, state->module)));
    if (lv_is_small(d)) return {lv_small_value(d)};
    values out;
    for (lv_term s = lv_deref(lv_struct_cells(d)[1]); s != LV_ATOM_NIL; s = lv_deref(lv_list_cells(s)[1])) {
      lv_term iv = lv_deref(lv_list_cells(s)[0]);
      for (int64_t x = lv_small_value(lv_list_cells(iv)[0]); x <= lv_small_value(lv_list_cells(iv)[1]); x++)
        out.push_back(x);
    }
    return out;
  }

  // Runs the driver to its end: false on failure (an error raised counts
  // as a test failure).
  bool propagate() {
    lv_term_ref out = LV_new_term_ref();
    int64_t r;
    int rounds = 0;
    do {
      r = fd_evaluate_indexical(&env, out);
      // A pending wake-up or event: nothing to run for it here.
      if (r == 1) lv_set_soft_limit(w, w->heap_hard_limit);
    } while (r == 1 && ++rounds < 100000);
    lv_term_ref e = LV_new_term_ref();
    EXPECT_FALSE(LV_exception_term(e)) << text_of(e);
    EXPECT_NE(r, 2) << "a propagator left to the Prolog level";
    bool ok = r == 0 && !call_failed();
    begin_call();
    return ok;
  }

  // Every tuple of the domains that satisfies the constraint.
  static std::set<values> solutions(const domains& ds, const constraint& c) {
    std::set<values> out;
    values t(ds.size());
    std::function<void(size_t)> walk = [&](size_t i) {
      if (i == ds.size()) {
        if (c.holds(t)) out.insert(t);
        return;
      }
      for (int64_t v : ds[i]) {
        t[i] = v;
        walk(i + 1);
      }
    };
    walk(0);
    return out;
  }

  // The blocks of propagators alive.
  int64_t live_blocks() {
    auto* table = static_cast<lv_keytab*>(state->tables->blocks);
    int64_t n = 0;
    lv_hash_entry* e = lv_keytab_entries(table);
    for (uint64_t i = 0; i < lv_keytab_capacity(table); i++) n += e[i].key != 0 && e[i].value != 0;
    return n;
  }

  // Failing back to the newest choicepoint: the cleanup chain's entries
  // made since are released, the trail undone, the choicepoint popped.
  void backtrack() {
    lv_term chain = lv_cleanup_chain(w);
    if (chain != 0 && lv_cleanups_pending(w, chain)) lv_run_trail_cleanups(w, LV_ATOM_FAIL);
    // Frames the collector pushed above the choicepoint go first.
    while (terms::is_relocation_frame(w->B)) pop();
    pop();
    fd_queue_reset(&env);
    begin_call();
  }
  void pop() {
    // The saved trail top without the collector's mark bits.
    lv_term* b = w->B;
    terms::untrail_to(w, lv_choice_view(b)->saved_tr());
    w->H = reinterpret_cast<lv_term*>(b[LV_CP_H]);
    w->local_top = reinterpret_cast<lv_term*>(b[LV_CP_LOCAL_TOP]);
    w->E = reinterpret_cast<lv_term*>(b[LV_CP_E]);
    w->CP = reinterpret_cast<const uint32_t*>(b[LV_CP_CP]);
    lv_pop_call_choicepoint(w);
  }

  // The search: fixes the first unfixed variable to each of its values in
  // turn, propagating; the solutions found.
  void search(const std::vector<lv_term_ref>& vs, bool collect_garbage, std::set<values>* found, int64_t* nodes) {
    if (++*nodes > 200000) return;
    values tuple;
    size_t open = vs.size();
    for (size_t i = 0; i < vs.size(); i++) {
      values d = domain_of(vs[i]);
      if (d.size() > 1 && open == vs.size()) open = i;
      tuple.push_back(d[0]);
    }
    if (open == vs.size()) {
      found->insert(tuple);
      return;
    }
    for (int64_t v : domain_of(vs[open])) {
      terms::push_choice(w, 0);
      if (collect_garbage) {
        lv_newest_marked_choice(w);
        lv_gc(w);
      }
      fd_in_set(&env, vs[open], ref("[[" + std::to_string(v) + "|" + std::to_string(v) + "]]"), 1);
      bool in = !call_failed();
      bool prop = in && propagate();
      if (getenv("ORACLE_DEBUG")) fprintf(stderr, "var %zu = %ld: in %d prop %d\n", open, (long)v, in, prop);
      if (prop) search(vs, collect_garbage, found, nodes);
      backtrack();
    }
  }

  // One instance: every check above. what names the instance in failures.
  void check(const domains& ds, const constraint& c, const std::string& what, bool collect_garbage = false) {
    std::set<values> sols = solutions(ds, c);
    begin_call();
    int64_t blocks = live_blocks();
    terms::push_choice(w, 0);
    std::vector<lv_term_ref> vs = make_vars(ds);
    c.post(vs);
    bool ok = !call_failed() && propagate();
    if (!ok) {
      EXPECT_TRUE(sols.empty()) << what << ": failed with solutions";
    } else {
      domains after;
      for (lv_term_ref v : vs) after.push_back(domain_of(v));
      for (const values& s : sols)
        for (size_t i = 0; i < s.size(); i++)
          EXPECT_TRUE(std::binary_search(after[i].begin(), after[i].end(), s[i]))
              << what << ": lost value " << s[i] << " of variable " << i;
      if (c.strength) {
        std::string wrong = c.strength(after);
        EXPECT_EQ(wrong, "") << what;
      }
      std::set<values> found;
      int64_t nodes = 0;
      search(vs, collect_garbage, &found, &nodes);
      EXPECT_EQ(found, sols) << what << ": the search's solutions";
    }
    backtrack();
    EXPECT_EQ(live_blocks(), blocks) << what << ": blocks left after backtracking";
  }

  // Posted over fixed values: accepted exactly when they satisfy it.
  void check_fixed(const values& t, const constraint& c, const std::string& what) {
    begin_call();
    terms::push_choice(w, 0);
    domains ds;
    for (int64_t v : t) ds.push_back({v});
    std::vector<lv_term_ref> vs = make_vars(ds);
    c.post(vs);
    bool ok = !call_failed() && propagate();
    EXPECT_EQ(ok, c.holds(t)) << what;
    backtrack();
  }
};

}  // namespace oracle
