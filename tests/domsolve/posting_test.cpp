// Posting over a real engine: global propagators, indexical definitions on
// predicates (their record of four chains, freed through the solver's hook)
// and reified postings, clauses and disequations, equalities with
// coreferenced variables, domains restricted from Prolog, single indexical
// evaluation and actions fed back into propagation.
#include <gtest/gtest.h>

#include <string>

#include "domsolve/solver_fixture.h"
#include "kernel/attributes.h"
#include "kernel/foreign_predicates.h"
#include "kernel/indexical.h"
#include "kernel/propagation.h"
#include "kernel/queues.h"
#include "kernel/state_terms.h"
#include "store/clause_list.h"

namespace {

class Posting : public SolverTest {
 protected:
  // A variable with domain lo..hi.
  lv_term_ref var(int64_t lo, int64_t hi) {
    lv_term_ref v = ref("_");
    fd_in_interval(&env, v, ref(lv_make_small(lo)), ref(lv_make_small(hi)), 1);
    return v;
  }
  lv_term term(lv_term_ref t) { return lv_deref(w->termrefs[t].term); }
  lv_term attr(lv_term_ref v) { return lv_deref(fd_rt::get_attributes(&env, term(v), state->module)); }
  // The variable's value, or its domain term.
  std::string dom(lv_term_ref v) {
    lv_term t = term(v);
    if (!lv_is_ref(t)) return text(t);
    lv_term a = fd_rt::get_attributes(&env, t, state->module);
    return a == 0 ? "_" : text(fd_attribute_domain(lv_deref(a)));
  }
  int64_t suspensions(lv_term_ref v) {
    lv_term a = attr(v);
    return lv_small_value(fd_mutable_value(lv_struct_cells(a)[FD_ATTR_COUNT]));
  }
  // Runs the driver until it is done: its last result.
  int64_t propagate() {
    lv_term_ref out = LV_new_term_ref();
    int64_t r;
    int rounds = 0;
    do r = fd_evaluate_indexical(&env, out);
    while (r == 1 && ++rounds < 1000);
    return r;
  }
  // A term reference holding the term with the variables of the given
  // references put in for A, B, C (in that order) where the text has them.
  // The reader keeps variable names across reads: each call names them
  // afresh.
  lv_term_ref with(const std::string& text, std::initializer_list<lv_term_ref> vars) {
    std::string fresh = std::to_string(++withs);
    std::string t;
    for (char ch : text) t += ch == 'A' || ch == 'B' || ch == 'C' ? std::string(1, ch) + "_w" + fresh : std::string(1, ch);
    lv_term f = read("f(A_w" + fresh + ", B_w" + fresh + ", C_w" + fresh + ", " + t + ")");
    lv_term* c = lv_struct_cells(f);
    unsigned i = 1;
    for (lv_term_ref v : vars) *lv_ref_cell(lv_deref(c[i++])) = term(v);
    return ref(c[4]);
  }
  int withs = 0;
};

TEST_F(Posting, GlobalPropagatorsAreBuiltSuspendedAndQueued) {
  lv_term_ref x = var(1, 9), y = var(1, 9), z = var(1, 9);
  const struct {
    const char* events;
    const char* var_events;  // with A, B, C standing for the attributes
    int64_t sx, sy, sz;
  } cases[] = {
      {"[dom(1), val(2)]", "[]", 0, 0, 0},
      {"[dom(A), min(B), none(C), max(7)]", "[none(C),min(B),dom(A)]", 1, 1, 0},
  };
  for (const auto& c : cases) {
    begin_call();
    int64_t constraints = state->constraints;
    int64_t before[3] = {suspensions(x), suspensions(y), suspensions(z)};
    lv_term_ref p = LV_new_term_ref();
    fd_post_global(&env, ref("g(A, B)"), ref("s(x)"), 4, ref("r"), with(c.events, {x, y, z}), p);
    EXPECT_FALSE(call_failed());
    EXPECT_EQ(state->constraints, constraints + 1);
    lv_term prop = term(p);
    EXPECT_EQ(text(lv_struct_cells(prop)[1]), "$mutable(s(x),0)");
    EXPECT_EQ(text(lv_struct_cells(prop)[3]), "5") << c.events;  // the caller's 4 and queued
    // The variable/event list holds the attributes, in reverse order;
    // written with A, B, C for them.
    std::string ve = "[";
    for (lv_term l = lv_deref(lv_struct_cells(prop)[5]); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
      lv_term e = lv_deref(lv_list_cells(l)[0]);
      lv_term a = lv_deref(lv_struct_cells(e)[1]);
      std::string name = a == attr(x) ? "A" : a == attr(y) ? "B" : a == attr(z) ? "C" : "?";
      ve += (ve.size() > 1 ? "," : "") + text(lv_functor_atom(lv_struct_cells(e)[0])) + "(" + name + ")";
    }
    EXPECT_EQ(ve + "]", c.var_events) << c.events;
    EXPECT_EQ(text(lv_struct_cells(prop)[6]), "r");
    EXPECT_EQ(suspensions(x) - before[0], c.sx) << c.events;
    EXPECT_EQ(suspensions(y) - before[1], c.sy) << c.events;
    EXPECT_EQ(suspensions(z) - before[2], c.sz) << c.events;
    EXPECT_EQ(queue_text(6), text(prop) + " ");
    fd_queue_reset(&env);
  }
  // With hiding on, the reification term becomes true; a partial event
  // list and an unknown event are refused.
  lv_term_ref flags = ref("_");
  EXPECT_EQ(fd_hiding(&env, flags, ref("on")), 1);
  lv_term_ref p = LV_new_term_ref();
  fd_post_global(&env, ref("g"), ref("s"), 0, ref("r"), ref("[]"), p);
  EXPECT_EQ(text(lv_struct_cells(term(p))[6]), "true");
  begin_call();
  fd_post_global(&env, ref("g"), ref("s"), 0, ref("r"), ref("[dom(_)|_]"), p);
  EXPECT_TRUE(call_failed());
  begin_call();
  fd_post_global(&env, ref("g"), ref("s"), 0, ref("r"), ref("[foo(1)]"), p);
  EXPECT_TRUE(call_failed());
}

TEST_F(Posting, CheckArguments) {
  lv_term_ref out = ref("_");
  fd_check_arguments(&env, ref("a"), out);
  EXPECT_EQ(text_of(out), "a");
  lv_term_ref x = var(1, 3);
  out = ref("_");
  fd_check_arguments(&env, with("g(A, 5, _)", {x}), out);
  lv_term g = term(out);
  EXPECT_EQ(lv_struct_cells(g)[1], attr(x));
  EXPECT_EQ(text(fd_attribute_domain(lv_deref(lv_struct_cells(g)[2]))), "5");
  EXPECT_EQ(text(fd_attribute_domain(lv_deref(lv_struct_cells(g)[3]))), "dom([[inf|sup]],inf,sup,sup)");
  begin_call();
  fd_check_arguments(&env, ref("g(1, a)"), ref("_"));
  EXPECT_TRUE(call_failed());
}

TEST_F(Posting, DomainsFromProlog) {
  const struct {
    const char* x;  // a value, or lo..hi for a fresh variable
    const char* set;
    const char* domain;  // afterwards; "fail"
    int64_t failures;
  } cases[] = {
      {"5", "[[1|9]]", "5", 0},
      {"0", "[[1|9]]", "fail", 1},
      {"1..9", "[]", "fail", 1},
      {"1..9", "[[3|5],[7|7]]", "dom([[3|5],[7|7]],3,7,4)", 0},
      {"1..9", "[[0|20]]", "dom([[1|9]],1,9,9)", 0},
      {"1..9", "[[4|4]]", "4", 0},
      {"1..9", "[[11|20]]", "fail", 1},
  };
  for (const auto& c : cases) {
    begin_call();
    std::string xs = c.x;
    size_t dots = xs.find("..");
    lv_term_ref x = dots == std::string::npos ? ref(xs) : var(std::stoll(xs), std::stoll(xs.substr(dots + 2)));
    int64_t failures = state->failures;
    uint32_t mask = state->queues->mask;
    fd_in_set(&env, x, ref(c.set), 1);
    EXPECT_EQ(call_failed() ? "fail" : dom(x), c.domain) << c.x << " " << c.set;
    EXPECT_EQ(state->failures - failures, c.failures) << c.x << " " << c.set;
    if (dots == std::string::npos) {
      EXPECT_EQ(state->queues->mask, mask) << c.x;
    } else if (std::string(c.domain) == "fail" && std::string(c.set) != "[]") {
      EXPECT_EQ(text(lv_struct_cells(attr(x))[FD_ATTR_WEIGHT]), "1");
    }
  }
  // Intervals, with the infinities; a bound that is no bound is refused.
  lv_term_ref x = ref("_");
  fd_in_interval(&env, x, ref("inf"), ref("7"), 1);
  EXPECT_EQ(dom(x), "dom([[inf|7]],inf,7,sup)");
  begin_call();
  fd_in_interval(&env, x, ref("3"), ref("2"), 1);
  EXPECT_TRUE(call_failed());
  begin_call();
  fd_in_interval(&env, x, ref("a"), ref("2"), 1);
  EXPECT_TRUE(call_failed());
  begin_call();
  fd_in_set(&env, x, ref("[[3|1]]"), 1);
  EXPECT_TRUE(call_failed());
  begin_call();
  fd_in_set(&env, ref("f(a)"), ref("[[1|3]]"), 1);
  EXPECT_TRUE(call_failed());
}

TEST_F(Posting, EqualityOfAVariableAndAVariablePlusAConstant) {
  const struct {
    int64_t xlo, xhi, ylo, yhi, c;
    int64_t result;
    const char* x;
    const char* y;
  } cases[] = {
      {4, 4, 2, 2, 2, 1, "4", "2"},                                       // both fixed, true
      {4, 4, 3, 3, 2, -1, "4", "3"},                                      // both fixed, false
      {6, 6, 1, 9, 2, 1, "6", "4"},                                       // X fixed: Y told
      {6, 6, 5, 9, 2, -1, "6", "dom([[5|9]],5,9,5)"},                     // X fixed, Y cannot
      {1, 9, 3, 3, 2, 1, "5", "3"},                                       // Y fixed: X told
      {1, 9, 0, 4, 2, 1, "dom([[2|6]],2,6,5)", "dom([[0|4]],0,4,5)"},     // coreferenced
      {1, 9, 1, 9, 0, 1, "dom([[1|9]],1,9,9)", "dom([[1|9]],1,9,9)"},     // the same domains
      {1, 3, 5, 9, 0, -1, "dom([[1|3]],1,3,3)", "dom([[5|9]],5,9,5)"},    // nothing in common
  };
  for (const auto& c : cases) {
    begin_call();
    lv_term_ref x = var(c.xlo, c.xhi), y = var(c.ylo, c.yhi);
    lv_term_ref goal = with("'x=y+c'(A, B, " + std::to_string(c.c) + ")", {x, y});
    lv_term_ref ax = ref("_"), ay = ref("_");
    fd_arg_attribute(&env, x, 0, ax);
    fd_arg_attribute(&env, y, 0, ay);
    lv_term_ref pair = ref("p(_, _)");
    lv_struct_cells(term(pair))[1] = term(ax);
    lv_struct_cells(term(pair))[2] = term(ay);
    int64_t r = fd_post_equality(&env, goal, pair);
    EXPECT_EQ(r, c.result) << c.xlo << ".." << c.xhi << " " << c.ylo << ".." << c.yhi;
    if (r < 0) continue;
    EXPECT_EQ(propagate(), 0);
    EXPECT_EQ(dom(x), c.x) << c.xlo << ".." << c.xhi;
    EXPECT_EQ(dom(y), c.y) << c.ylo << ".." << c.yhi;
  }
}

TEST_F(Posting, CoreferencedVariablesJoinTheirListsAndShareValues) {
  // X = Y + 1 and Z = Y - 2 join three variables on one list; the shorter
  // list moves into the longer one, whatever the order.
  lv_term_ref x = var(0, 20), y = var(0, 20), z = var(-5, 20);
  auto post = [&](lv_term_ref a, lv_term_ref b, int64_t c) {
    lv_term_ref pair = ref("p(_, _)");
    lv_struct_cells(term(pair))[1] = attr(a);
    lv_struct_cells(term(pair))[2] = attr(b);
    return fd_post_equality(&env, with("e(A, B, " + std::to_string(c) + ")", {a, b}), pair);
  };
  EXPECT_EQ(post(x, y, 1), 1);
  EXPECT_EQ(post(z, y, -2), 1);
  // Already coreferenced: decided by the keys alone.
  EXPECT_EQ(post(x, z, 3), 1);
  EXPECT_EQ(post(x, z, 2), -1);
  EXPECT_EQ(propagate(), 0);
  EXPECT_EQ(dom(x), "dom([[1|20]],1,20,20)");
  EXPECT_EQ(dom(y), "dom([[0|19]],0,19,20)");
  EXPECT_EQ(dom(z), "dom([[-2|17]],-2,17,20)");
  // One value binds them all.
  lv_term_ref a = LV_new_term_ref();
  w->termrefs[a].term = attr(y);
  fd_tell_value(&env, term(a), term(y), lv_make_small(7), 0);
  EXPECT_EQ(propagate(), 0);
  EXPECT_EQ(dom(x), "8");
  EXPECT_EQ(dom(z), "5");
}

TEST_F(Posting, ClausesOverLiterals) {
  // Literals lit(Var, Attribute, _) over 0/1 variables; the clause
  // P1 v P2 v -N posted over the open ones.
  const struct {
    const char* p1;  // "0", "1" or "_" (open)
    const char* p2;
    const char* n;
    const char* outcome;  // "posted", "entailed", "fail", or the forced literal's value
  } cases[] = {
      {"_", "_", "_", "posted"},  {"1", "_", "_", "entailed"}, {"_", "_", "0", "entailed"},
      {"0", "0", "1", "fail"},    {"0", "_", "1", "1"},         {"0", "0", "_", "0"},
      {"0", "_", "_", "posted"},
  };
  for (const auto& c : cases) {
    begin_call();
    lv_term_ref v[3];
    const char* values[3] = {c.p1, c.p2, c.n};
    for (int i = 0; i < 3; i++) {
      v[i] = var(0, 1);
      if (values[i][0] != '_') fd_in_set(&env, v[i], ref("[[" + std::string(values[i]) + "|" + values[i] + "]]"), 1);
    }
    lv_term_ref pos = ref("[lit(_, _, 1), lit(_, _, 1)]"), neg = ref("[lit(_, _, 1)]");
    auto fill = [&](lv_term list, int i, lv_term_ref x) {
      lv_term l = lv_deref(list);
      for (int k = 0; k < i; k++) l = lv_deref(lv_list_cells(l)[1]);
      lv_term* lit = lv_struct_cells(lv_deref(lv_list_cells(l)[0]));
      lit[1] = term(x);
      lit[2] = lv_is_ref(term(x)) ? attr(x) : term(x);
    };
    fill(term(pos), 0, v[0]);
    fill(term(pos), 1, v[1]);
    fill(term(neg), 0, v[2]);
    int64_t entailments = state->entailments;
    fd_post_clause(&env, pos, neg);
    std::string outcome = call_failed() ? "fail" : state->entailments > entailments ? "entailed" : "posted";
    for (int i = 0; i < 3; i++)
      if (values[i][0] == '_' && !lv_is_ref(term(v[i]))) outcome = text(term(v[i]));
    EXPECT_EQ(outcome, c.outcome) << c.p1 << c.p2 << c.n;
    if (outcome != "posted") continue;
    // Posted: making every open positive literal false forces the rest.
    EXPECT_EQ(propagate(), 0);
    for (int i = 0; i < 2; i++)
      if (lv_is_ref(term(v[i]))) fd_in_set(&env, v[i], ref("[[0|0]]"), 1);
    EXPECT_EQ(propagate(), 0);
    EXPECT_EQ(dom(v[2]), "0") << c.p1 << c.p2 << c.n;
  }
}

TEST_F(Posting, DisequationsOverBooleans) {
  // 1*B1 + 2*B2 != 2: B1 fixed to 0 binds B2 to 0; posted with one open
  // Boolean the item is decided at once.
  lv_term_ref b1 = var(0, 1), b2 = var(0, 1);
  lv_term_ref ys = with("[b(A, _), b(B, _)]", {b1, b2});
  lv_term l = term(ys);
  lv_struct_cells(lv_deref(lv_list_cells(l)[0]))[2] = attr(b1);
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(lv_list_cells(l)[1]))[0]))[2] = attr(b2);
  fd_post_disequation(&env, ref("[1, 2]"), ys, 2);
  EXPECT_EQ(suspensions(b1), 1);
  EXPECT_EQ(suspensions(b2), 1);
  EXPECT_EQ(propagate(), 0);
  fd_in_set(&env, b1, ref("[[0|0]]"), 1);
  EXPECT_EQ(propagate(), 0);
  EXPECT_EQ(dom(b2), "0");

  lv_term_ref c1 = var(0, 1);
  lv_term_ref single = with("[b(A, _), b(1, 1)]", {c1});
  lv_struct_cells(lv_deref(lv_list_cells(term(single))[0]))[2] = attr(c1);
  fd_post_disequation(&env, ref("[3, 1]"), single, 4);  // 3*C1 + 1 != 4: C1 = 0
  EXPECT_EQ(propagate(), 0);
  EXPECT_EQ(dom(c1), "0");
  // Lists of other lengths or contents are refused.
  begin_call();
  fd_post_disequation(&env, ref("[1]"), ref("[b(1, 1), b(0, 0)]"), 1);
  EXPECT_TRUE(call_failed());
  begin_call();
  fd_post_disequation(&env, ref("[a]"), ref("[b(1, 1)]"), 1);
  EXPECT_TRUE(call_failed());
}

// Indexical definitions installed on a predicate of a test module.
class PostingIndexicals : public Posting {
 protected:
  lv_term module_atom() { return LV_atom_from_string("k3_test_module"); }
  void install(const std::string& spec, int slot, const std::string& code, const std::string& entries = "[p(1, 1)]",
               int target = 1) {
    lv_term c = read(code), e = read(entries);
    std::string def = "[ix(" + entries + ", " + std::to_string(length(e)) + ", " + std::to_string(target) + ", " +
                      code + ", " + std::to_string(length(c)) + ", [], 0)]";
    fd_install(&env, ref(spec), static_cast<int64_t>(module_atom()), slot, 1, ref(def));
  }
  static int64_t length(lv_term l) {
    int64_t n = 0;
    for (l = lv_deref(l); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) n++;
    return n;
  }
  lv_term definition(const std::string& name) {
    lv_term_ref d = ref("_");
    fd_find_definition(&env, ref(name), static_cast<int64_t>(module_atom()), d);
    return term(d);
  }
  lv_pred* pred(const std::string& name, int arity) {
    return lv_lookup_predicate(find_module(module_atom(), 1), LV_atom_from_string(name.c_str()),
                               static_cast<unsigned>(arity), LV_LOOKUP_FIND);
  }
};

TEST_F(PostingIndexicals, InstallMakesAPredicateOfFourChains) {
  EXPECT_EQ(text(definition("/(ge0, 1)")), "0");
  // ge0(X): chain 1 X in 0..sup, chain 0 X in inf..-1, chains 3 and 2 the
  // checks of the same.
  install("/(ge0, 1)", 1, "[41, 0, 47]");
  install("/(ge0, 1)", 0, "[41, -1, 46]");
  install("/(ge0, 1)", 3, "[41, 0, 55]");
  install("/(ge0, 1)", 2, "[41, -1, 54]");
  EXPECT_FALSE(call_failed());
  lv_pred* p = pred("ge0", 1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(lv_definition_type(p), static_cast<uint32_t>(LV_DEF_FD_CONSTRAINT));
  auto* record = static_cast<lv_fd_definition*>(p->definition);
  for (int k = 0; k < 4; k++) EXPECT_NE(record->chains[k], 0u) << k;
  lv_term def = definition("/(ge0, 1)");
  EXPECT_EQ(fd_term_pointer(def), static_cast<void*>(p));
  EXPECT_EQ(text(definition("ge0(_)")), text(def));
  lv_term_ref d = ref(def);
  EXPECT_EQ(fd_indexical_data(&env, d, 3), static_cast<int64_t>(fd_pointer_term(reinterpret_cast<void*>(record->chains[3]))));
  EXPECT_EQ(fd_indexical_data(&env, d, 4), 0);
  EXPECT_EQ(fd_indexical_data(&env, ref("12345"), 0), 0);

  // A chain replaced: the old records are retired, not freed (posted
  // indexicals may name them).
  uint64_t old = record->chains[1];
  install("/(ge0, 1)", 1, "[41, 1, 47]");
  EXPECT_NE(record->chains[1], old);
  EXPECT_EQ(static_cast<void*>(state->tables->retired_definitions), reinterpret_cast<void*>(old));

  // Freeing the predicate's definition hands every chain to the solver.
  lv_clear_definition(p);
  EXPECT_EQ(text(definition("/(ge0, 1)")), "0");
  int retired = 0;
  for (fd_definition* r = state->tables->retired_definitions; r != nullptr; r = r->next) retired++;
  EXPECT_EQ(retired, 5);

  // A predicate defined otherwise, a bad index and a malformed definition
  // are refused.
  begin_call();
  fd_install(&env, ref("/(foo, 2)"), static_cast<int64_t>(LV_atom_from_string("user")), 4, 1, ref("[]"));
  EXPECT_TRUE(call_failed());
  begin_call();
  install("/(bad, 1)", 1, "[41]");
  EXPECT_TRUE(call_failed());
  EXPECT_EQ(text(definition("/(bad, 1)")), "0");
  EXPECT_EQ(lv_definition_type(pred("bad", 1)), static_cast<uint32_t>(LV_DEF_UNDEFINED));
}

TEST_F(PostingIndexicals, ReifiedPostingsFollowTheBoolean) {
  install("/(ge0, 1)", 1, "[41, 0, 47]");
  install("/(ge0, 1)", 0, "[41, -1, 46]");
  install("/(ge0, 1)", 3, "[41, 0, 55]");
  install("/(ge0, 1)", 2, "[41, -1, 54]");
  lv_term def = definition("/(ge0, 1)");
  const struct {
    const char* b;  // the Boolean: 0, 1 or open
    const char* queue4;
    int64_t on_b;  // suspensions added on B
  } cases[] = {
      {"1", "$indexical(_,goal,1,_,1,t(_),_,goal) ", 0},
      {"0", "$indexical(_,goal,1,_,0,t(_),_,goal) ", 0},
      {"_", "$indexical(_,goal,97,_,_,t(_),_,goal) $indexical(_,goal,97,_,_,t(_),_,goal) ", 2},
  };
  for (const auto& c : cases) {
    begin_call();
    fd_queue_reset(&env);
    lv_term_ref x = var(-5, 5);
    lv_term_ref b = std::string(c.b) == "_" ? var(0, 1) : ref(c.b);
    lv_term_ref goal = with("ge0(A)", {x});
    lv_term_ref tuple = ref("_");
    fd_check_arguments(&env, goal, tuple);
    lv_term_ref battr = ref("_");
    fd_arg_attribute(&env, b, 1, battr);
    int64_t constraints = state->constraints;
    int64_t before = lv_is_ref(term(b)) ? suspensions(b) : 0;
    fd_post_reified(&env, ref(def), goal, tuple, b, battr);
    EXPECT_FALSE(call_failed());
    EXPECT_EQ(state->constraints, constraints + 1);
    // The posted terms, with their addresses and variables written as _.
    std::string q;
    const fd_queue& queue = state->queues->queues[4];
    for (fd_termref_slot* s = queue.head; s != queue.tail; s = s + 1 == queue.end ? queue.start : s + 1) {
      lv_term ix = s->term;
      lv_term shown = read("'$indexical'(_, _, F, _, B, t(_), _, _)");
      // The goal written as goal.
      auto goal_or = [&](lv_term t) { return lv_deref(t) == term(goal) ? read("goal") : t; };
      lv_struct_cells(shown)[2] = goal_or(lv_struct_cells(ix)[2]);
      lv_struct_cells(shown)[3] = lv_struct_cells(ix)[3];
      lv_struct_cells(shown)[5] = lv_struct_cells(ix)[5];
      lv_struct_cells(shown)[8] = goal_or(lv_struct_cells(ix)[8]);
      q += text(shown) + " ";
    }
    EXPECT_EQ(q, c.queue4) << c.b;
    if (lv_is_ref(term(b))) {
      EXPECT_EQ(suspensions(b) - before, c.on_b);
    }
  }
  // B open and X fixed by a later tell: the checks decide B.
  begin_call();
  fd_queue_reset(&env);
  lv_term_ref x = var(-5, 5), b = var(0, 1);
  lv_term_ref goal = with("ge0(A)", {x});
  lv_term_ref tuple = ref("_"), battr = ref("_");
  fd_check_arguments(&env, goal, tuple);
  fd_arg_attribute(&env, b, 1, battr);
  fd_post_reified(&env, ref(def), goal, tuple, b, battr);
  EXPECT_EQ(propagate(), 0);
  EXPECT_EQ(dom(b), "dom([[0|1]],0,1,2)");
  fd_in_set(&env, x, ref("[[3|3]]"), 1);
  EXPECT_EQ(propagate(), 0);
  EXPECT_EQ(dom(b), "1");
  // And B decided first: the chain it selects propagates.
  lv_term_ref y = var(-5, 5), c = var(0, 1);
  goal = with("ge0(A)", {y});
  tuple = ref("_");
  battr = ref("_");
  fd_check_arguments(&env, goal, tuple);
  fd_arg_attribute(&env, c, 1, battr);
  fd_post_reified(&env, ref(def), goal, tuple, c, battr);
  EXPECT_EQ(propagate(), 0);
  fd_in_set(&env, c, ref("[[0|0]]"), 1);
  EXPECT_EQ(propagate(), 0);
  EXPECT_EQ(dom(y), "dom([[-5|-1]],-5,-1,5)");
  // A definition that is no registered predicate is refused.
  begin_call();
  fd_post_reified(&env, ref("12345"), goal, tuple, c, battr);
  EXPECT_TRUE(call_failed());
}

TEST_F(PostingIndexicals, EvaluatingOneIndexicalAtOnce) {
  install("/(ge0, 1)", 1, "[41, 0, 47]");
  lv_term def = definition("/(ge0, 1)");
  // Posted with B = 1, the indexical is taken off the queue and evaluated
  // directly: X fixed to 3 entails it, and the entailment is left to the
  // actions (`exit`), the counter as it was.
  lv_term_ref x = ref("3"), b = ref("1");
  lv_term_ref goal = with("ge0(A)", {x});
  lv_term_ref tuple = ref("_"), battr = ref("_");
  fd_check_arguments(&env, goal, tuple);
  fd_arg_attribute(&env, b, 1, battr);
  fd_post_reified(&env, ref(def), goal, tuple, b, battr);
  lv_term ix = fd_queue_take(&env, 4);
  lv_term_ref ixr = ref(ix), actions = ref("[]");
  int64_t entailments = state->entailments;
  fd_eval_indexical(&env, ixr, ixr, actions);
  EXPECT_EQ(state->entailments, entailments);
  EXPECT_EQ(text_of(actions), "[exit]");
  fd_prune_and_enqueue(&env, actions, ixr);
  EXPECT_EQ(state->entailments, entailments + 1);
  EXPECT_EQ(text(lv_struct_cells(term(ixr))[4]), "1");
  // -1: failure (status 4).
  lv_term_ref y = ref("-1");
  goal = with("ge0(A)", {y});
  tuple = ref("_");
  fd_check_arguments(&env, goal, tuple);
  fd_post_reified(&env, ref(def), goal, tuple, b, battr);
  ixr = ref(fd_queue_take(&env, 4));
  actions = ref("[]");
  fd_eval_indexical(&env, ixr, ixr, actions);
  EXPECT_EQ(text_of(actions), "[fail]");
  int64_t failures = state->failures;
  fd_prune_and_enqueue(&env, actions, ixr);
  EXPECT_TRUE(call_failed());
  EXPECT_EQ(state->failures, failures + 1);
  // A made-up indexical is refused.
  begin_call();
  fd_eval_indexical(&env, ixr, ref("'$indexical'(12345, g, 0, _, _, t, _, g)"), ref("[]"));
  EXPECT_TRUE(call_failed());
}

}  // namespace
