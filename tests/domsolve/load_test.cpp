// domsolve.so loaded into a running system: the runtime started and booted
// in this process, the resource declared in module domsolve, loaded with
// load_foreign_resource/1 (the runtime's loader calls the entry and init),
// its predicates called by queries, and unloaded again.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "embed/foreign_resources.h"
#include "embed/startup_support.h"
#include "kernel/solver_state.h"
#include "support/temp_files.h"

using namespace startup_test;

namespace {

lv_term_ref atom_term(const char* text) { return atom_ref(text); }

lv_term_ref compound(const char* name, const std::vector<lv_term_ref>& args) {
  lv_term_ref t = LV_new_term_ref();
  LV_cons_functor_array(t, lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE), static_cast<int>(args.size()),
                        args.data());
  return t;
}

lv_term_ref list(const std::vector<lv_term_ref>& items) {
  lv_term_ref l = atom_term("[]");
  for (auto it = items.rbegin(); it != items.rend(); ++it) LV_cons_list(l, *it, l);
  return l;
}

// A set [[Lo|Hi], ...] from pairs of integers.
lv_term_ref set(const std::vector<std::pair<int64_t, int64_t>>& intervals) {
  std::vector<lv_term_ref> cells;
  for (auto [lo, hi] : intervals) {
    lv_term_ref cell = LV_new_term_ref();
    LV_cons_list(cell, int_ref(lo), int_ref(hi));
    cells.push_back(cell);
  }
  return list(cells);
}

// Predicate specs: +term and [-integer] style.
lv_term_ref spec(const char* mode, const char* kind) {
  if (mode[0] == 'r') return list({compound("-", {atom_term(kind)})});
  return compound(mode, {atom_term(kind)});
}

int assert_in_domsolve(lv_term_ref clause) {
  return query("prolog", "assertz", {compound(":", {atom_term("domsolve"), clause})});
}

class LoadedSolver : public RuntimeTest {
 protected:
  void SetUp() override {
    REQUIRE_BOOT_FILE();
    ASSERT_TRUE(start_and_boot());
    const struct {
      const char* function;
      std::vector<std::pair<const char*, const char*>> args;
    } declarations[] = {
        {"$fd_dom_union", {{"+", "term"}, {"+", "term"}, {"+", "term"}}},
        {"$fd_size", {{"+", "term"}, {"+", "term"}, {"r", "integer"}}},
        {"$fd_statistics", {{"+", "integer"}, {"r", "integer"}}},
        {"$fd_overflow", {{"+", "term"}, {"+", "term"}, {"r", "integer"}}},
        {"$fd_dom_complement", {{"+", "term"}, {"+", "term"}}},
        {"$fd_abs", {{"+", "term"}, {"+", "term"}, {"+", "term"}, {"+", "term"}}},
        {"$fd_cumulative", {{"+", "term"}, {"+", "term"}, {"+", "term"}, {"+", "term"}}},
        {"$fd_evaluate_indexical", {{"+", "term"}, {"r", "integer"}}},
        {"$fd_dispatch_global_fast",
         {{"+", "term"}, {"+", "term"}, {"+", "term"}, {"+", "term"}, {"+", "term"}, {"r", "integer"}}},
        {"$fd_arg_attribute", {{"+", "term"}, {"+", "integer"}, {"+", "term"}}},
        {"$fd_unify", {{"+", "term"}, {"+", "term"}, {"r", "integer"}}},
        {"$fd_delete", {{"+", "term"}, {"+", "term"}, {"+", "atom"}}},
        {"$fd_in_interval", {{"+", "term"}, {"+", "term"}, {"+", "term"}, {"+", "integer"}}},
        {"$fd_post_global",
         {{"+", "term"}, {"+", "term"}, {"+", "integer"}, {"+", "term"}, {"+", "term"}, {"+", "term"}}},
    };
    std::vector<lv_term_ref> functions;
    for (const auto& d : declarations) {
      functions.push_back(atom_term(d.function));
      std::vector<lv_term_ref> args;
      for (auto [mode, kind] : d.args) args.push_back(spec(mode, kind));
      ASSERT_EQ(assert_in_domsolve(compound("foreign", {atom_term(d.function), compound(d.function, args)})), 1);
    }
    ASSERT_EQ(assert_in_domsolve(compound("foreign_resource", {atom_term("domsolve"), list(functions)})), 1);
  }

  int load() {
    return query("prolog", "load_foreign_resource", {compound(":", {atom_term("domsolve"), atom_term(DOMSOLVE_PATH)})});
  }
  lv_foreign_resource* resource() { return lv_find_foreign_resource(lv_atom_from_text("domsolve", LV_ATOM_FIND)); }
};

TEST_F(LoadedSolver, LoadsCallsAndUnloads) {
  ASSERT_EQ(load(), 1) << term_text(exception_ref());
  lv_foreign_resource* r = resource();
  ASSERT_NE(r, nullptr);
  EXPECT_NE(r->env.state, 0u);  // init built the solver state
  EXPECT_EQ(r->params.flags & 0x30, 0x30u);
  EXPECT_EQ(load(), 1);  // a second load finds it loaded

  lv_term_ref u = var_ref();
  ASSERT_EQ(query("domsolve", "$fd_dom_union", {set({{1, 3}}), set({{4, 6}}), u}), 1);
  EXPECT_EQ(LV_compare(u, set({{1, 6}})), 0) << term_text(u);
  lv_term_ref size = var_ref(), ok = var_ref();
  ASSERT_EQ(query("domsolve", "$fd_size", {set({{1, 3}, {7, 7}}), size, ok}), 1);
  EXPECT_EQ(int_of(size), 4);
  EXPECT_EQ(int_of(ok), 1);
  lv_term_ref count = var_ref();
  ASSERT_EQ(query("domsolve", "$fd_statistics", {int_ref(0), count}), 1);
  EXPECT_EQ(int_of(count), 0);

  // Errors go through the system's error handling.
  EXPECT_EQ(query("domsolve", "$fd_dom_union", {atom_term("foo"), set({{1, 2}}), var_ref()}), -1);
  EXPECT_EQ(term_text(exception_ref()).substr(0, 32), "error(type_error(fdset, foo), ty");
  EXPECT_EQ(query("domsolve", "$fd_cumulative", {var_ref(), var_ref(), var_ref(), var_ref()}), -1);
  EXPECT_EQ(term_text(exception_ref()), "error(system_error, system_error($fd_cumulative/4 is not implemented))");
  EXPECT_EQ(query("domsolve", "$fd_abs", {var_ref(), var_ref(), var_ref(), var_ref()}), -1);
  EXPECT_EQ(term_text(exception_ref()), "error(system_error, system_error(abs(x)=y: malformed state))");

  ASSERT_EQ(query("prolog", "unload_foreign_resource", {atom_term("domsolve")}), 1);
  EXPECT_EQ(resource(), nullptr);
}

// Posting and search from Prolog, backtracking in the emulator: the blocks
// of propagators posted under a choicepoint are freed when the failure
// passes them. Every node of the search posts all_distinct again, over two
// variables left open.
TEST_F(LoadedSolver, PostingAndSearchFreeTheirBlocksOnBacktracking) {
  ASSERT_EQ(load(), 1) << term_text(exception_ref());
  ASSERT_EQ(query("prolog", "$save_attribute_info", {atom_term("domsolve")}), 1) << term_text(exception_ref());
  TempFiles files;
  files.file("search.pl", R"(
prop :- domsolve:'$fd_evaluate_indexical'(_, R), ( R == 1 -> prop ; true ).
in(X) :- domsolve:'$fd_in_interval'(X, 1, 5, 1).
pair(X, p(X, A)) :- domsolve:'$fd_arg_attribute'(X, 0, A).
pairs([], []).
pairs([X|Xs], [P|Ps]) :- pair(X, P), pairs(Xs, Ps).
events([], []).
events([X|Xs], [dom(X)|Es]) :- events(Xs, Es).
distinct(Vs) :-
    pairs(Vs, Ps), events(Vs, Es),
    domsolve:'$fd_post_global'(all_distinct(Vs), s(Ps, 0, 0, 0, _, 0), 0, [], Es, _),
    prop.
lab(V, Vs) :- between(1, 5, K), domsolve:'$fd_in_interval'(V, K, K, 1), prop, distinct(Vs).
count(N) :-
    Vs = [X, Y, Z, W], in(X), in(Y), in(Z), in(W), distinct(Vs),
    findall(X-Y, (lab(X, Vs), lab(Y, Vs)), L), length(L, N).
)");
  auto* st = reinterpret_cast<fd_solver_state*>(resource()->env.state);
  auto live_blocks = [&]() {
    int64_t n = 0;
    fd_keyed_for_each(st->tables->blocks, [&](uint64_t, uint64_t value) { n += value != 0; });
    return n;
  };
  ASSERT_EQ(query("prolog", "consult", {atom_term(files.path("search.pl").c_str())}), 1) << term_text(exception_ref());
  int64_t before = live_blocks();
  lv_term_ref n = var_ref();
  ASSERT_EQ(query("user", "count", {n}), 1) << term_text(exception_ref());
  EXPECT_EQ(int_of(n), 20);
  // The search's blocks are gone; the one posted before it lives on.
  EXPECT_EQ(live_blocks(), before + 1);
}

TEST_F(LoadedSolver, DriverAndDispatchFromProlog) {
  ASSERT_EQ(load(), 1) << term_text(exception_ref());
  // Nothing queued: propagation is finished at once.
  lv_term_ref result = var_ref();
  ASSERT_EQ(query("domsolve", "$fd_evaluate_indexical", {var_ref(), result}), 1);
  EXPECT_EQ(int_of(result), 0);
  // A goal with no C propagator is left to the Prolog level.
  lv_term_ref ok = var_ref();
  ASSERT_EQ(query("domsolve", "$fd_dispatch_global_fast",
                  {compound("no_such_propagator", {atom_term("a")}), var_ref(), var_ref(), var_ref(), var_ref(), ok}),
            1);
  EXPECT_EQ(int_of(ok), 0);
}

TEST_F(LoadedSolver, UnifyAndVariableChoiceFromProlog) {
  ASSERT_EQ(load(), 1) << term_text(exception_ref());
  // Module domsolve keeps attributes, as the solver's library declares.
  ASSERT_EQ(query("prolog", "$save_attribute_info", {atom_term("domsolve")}), 1) << term_text(exception_ref());
  // X and Y domain variables; equal keys keep the earlier variable, an
  // integer first gives way; X unified with 5 is told in C.
  lv_term_ref x = var_ref(), y = var_ref(), s1 = var_ref(), s2 = var_ref(), done = var_ref();
  const std::vector<lv_term_ref> goals = {
      compound("$fd_arg_attribute", {x, int_ref(0), var_ref()}),
      compound("$fd_arg_attribute", {y, int_ref(0), var_ref()}),
      compound("$fd_delete", {list({x, y}), s1, atom_term("ff")}),
      compound("$fd_delete", {list({int_ref(3), y}), s2, atom_term("min")}),
      compound("==", {s1, x}),
      compound("==", {s2, y}),
      compound("$fd_unify", {x, int_ref(5), done}),
      compound("==", {x, int_ref(5)}),
      compound("==", {done, int_ref(1)}),
  };
  lv_term_ref conjunction = goals.back();
  for (size_t i = goals.size() - 1; i-- > 0;) conjunction = compound(",", {goals[i], conjunction});
  EXPECT_EQ(query("domsolve", "call", {compound(":", {atom_term("domsolve"), conjunction})}), 1)
      << term_text(exception_ref());
}

TEST_F(LoadedSolver, OverflowActionDefinedAfterLoading) {
  ASSERT_EQ(load(), 1) << term_text(exception_ref());
  // overflow_action/2 comes after the resource: it is looked up when an
  // overflow is first reported.
  lv_term_ref g = var_ref(), c = var_ref();
  lv_term_ref clause = compound(":-", {compound("overflow_action", {g, c}),
                                       compound("throw", {compound("overflowed", {g, c})})});
  ASSERT_EQ(assert_in_domsolve(clause), 1);
  lv_term_ref all = set({{0, (int64_t{1} << 60) - 1}});
  EXPECT_EQ(query("domsolve", "$fd_dom_complement", {all, var_ref()}), -1);
  EXPECT_EQ(term_text(exception_ref()), "overflowed(fdset_complement(_, _), 2)");
  // With the setting fail the same complement fails quietly.
  lv_term_ref old = var_ref();
  ASSERT_EQ(query("domsolve", "$fd_overflow", {old, atom_term("fail"), var_ref()}), 1);
  EXPECT_EQ(text_of(old), "error");
  EXPECT_EQ(query("domsolve", "$fd_dom_complement", {all, var_ref()}), 0);
}

}  // namespace
