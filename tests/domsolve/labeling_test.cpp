// Boolean handlers, variable choice and the labeling step over a real
// engine. The labeling step is driven as the engine drives $fd_labeling/7:
// called with X0-X6, and on failure or after a solution resumed from its
// newest choicepoint (trail undone, H and X0-X7 restored), until no
// choicepoint of its own is left; the solutions found are checked against
// enumerating the domains directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "core/attributes.h"
#include "core/stored_block.h"
#include "domsolve/solver_fixture.h"
#include "kernel/attributes.h"
#include "kernel/clauses.h"
#include "kernel/foreign_predicates.h"
#include "kernel/indexical.h"
#include "kernel/labeling.h"
#include "kernel/propagation.h"
#include "kernel/queues.h"
#include "kernel/state_terms.h"
#include "store/dbref_table.h"
#include "support/terms.h"

namespace {

typedef std::vector<int64_t> values;

class Labeling : public SolverTest {
 protected:
  void SetUp() override {
    SolverTest::SetUp();
    fd_queue_open(&env);
  }
  void TearDown() override {
    for (void*& head : table) fd_release_definition_chain(&env, &head);
    SolverTest::TearDown();
  }

  struct variable {
    lv_term_ref var, attr;
  };
  // A variable whose domain is the set (or the one value it names).
  variable make_var(const std::string& set) {
    variable v{ref("_"), LV_new_term_ref()};
    lv_term s = read(set);
    if (lv_is_small(s)) {
      lv_term a = fd_make_dvar_attribute(&env, w->termrefs[v.var].term, lv_make_small(0), lv_make_small(1),
                                         lv_make_small(2), 0, 0);
      w->termrefs[v.attr].term = a;
      fd_tell_value(&env, a, var(v), s, 0);
      return v;
    }
    lv_term lo = lv_list_cells(lv_list_cells(s)[0])[0];
    lv_term a = fd_make_dvar_attribute(&env, w->termrefs[v.var].term, lo, lo, lv_make_small(1), 0, 0);
    w->termrefs[v.attr].term = a;
    // Told as a set: the attribute takes the holes and the size.
    fd_tell_fdset(&env, a, var(v), s, 0);
    return v;
  }
  variable make_boolean() { return make_var("[[0|1]]"); }
  lv_term attr(variable v) { return lv_deref(w->termrefs[v.attr].term); }
  lv_term var(variable v) { return lv_deref(w->termrefs[v.var].term); }
  std::string value(variable v) { return text(var(v)); }
  int64_t weight(variable v) { return lv_small_value(lv_deref(lv_struct_cells(attr(v))[FD_ATTR_WEIGHT])); }
  // A pair p(Var, Attr), the form the handlers read a Boolean in.
  lv_term pair(variable v) {
    lv_term p = read("p(_, _)");
    lv_struct_cells(p)[1] = var(v);
    lv_struct_cells(p)[2] = attr(v);
    return p;
  }
  lv_term list(std::initializer_list<lv_term> items) {
    lv_term l = LV_ATOM_NIL;
    std::vector<lv_term> v(items);
    for (size_t i = v.size(); i-- > 0;) l = terms::cons(w, v[i], l);
    return l;
  }
  // The term read, with its arguments at the positions given replaced.
  lv_term with(const std::string& t, std::initializer_list<std::pair<unsigned, lv_term>> args) {
    lv_term s = read(t);
    for (auto [i, a] : args) lv_struct_cells(s)[i] = a;
    return s;
  }

  // X in min(Y)..sup, as a definition installed in slot 0 of the table,
  // posted over x and y and attached to both.
  void install_x_ge_min_y() {
    const char* why = nullptr;
    ASSERT_EQ(fd_build_definition_chain(&env, read("[ix([p(1, 1), p(2, 1)], 2, 1, [33, 2, 47], 3, [], 0)]"), 0, 1,
                                        table, &why),
              1);
  }
  lv_term_ref post_x_ge_min_y(variable x, variable y) {
    lv_term reif =
        fd_make_dvar_attribute(&env, read("_"), lv_make_small(0), lv_make_small(1), lv_make_small(2), 0, 0);
    lv_term p = read("'$indexical'(0, g, 0, _, _, t(_, _), _, [])");
    lv_term* c = lv_struct_cells(p);
    c[1] = fd_pointer_term(table[0]);
    lv_struct_cells(lv_deref(c[6]))[1] = attr(x);
    lv_struct_cells(lv_deref(c[6]))[2] = attr(y);
    c[5] = lv_deref(lv_struct_cells(reif)[2]);
    c[7] = reif;
    lv_term_ref posted = ref(p);
    fd_attach_indexical(&env, static_cast<fd_definition*>(table[0]), p, 0);
    return posted;
  }

  void* table[4] = {nullptr, nullptr, nullptr, nullptr};
};

// ---- Boolean handlers ----

TEST_F(Labeling, Implications) {
  // (target's value, or -1 open; value to force) -> result, target after.
  const struct {
    int target;
    int force;
    int result;
    const char* after;
  } cases[] = {{-1, 1, 1, "1"}, {-1, 0, 1, "0"}, {1, 1, 1, "1"}, {0, 1, 0, "0"}};
  for (const auto& c : cases) {
    variable t = c.target < 0 ? make_boolean() : make_var(std::to_string(c.target));
    variable g = make_var("1");
    lv_term item = with("implication(_, _, _, 1)",
                        {{1, pair(t)}, {2, lv_make_small(c.force)}, {3, pair(g)}});
    EXPECT_EQ(fd_implication_handler(&env, item), c.result) << c.target << " " << c.force;
    EXPECT_EQ(value(t), c.after);
    EXPECT_EQ(weight(t), 1 - c.result);
    EXPECT_EQ(weight(g), 1 - c.result);
  }
}

TEST_F(Labeling, Disequations) {
  // Sum of coefficient * Boolean != C over Booleans given as values or -1
  // for open: result, the open Boolean after, entailments counted.
  const struct {
    std::vector<int64_t> coefficients, booleans;
    int64_t c;
    int result;
    const char* after;
  } cases[] = {
      {{1, 2}, {0, -1}, 2, 1, "0"},   // 2*B2 != 2: B2 = 0
      {{1, 2}, {0, -1}, 0, 1, "1"},   // 2*B2 != 0: B2 = 1
      {{1, 2}, {1, -1}, 3, 1, "0"},   // 1 + 2*B2 != 3
      {{1, 2}, {0, -1}, 5, 1, "_"},   // cannot be reached: nothing to do
      {{1, 0}, {0, -1}, 0, 0, "_"},   // 0*B2 != 0 never holds
      {{1, 2}, {1, 1}, 3, 0, ""},     // all fixed, equal: conflict
      {{1, 2}, {1, 0}, 3, 1, ""},     // all fixed, different: entailed
      {{1, 2, 4}, {-1, -1, 0}, 2, 1, "_"},  // two open: left alone
  };
  for (const auto& c : cases) {
    std::vector<variable> bs;
    std::vector<lv_term> pairs, ks;
    variable open{};
    for (size_t i = 0; i < c.booleans.size(); i++) {
      bs.push_back(c.booleans[i] < 0 ? make_boolean() : make_var(std::to_string(c.booleans[i])));
      if (c.booleans[i] < 0) open = bs.back();
      pairs.push_back(pair(bs.back()));
      ks.push_back(lv_make_small(c.coefficients[i]));
    }
    lv_term kl = LV_ATOM_NIL, bl = LV_ATOM_NIL;
    for (size_t i = pairs.size(); i-- > 0;) {
      kl = terms::cons(w, ks[i], kl);
      bl = terms::cons(w, pairs[i], bl);
    }
    lv_term item = with("disequation(_, _, _, _)", {{1, LV_ATOM_NIL}, {2, kl}, {3, bl}, {4, lv_make_small(c.c)}});
    int64_t entailments = state->entailments;
    EXPECT_EQ(fd_disequation_handler(&env, item), c.result) << c.c;
    if (*c.after != 0) {
      EXPECT_EQ(value(open), c.after) << c.c;
    }
    bool decided = c.result == 1 && std::string(c.after) != "_";
    bool entailed = decided || (c.result == 1 && std::count(c.booleans.begin(), c.booleans.end(), -1) == 0) ||
                    (c.result == 1 && c.c == 5);
    EXPECT_EQ(state->entailments - entailments, entailed ? 1 : 0) << c.c;
    for (const variable& b : bs) EXPECT_EQ(weight(b), c.result == 0 ? 1 : 0) << c.c;
  }
}

TEST_F(Labeling, Watchers) {
  // A watcher on literal -1 woken with 0: the literal is true, the clause
  // is not even looked at.
  lv_term item = with("watcher(-1, [], 0, _, no_clause)", {});
  EXPECT_EQ(fd_watcher_handler(&env, lv_make_small(0), item), 1);
  EXPECT_EQ(text(lv_deref(lv_struct_cells(item)[4])), "1");

  // Binary mode: literal 1 (positive) woken with 0 forces the other
  // literal's variable to the mode's value.
  const struct {
    int other;  // -1 open
    int mode;   // 1 force 1, 2 force 0
    int result;
    const char* after;
    const char* status;
  } cases[] = {{-1, 1, 1, "1", "_"}, {-1, 2, 1, "0", "_"}, {1, 1, 1, "1", "1"}, {0, 1, 0, "0", "_"}};
  for (const auto& c : cases) {
    variable o = c.other < 0 ? make_boolean() : make_var(std::to_string(c.other));
    variable x = make_var("0");
    lv_term cl = with("clause(1, -1, 0, _, _, _)", {{5, list({pair(x)})}, {6, list({pair(o)})}});
    lv_term w5 = with("watcher(1, _, _, _, _)", {{2, pair(o)}, {3, lv_make_small(c.mode)}, {5, cl}});
    lv_struct_cells(w5)[4] = lv_make_ref(&lv_struct_cells(cl)[4]);
    EXPECT_EQ(fd_watcher_handler(&env, lv_make_small(0), w5), c.result) << c.other << " " << c.mode;
    EXPECT_EQ(value(o), c.after);
    EXPECT_EQ(text(lv_deref(lv_struct_cells(cl)[4])), c.status);
  }
}

TEST_F(Labeling, ClauseWatchesMoveForceOrFail) {
  // The clause P1 v P2 v -N1 watching P2 and -N1; P2 has become false.
  // (P1, N1) as values or -1 open -> result, new watches, P1 and N1 after,
  // status.
  const struct {
    int p1, n1;
    int result;
    const char* watches;
    const char* p1_after;
    const char* n1_after;
    const char* status;
  } cases[] = {
      {-1, -1, 1, "1 -1", "_", "_", "_"},  // the watch moves to P1
      {0, -1, 1, "2 -1", "0", "0", "1"},   // only -N1 is left: N1 = 0
      {1, -1, 1, "2 -1", "1", "_", "1"},   // P1 true: entailed
      {0, 1, 0, "2 -1", "0", "1", "_"},    // every literal false
  };
  for (const auto& c : cases) {
    variable p1 = c.p1 < 0 ? make_boolean() : make_var(std::to_string(c.p1));
    variable p2 = make_var("0");
    variable n1 = c.n1 < 0 ? make_boolean() : make_var(std::to_string(c.n1));
    lv_term cl = with("clause(2, -1, 0, _, _, _)", {{5, list({pair(p1), pair(p2)})}, {6, list({pair(n1)})}});
    lv_term status = lv_make_ref(&lv_struct_cells(cl)[4]);
    int64_t entailments = state->entailments;
    EXPECT_EQ(fd_clause_update_watch(&env, 2, status, cl, 0), c.result) << c.p1 << " " << c.n1;
    EXPECT_EQ(text(lv_struct_cells(cl)[1]) + " " + text(lv_struct_cells(cl)[2]), c.watches);
    EXPECT_EQ(value(p1), c.p1_after);
    EXPECT_EQ(value(n1), c.n1_after);
    EXPECT_EQ(text(lv_deref(status)), c.status);
    EXPECT_EQ(state->entailments - entailments, std::string(c.status) == "1" ? 1 : 0);
  }
  // A literal that is not watched changes nothing.
  variable a = make_boolean();
  lv_term cl = with("clause(2, -1, 0, _, _, _)", {{5, list({pair(a), pair(a)})}, {6, list({pair(a)})}});
  EXPECT_EQ(fd_clause_update_watch(&env, 1, lv_make_ref(&lv_struct_cells(cl)[4]), cl, 0), 1);
  EXPECT_EQ(text(lv_struct_cells(cl)[1]), "2");
}

// Clauses posted with their watchers, woken by tells and served by the
// loop: the watch moves, then the last open literal is forced.
TEST_F(Labeling, ClauseWatchersThroughTheLoop) {
  variable p[3] = {make_boolean(), make_boolean(), make_boolean()};
  lv_term_ref pos = ref(list({with("lit(a, _, b)", {{2, var(p[0])}}), with("lit(a, _, b)", {{2, var(p[1])}}),
                              with("lit(a, _, b)", {{2, var(p[2])}})}));
  fd_post_clause_watchers(&env, pos, ref("[]"), 0);
  // The clause, from the watcher on the first literal's variable.
  lv_term array = fd_mutable_value(lv_struct_cells(attr(p[0]))[FD_ATTR_SUSPENSIONS]);
  lv_term suspension = lv_deref(lv_list_cells(lv_deref(lv_struct_cells(array)[2]))[0]);
  lv_term_ref clause = ref(lv_deref(lv_struct_cells(lv_deref(lv_struct_cells(suspension)[4]))[5]));
  auto watches = [&] {
    const lv_term* c = lv_struct_cells(lv_deref(w->termrefs[clause].term));
    return text(c[1]) + " " + text(c[2]) + " " + text(lv_deref(c[4]));
  };
  EXPECT_EQ(watches(), "2 3 _");
  lv_term out = 0;
  fd_tell_value(&env, attr(p[1]), var(p[1]), lv_make_small(0), 0);
  EXPECT_EQ(fd_propagate(&env, &out, 0), 0);
  EXPECT_EQ(watches(), "1 3 _");
  EXPECT_EQ(value(p[0]), "_");
  fd_tell_value(&env, attr(p[2]), var(p[2]), lv_make_small(0), 0);
  EXPECT_EQ(fd_propagate(&env, &out, 0), 0);
  EXPECT_EQ(value(p[0]), "1");
  EXPECT_EQ(watches(), "1 3 1");

  // Two literals, P or not N, in binary mode: P = 0 forces N = 0, whose own
  // watcher then finds its literal true.
  variable b = make_boolean(), n = make_boolean();
  fd_post_clause_watchers(&env, ref(list({with("lit(a, _, b)", {{2, var(b)}})})),
                          ref(list({with("lit(a, _, b)", {{2, var(n)}})})), 0);
  int64_t entailments = state->entailments;
  fd_tell_value(&env, attr(b), var(b), lv_make_small(0), 0);
  EXPECT_EQ(fd_propagate(&env, &out, 0), 0);
  EXPECT_EQ(value(n), "0");
  EXPECT_EQ(state->entailments - entailments, 1);
  // The other way round the clause already holds: nothing is forced.
  variable b2 = make_boolean(), n2 = make_boolean();
  fd_post_clause_watchers(&env, ref(list({with("lit(a, _, b)", {{2, var(b2)}})})),
                          ref(list({with("lit(a, _, b)", {{2, var(n2)}})})), 0);
  fd_tell_value(&env, attr(n2), var(n2), lv_make_small(0), 0);
  EXPECT_EQ(fd_propagate(&env, &out, 0), 0);
  EXPECT_EQ(value(b2), "_");
}

// ---- Unification from Prolog ----

TEST_F(Labeling, UnifyTellsOrHandsBack) {
  lv_module* other = find_module(LV_atom_from_string("other_attributes"), 1);
  ASSERT_NE(lv_attr_module_register(other), 0);
  // x, y, z stand for domain variables over 1..3, z with an attribute of
  // another module too: result, call failed, x's domain after, its weight.
  const struct {
    const char* left;
    const char* right;
    int64_t result;
    bool failed;
    const char* after;
    int64_t weight;
  } cases[] = {
      {"x", "2", 1, false, "2", 0},                              // told: the domain is the value
      {"x", "5", 0, true, "dom([[1|3]],1,3,3)", 1},              // not in 1..3
      {"x", "a", 0, false, "dom([[1|3]],1,3,3)", 0},             // no integer: Prolog's turn
      {"f(x, y)", "f(3, 1)", 1, false, "3", 0},                  // both told
      {"f(x, z)", "f(1, 1)", 0, false, "dom([[1|3]],1,3,3)", 0},  // z: Prolog's turn
      {"h(x)", "g(1)", 0, true, "dom([[1|3]],1,3,3)", 0},        // no unifier at all
  };
  for (const auto& c : cases) {
    variable vs[3] = {make_var("[[1|3]]"), make_var("[[1|3]]"), make_var("[[1|3]]")};
    put_attributes(w, var(vs[2]), other, read("o(1)"));
    auto placed = [&](lv_term t) {
      for (int i = 0; i < 3; i++)
        if (t == LV_atom_from_string(std::string(1, char('x' + i)).c_str())) return var(vs[i]);
      return t;
    };
    lv_term left = placed(read(c.left));
    if (lv_is_struct(left))
      for (unsigned i = 1; i <= lv_functor_arity(lv_struct_cells(left)[0]); i++)
        lv_struct_cells(left)[i] = placed(lv_struct_cells(left)[i]);
    int32_t wakeups = w->wakeup_count;
    int64_t failures = state->failures;
    begin_call();
    EXPECT_EQ(fd_unify(&env, ref(left), ref(c.right)), c.result) << c.left << " = " << c.right;
    EXPECT_EQ(call_failed(), c.failed) << c.left << " = " << c.right;
    EXPECT_EQ(state->failures - failures, c.failed ? 1 : 0);
    if (c.result == 1) {
      EXPECT_EQ(w->wakeup_count, wakeups);  // the engine has nothing left to wake
    }
    EXPECT_EQ(text(fd_attribute_domain(attr(vs[0]))), c.after) << c.left << " = " << c.right;
    EXPECT_EQ(weight(vs[0]), c.weight);
    w->wakeup_count = wakeups;
  }
}

// ---- Variable choice ----

TEST_F(Labeling, ScoreKeys) {
  const struct {
    const char* domain;
    int64_t weight;
    int64_t heuristic;
    int64_t key1, key2;
  } cases[] = {
      {"[[3|5],[9|9]]", 0, FD_HEUR_MIN, 3, 0},
      {"[[3|5],[9|9]]", 0, FD_HEUR_MAX, -9, 0},
      {"[[3|5],[9|9]]", 0, FD_HEUR_FF, 4, 0},
      {"[[3|5],[9|9]]", 0, FD_HEUR_ANTI_FIRST_FAIL, -4, 0},
      {"[[3|5],[9|9]]", 5, FD_HEUR_IMPACT, -5, 0},
      {"[[2|2],[5|7]]", 0, FD_HEUR_MAX_REGRET, -3, 0},
      {"[[2|3],[5|7]]", 0, FD_HEUR_MAX_REGRET, -1, 0},
      {"[[1|4]]", 0, FD_HEUR_DOM_W_DEG, 0, -250000},
      {"[[1|4]]", 9, FD_HEUR_DOM_W_DEG, -2, -500000},
      {"[[3|5],[9|9]]", 0, FD_HEUR_FIRST, 3, 0},
  };
  for (const auto& c : cases) {
    variable v = make_var(c.domain);
    lv_struct_cells(attr(v))[FD_ATTR_WEIGHT] = lv_make_small(c.weight);
    int64_t k1, k2;
    fd_var_score(&env, var(v), c.heuristic, &k1, &k2);
    EXPECT_EQ(k1, c.key1) << c.domain << " " << c.heuristic;
    EXPECT_EQ(k2, c.key2) << c.domain << " " << c.heuristic;
  }
  // Degree: the suspension count; ffc and occurrence use it.
  variable v = make_var("[[1|4]]");
  lv_term count = lv_struct_cells(attr(v))[FD_ATTR_COUNT];
  lv_struct_cells(lv_deref(count))[1] = lv_make_small(3);
  EXPECT_EQ(fd_var_degree(attr(v)), 3);
  int64_t k1, k2;
  fd_var_score(&env, var(v), FD_HEUR_FFC, &k1, &k2);
  EXPECT_EQ(k1, 4);
  EXPECT_EQ(k2, -3);
  fd_var_score(&env, var(v), FD_HEUR_OCCURRENCE, &k1, &k2);
  EXPECT_EQ(k1, -3);
}

TEST_F(Labeling, DeleteSelectsTheBest) {
  variable a = make_var("[[2|4]]"), b = make_var("[[1|2]]"), c = make_var("[[1|2]]");
  variable d = make_var("[[1|2]]");
  // A size that claims 1: scoring it would pick it, so it shows whether ff
  // stopped at the first variable of size 2.
  lv_term dom = fd_attribute_domain(attr(d));
  lv_struct_cells(dom)[4] = lv_make_small(1);
  const struct {
    const char* heuristic;
    int selected;  // index into a, b, c, d
  } cases[] = {{"ff", 1}, {"anti_first_fail", 0}, {"max", 0}, {"min", 1}, {"no_such_heuristic", 0}};
  variable vs[4] = {a, b, c, d};
  for (const auto& k : cases) {
    lv_term l = list({var(a), lv_make_small(7), var(b), var(c), var(d)});
    lv_term_ref selected = ref("_");
    begin_call();
    fd_delete(&env, ref(l), selected, static_cast<fd_w>(LV_atom_from_string(k.heuristic)));
    EXPECT_FALSE(call_failed());
    EXPECT_EQ(lv_deref(w->termrefs[selected].term), var(vs[k.selected])) << k.heuristic;
  }
  // A cyclic list is scored once round.
  lv_term cyclic = list({var(a), var(b), var(c)});
  lv_list_cells(lv_deref(lv_list_cells(lv_deref(lv_list_cells(cyclic)[1]))[1]))[1] = cyclic;
  lv_term_ref selected = ref("_");
  fd_delete(&env, ref(cyclic), selected, static_cast<fd_w>(LV_atom_from_string("min")));
  EXPECT_EQ(lv_deref(w->termrefs[selected].term), var(b));
}

TEST_F(Labeling, OptionWords) {
  const struct {
    int64_t options, heuristic;
  } cases[] = {{0, FD_HEUR_FIRST},  {2, FD_HEUR_MIN},         {8 | 256, FD_HEUR_FF},
               {256, FD_HEUR_IMPACT}, {512, FD_HEUR_DOM_W_DEG}, {512 | 4, FD_HEUR_MAX}};
  for (const auto& c : cases) EXPECT_EQ(fd_label_heuristic(c.options), c.heuristic) << c.options;
  lv_term s = read("[[2|2],[4|4],[9|9]]");
  EXPECT_EQ(fd_choose_value(s, FD_LABEL_UP), lv_make_small(2));
  EXPECT_EQ(fd_choose_value(s, FD_LABEL_DOWN), lv_make_small(9));
  EXPECT_EQ(fd_choose_value(s, FD_LABEL_MIDDLE), lv_make_small(4));
  EXPECT_EQ(fd_choose_value(s, 0), lv_make_small(4));
}

// ---- The labeling step ----

class LabelingStep : public Labeling {
 protected:
  // The alternative record of $fd_labeling/7: a frame of 112 bytes.
  uint32_t alternative[2] = {112, 0};
  const uint32_t* alt() const { return &alternative[1]; }
  lv_term* base = nullptr;

  void SetUp() override {
    Labeling::SetUp();
    base = w->B;
    // A mutable's stamp is the trail position of its newest entry, so an
    // update is trailed only after a choicepoint made above the trail base:
    // one entry below every frame, as a running program always has.
    if (w->TR == w->trail_base) {
      lv_term* cell = w->H++;
      *cell = lv_make_ref(cell);
      *w->TR++ = lv_make_ref(cell);
    }
  }

  // Raising an error may push frames of its own; none is the step's.
  bool no_step_frame() {
    for (lv_term* b = w->B; b < base; b += fd_choice_size(b) / 8)
      if (b[0] == reinterpret_cast<lv_term>(alt())) return false;
    return true;
  }
  lv_term report(unsigned i) { return lv_deref(lv_struct_cells(lv_deref(w->X[6]))[i]); }
  int64_t outcome() { return lv_small_value(report(1)); }

  // A new step over the variables.
  void start(lv_term vars, int64_t options, lv_term bb = 0) {
    w->X[0] = read("_");
    w->X[1] = LV_ATOM_NIL;
    w->X[2] = vars;
    w->X[3] = lv_make_small(0);
    w->X[4] = lv_make_small(options);
    w->X[5] = bb != 0 ? bb : lv_make_small(0);
    w->X[6] = read("r(_, _, _, _)");
    step();
  }
  void step() {
    begin_call();
    fd_label_step(&env, alt(), 0);
  }
  // Back to the newest choicepoint: the trail undone (value-trail entries
  // restore their mutable), H and the registers restored, the frame popped.
  bool backtrack() {
    if (w->B == base) return false;
    lv_term* b = w->B;
    undo_to(reinterpret_cast<lv_term*>(b[3]));
    w->H = reinterpret_cast<lv_term*>(b[2]);
    for (int i = 0; i < 8; i++) w->X[i] = b[6 + i];
    w->B = b + 14;
    w->HB = reinterpret_cast<lv_term*>(w->B[2]);
    w->saved_local_top = reinterpret_cast<lv_term*>(w->B[1]);
    return true;
  }
  void undo_to(lv_term* stop) {
    while (w->TR > stop) {
      if (lv_is_atomic(w->TR[-1])) {
        w->TR -= 3;
        lv_term* m = lv_struct_cells(w->TR[0]);
        m[1] = w->TR[1];
        m[2] = w->TR[2];
      } else {
        lv_term* cell = lv_ref_cell(*--w->TR);
        if (*w->TR != 0) *cell = lv_make_ref(cell);
      }
    }
  }
  // Every solution the search finds, in order.
  std::vector<values> search(const std::vector<variable>& vs, int64_t options, lv_term bb = 0) {
    std::vector<lv_term> terms;
    for (const variable& v : vs) terms.push_back(var(v));
    lv_term l = LV_ATOM_NIL;
    for (size_t i = terms.size(); i-- > 0;) l = terms::cons(w, terms[i], l);
    std::vector<values> found;
    // A frame of the test's own below the search, so that everything the
    // search binds is trailed and undone when it is popped.
    lv_term* outer = base;
    fd_push_label_choicepoint(&env, alt());
    base = w->B;
    start(l, options, bb);
    for (int guard = 0; guard < 10000; guard++) {
      int64_t o = outcome();
      EXPECT_TRUE(o == 0 || o == -1) << o;
      if (o == 0) {
        EXPECT_EQ(report(3), LV_ATOM_NIL);
        values s;
        for (const variable& v : vs) s.push_back(lv_is_small(var(v)) ? lv_small_value(var(v)) : -999);
        found.push_back(s);
      }
      if (!backtrack()) break;
      step();
    }
    EXPECT_EQ(w->B, base);
    base = outer;
    backtrack();
    return found;
  }
};

// Every combination of the domains' values, first variable slowest.
std::vector<values> product(const std::vector<values>& domains) {
  std::vector<values> out{{}};
  for (const values& d : domains) {
    std::vector<values> next;
    for (const values& p : out)
      for (int64_t v : d) {
        values q = p;
        q.push_back(v);
        next.push_back(q);
      }
    out = next;
  }
  return out;
}

TEST_F(LabelingStep, SearchesAgreeWithEnumeration) {
  const std::vector<std::string> sets = {"[[1|3]]", "[[-2|-1],[4|4]]", "[[0|0],[5|6]]"};
  const std::vector<values> domains = {{1, 2, 3}, {-2, -1, 4}, {0, 5, 6}};
  std::vector<values> ascending = product(domains), descending = ascending;
  std::reverse(descending.begin(), descending.end());
  const struct {
    int64_t options;
    const std::vector<values>* order;  // null: any order
  } cases[] = {
      {FD_LABEL_UP, &ascending},
      {FD_LABEL_DOWN, &descending},
      {FD_LABEL_UP | FD_LABEL_ENUMERATE, &ascending},
      {FD_LABEL_DOWN | FD_LABEL_ENUMERATE, &descending},
      {FD_LABEL_UP | FD_LABEL_BISECT, &ascending},
      {FD_LABEL_DOWN | FD_LABEL_BISECT, &descending},
      {FD_LABEL_MIDDLE, nullptr},
      {0, nullptr},
      {FD_LABEL_UP | 8, nullptr},                   // first fail
      {FD_LABEL_DOWN | FD_LABEL_ENUMERATE | 2, nullptr},  // smallest minimum first
      {FD_LABEL_UP | FD_LABEL_DOM_W_DEG, nullptr},
      {FD_LABEL_BISECT, &ascending},                // no direction: lower half first
      {FD_LABEL_BISECT | FD_LABEL_UP | FD_LABEL_DOWN, &ascending},
  };
  for (const auto& c : cases) {
    std::vector<variable> vs;
    for (const std::string& s : sets) vs.push_back(make_var(s));
    std::vector<values> found = search(vs, c.options);
    if (c.order != nullptr) {
      EXPECT_EQ(found, *c.order) << c.options;
    } else {
      std::set<values> unique(found.begin(), found.end());
      EXPECT_EQ(unique.size(), found.size()) << c.options;
      EXPECT_EQ(unique, std::set<values>(ascending.begin(), ascending.end())) << c.options;
    }
    // Backtracking gave the variables their domains back.
    for (size_t i = 0; i < vs.size(); i++) {
      EXPECT_EQ(text(fd_attribute_domain(attr(vs[i]))).rfind("dom(", 0), 0u);
      EXPECT_TRUE(lv_is_ref(var(vs[i])));
    }
  }
}

TEST_F(LabelingStep, SearchesWithPropagation) {
  // X >= min(Y) kept by an indexical: branches that break it fail in the
  // driver, and the solutions are those of the enumeration that satisfy it.
  install_x_ge_min_y();
  std::vector<values> expected;
  for (const values& s : product({{0, 1, 3}, {0, 2, 3}}))
    if (s[0] >= s[1]) expected.push_back(s);
  std::vector<values> descending(expected.rbegin(), expected.rend());
  const struct {
    int64_t options;
    const std::vector<values>* order;
  } cases[] = {{FD_LABEL_UP, &expected},
               {FD_LABEL_DOWN, &descending},
               {FD_LABEL_UP | FD_LABEL_BISECT, &expected},
               {FD_LABEL_DOWN | FD_LABEL_ENUMERATE, &descending},
               {FD_LABEL_UP | 8, nullptr},
               {FD_LABEL_MIDDLE | FD_LABEL_DOM_W_DEG, nullptr}};
  for (const auto& c : cases) {
    variable x = make_var("[[0|1],[3|3]]"), y = make_var("[[0|0],[2|3]]");
    post_x_ge_min_y(x, y);
    std::vector<values> found = search({x, y}, c.options);
    if (c.order != nullptr) {
      EXPECT_EQ(found, *c.order) << c.options;
    } else {
      std::sort(found.begin(), found.end());
      EXPECT_EQ(found, expected) << c.options;
    }
  }
}

TEST_F(LabelingStep, BisectionSplitsAtTheMidpoint) {
  // The halves each choice leaves to its choicepoint, oldest first, and the
  // value the first branch ends with.
  const struct {
    const char* domain;
    int64_t direction;
    const char* left;
    const char* value;
  } cases[] = {
      {"[[1|10]]", FD_LABEL_UP, "[[6|10]] [[4|5]] [[3|3]] [[2|2]] ", "1"},
      {"[[1|10]]", FD_LABEL_DOWN, "[[1|5]] [[6|8]] [[9|9]] ", "10"},
      {"[[-3|0]]", FD_LABEL_UP, "[[-1|0]] [[-2|-2]] ", "-3"},
  };
  for (const auto& c : cases) {
    variable x = make_var(c.domain);
    start(list({var(x)}), FD_LABEL_BISECT | c.direction);
    EXPECT_EQ(outcome(), 0);
    std::string left;
    for (lv_term* b = base - 14; b >= w->B; b -= 14) left += text(b[6 + 1]) + " ";
    EXPECT_EQ(left, c.left) << c.domain;
    EXPECT_EQ(value(x), c.value);
    while (backtrack()) {
    }
  }
}

TEST_F(LabelingStep, ValueChoiceLeavesTheRestToTheChoicepoint) {
  // Without enumeration or bisection, largest first on {2, 4, 9}: 9 is
  // tried, the other branch keeps {2, 4} and narrows to it on re-entry.
  variable x = make_var("[[2|2],[4|4],[9|9]]");
  start(list({var(x)}), FD_LABEL_DOWN);
  EXPECT_EQ(outcome(), 0);
  EXPECT_EQ(value(x), "9");
  EXPECT_EQ(text(w->B[6 + 1]), "[[2|2],[4|4]]");
  EXPECT_EQ(lv_small_value(report(4)), 1);
  ASSERT_TRUE(backtrack());
  step();
  // Re-entry narrowed x to {2, 4} and chose again (4, leaving 2).
  EXPECT_EQ(value(x), "4");
  EXPECT_EQ(text(w->B[6 + 1]), "[[2|2]]");
  EXPECT_EQ(lv_small_value(report(4)), 2);
  while (backtrack()) step();
}

TEST_F(LabelingStep, EnumerationReentry) {
  // Re-entry with X1 = {3, 5, 7} and smallest first: 3 is tried, a
  // choicepoint keeps {5, 7}; re-entry with {7} pushes nothing.
  const struct {
    const char* kept;
    const char* value;
    const char* pushed;  // null: no choicepoint
  } cases[] = {{"[[3|3],[5|5],[7|7]]", "3", "[[5|5],[7|7]]"}, {"[[7|7]]", "7", nullptr}};
  for (const auto& c : cases) {
    variable x = make_var("[[3|3],[5|5],[7|7]]");
    w->X[0] = var(x);
    w->X[1] = read(c.kept);
    w->X[2] = list({var(x)});
    w->X[3] = lv_make_small(1);
    w->X[4] = lv_make_small(FD_LABEL_UP | FD_LABEL_ENUMERATE);
    w->X[5] = lv_make_small(0);
    w->X[6] = read("r(_, _, _, _)");
    lv_term* before = w->B;
    step();
    EXPECT_EQ(outcome(), 0);
    EXPECT_EQ(value(x), c.value);
    if (c.pushed != nullptr) {
      ASSERT_EQ(w->B, before - 14);
      EXPECT_EQ(text(w->B[6 + 1]), c.pushed);
      EXPECT_EQ(w->B[6 + 7], LV_ATOM_NIL);  // X7
      EXPECT_EQ(w->B[0], reinterpret_cast<lv_term>(alt()));
    } else {
      EXPECT_EQ(w->B, before);
    }
    while (backtrack()) {
    }
  }
}

// Stores incumbent(Cost, Values) as a database record; its reference.
lv_term store_incumbent(lv_worker* w, terms::reader* r, const char* record) {
  w->X[0] = terms::cons(w, r->read(record), LV_ATOM_NIL);
  lv_stored_block* block = lv_store_term(w, 0);
  lv_term* h = w->H;
  lv_term ref = lv_register_dbref(block, &h, true);
  w->H = h;
  return ref;
}

TEST_F(LabelingStep, BranchAndBoundOnReentry) {
  lv_term dbref = store_incumbent(w, r, "incumbent(10, [0])");
  // (cost: a value or a set, option bits) -> outcome, the cost after.
  const struct {
    const char* cost;
    int64_t bits;
    int64_t outcome;
    const char* after;
  } cases[] = {
      {"10", FD_LABEL_BELOW_INCUMBENT, -1, "10"},
      {"9", FD_LABEL_BELOW_INCUMBENT, 0, "9"},
      {"[[0|20]]", FD_LABEL_BELOW_INCUMBENT, 0, "dom([[0|9]],0,9,10)"},
      {"[[0|20]]", FD_LABEL_ABOVE_INCUMBENT, 0, "dom([[11|20]],11,20,10)"},
      {"[[0|20]]", FD_LABEL_BELOW_INCUMBENT | FD_LABEL_ABOVE_INCUMBENT, 0, "dom([[0|20]],0,20,21)"},
      {"[[10|20]]", FD_LABEL_BELOW_INCUMBENT, -1, "dom([[10|20]],10,20,11)"},
  };
  for (const auto& c : cases) {
    variable x = make_var("[[1|2]]");
    lv_term cost;
    variable cv{};
    if (c.cost[0] == '[') {
      cv = make_var(c.cost);
      cost = var(cv);
    } else {
      cost = read(c.cost);
    }
    lv_term bb = with("bb(_, _)", {{1, cost}, {2, dbref}});
    w->X[0] = var(x);
    w->X[1] = read("[[1|1]]");
    w->X[2] = LV_ATOM_NIL;
    w->X[3] = lv_make_small(1);
    w->X[4] = lv_make_small(FD_LABEL_UP | c.bits);
    w->X[5] = bb;
    w->X[6] = read("r(_, _, _, _)");
    int64_t failures = state->failures;
    step();
    EXPECT_EQ(outcome(), c.outcome) << c.cost << " " << c.bits;
    EXPECT_EQ(state->failures - failures, c.outcome == -1 ? 1 : 0);
    EXPECT_EQ(c.cost[0] == '[' ? text(fd_attribute_domain(attr(cv))) : std::string(c.cost), c.after);
  }
  // A new step never looks at the incumbent.
  variable cost = make_var("[[0|20]]");
  variable x = make_var("[[1|2]]");
  start(list({var(x)}), FD_LABEL_UP | FD_LABEL_BELOW_INCUMBENT, with("bb(_, _)", {{1, var(cost)}, {2, dbref}}));
  EXPECT_EQ(outcome(), 0);
  EXPECT_EQ(text(fd_attribute_domain(attr(cost))), "dom([[0|20]],0,20,21)");
  while (backtrack()) {
  }
}

TEST_F(LabelingStep, OnlyIntegersLeftEndsAtOnce) {
  // A proper list, and a cyclic one.
  lv_term cyclic = read("[1, 2, 3]");
  lv_list_cells(lv_deref(lv_list_cells(lv_deref(lv_list_cells(cyclic)[1]))[1]))[1] = cyclic;
  for (lv_term l : {read("[1, 2, 3]"), cyclic}) {
    start(l, FD_LABEL_UP);
    EXPECT_EQ(outcome(), 0);
    EXPECT_EQ(report(3), LV_ATOM_NIL);
    EXPECT_EQ(report(4), lv_make_small(0));
    EXPECT_EQ(w->B, base);
  }
  // A cyclic list of variables: each is labeled once, then the step ends.
  variable x = make_var("[[1|2]]"), y = make_var("[[5|5],[7|7]]");
  lv_term vars = list({var(x), var(y)});
  lv_list_cells(lv_deref(lv_list_cells(vars)[1]))[1] = vars;
  start(vars, FD_LABEL_UP | 8);
  EXPECT_EQ(outcome(), 0);
  EXPECT_EQ(value(x) + " " + value(y), "1 5");
  while (backtrack()) {
  }
}

TEST_F(LabelingStep, RefusedRecordsAndDomains) {
  // A frame too small for the seven registers: an error, nothing pushed.
  uint32_t small[2] = {48, 0};
  w->X[1] = LV_ATOM_NIL;
  w->X[6] = read("r(_, _, _, _)");
  begin_call();
  fd_label_step(&env, &small[1], 0);
  EXPECT_TRUE(call_failed());
  EXPECT_TRUE(no_step_frame());
  EXPECT_TRUE(lv_is_ref(report(1)));
  // A variable with an infinite domain cannot be labeled.
  variable x = make_var("[[0|sup]]");
  start(list({var(x)}), FD_LABEL_UP);
  EXPECT_TRUE(call_failed());
  EXPECT_EQ(outcome(), -1);
  EXPECT_TRUE(no_step_frame());
}

// ---- Indexical definitions replaced while posted indexicals use them ----

TEST_F(Labeling, ReplacedDefinitionsOutliveTheirPostedIndexicals) {
  install_x_ge_min_y();
  variable x = make_var("[[0|9]]"), y = make_var("[[0|9]]");
  post_x_ge_min_y(x, y);
  // Replaced twice, then taken away as the free hook does: the posted
  // indexical still runs its own definition.
  void* posted_with = table[0];
  install_x_ge_min_y();
  install_x_ge_min_y();
  EXPECT_NE(table[0], posted_with);
  fd_free_definition_chain(&env, reinterpret_cast<uint64_t*>(&table[0]));
  EXPECT_EQ(table[0], nullptr);
  EXPECT_NE(state->tables->retired_definitions, nullptr);
  fd_tell_interval(&env, attr(y), var(y), lv_make_small(4), lv_make_small(9), 3, 0);
  lv_term_ref out = LV_new_term_ref();
  EXPECT_EQ(fd_evaluate_indexical(&env, out), 0);
  EXPECT_EQ(text(fd_attribute_domain(attr(x))), "dom([[4|9]],4,9,6)");
}

}  // namespace
