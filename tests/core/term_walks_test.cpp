// The marking walks and the built-ins made of them: cycles, groundness,
// variables, freezing and subsumption.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/bind.h"
#include "core/mark_map.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_builtins.h"
#include "core/term_walks.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "support/engine_fixture.h"
#include "support/terms.h"
#include "support/term_graph.h"

namespace {

using namespace terms;

const lv_term F = atom(300), G = atom(301), A = atom(302), B = atom(303);

class WalkTest : public EngineTest {
 protected:
  void expect_no_marks() {
    const uint8_t* map = reinterpret_cast<const uint8_t*>(w->local_end);
    uint64_t bytes = static_cast<uint64_t>(w->local_end - w->area_start) / 4;
    for (uint64_t i = 0; i < bytes; i++) ASSERT_EQ(map[i], 0) << "mark byte " << i;
  }
  // X = f(X, ...): a cycle through a bound variable cell.
  lv_term cyclic(std::initializer_list<lv_term> more) {
    lv_term v = var(w);
    lv_term* h = w->H;
    h[0] = lv_make_functor(F, static_cast<unsigned>(more.size() + 1));
    h[1] = v;
    unsigned i = 2;
    for (lv_term m : more) h[i++] = m;
    w->H = h + i;
    set(v, lv_make_struct(h));
    return lv_make_struct(h);
  }
  // Runs a marking walk and the unmarking walk, and checks that the term's
  // graph and the mark map are as before.
  template <typename Walk>
  auto walked(lv_term t, Walk walk) {
    graph_printer before(w);
    std::string shown = before.print(t);
    auto result = walk(t);
    lv_term_unmark_walk(w, t);
    expect_no_marks();
    graph_printer after(w);
    EXPECT_EQ(after.print(t), shown);
    return result;
  }
  bool acyclic(lv_term t) {
    return walked(t, [&](lv_term u) { return lv_term_acyclic_walk(w, u); });
  }
  bool ground(lv_term t) {
    return walked(t, [&](lv_term u) { return lv_term_ground_walk(w, u); });
  }
  uint64_t size(lv_term t) {
    return walked(t, [&](lv_term u) { return lv_term_size(w, u); });
  }
};

TEST_F(WalkTest, AcyclicAndGround) {
  lv_term x = var(w);
  lv_term shared = fn(w, G, {A, B});
  // A cycle through a list head: L = [L|[]], the head cell bound in place.
  lv_term* pair = w->H;
  w->H += 2;
  pair[0] = lv_make_list(pair);
  pair[1] = LV_ATOM_NIL;
  // A cycle through a reference to an argument cell: S = f(_, g(Ref)) where
  // Ref refers to S's first argument cell, which is bound to S.
  lv_term* s = w->H;
  w->H += 3;
  s[0] = lv_make_functor(F, 2);
  lv_term inner = fn(w, G, {lv_make_ref(&s[1])});
  s[1] = lv_make_struct(s);
  s[2] = inner;
  // The same reference met first: T = h(Ref, S2) where Ref refers to S2's
  // first argument cell, bound to S2.
  lv_term* s2 = w->H;
  w->H += 2;
  s2[0] = lv_make_functor(G, 1);
  s2[1] = lv_make_struct(s2);
  lv_term via_ref = fn(w, F, {lv_make_ref(&s2[1]), lv_make_struct(s2)});
  lv_term tail = var(w);
  lv_term cyclic_list = list(w, {A, B}, tail);
  set(tail, cyclic_list);
  lv_term m = mutable_term(w, A);
  struct {
    const char* name;
    lv_term term;
    bool acyclic, ground;
  } cases[] = {
      {"atom", A, true, true},
      {"variable", x, true, false},
      {"structure", fn(w, F, {A, small(1)}), true, true},
      {"with a variable", fn(w, F, {A, list(w, {x})}), true, false},
      {"shared subterms", fn(w, F, {shared, shared, list(w, {shared})}), true, true},
      {"box", lv_make_integer_box(w, int64_t{1} << 61), true, true},
      {"X = f(X)", cyclic({}), false, true},
      {"X = f(X, Y)", cyclic({var(w)}), false, false},
      {"cycle deeper", fn(w, G, {A, cyclic({A})}), false, true},
      {"cyclic list", cyclic_list, false, true},
      {"cycle through a list head", lv_make_list(pair), false, true},
      {"cycle through a reference to an argument", lv_make_struct(s), false, true},
      {"that reference met first", via_ref, false, true},
      {"mutable", m, true, false},
      {"mutable inside", fn(w, F, {list(w, {A, m})}), true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(acyclic(c.term), c.acyclic) << c.name;
    EXPECT_EQ(ground(c.term), c.ground) << c.name;
    w->X[0] = c.term;
    EXPECT_EQ(prolog_acyclic(w), c.acyclic ? 1 : 0) << c.name;
    expect_no_marks();
  }
}

// Oracles over the heap graph, by plain recursion with sets: the cells
// reached (each once), the variables in order of first occurrence, and
// whether a cell or structure is met again on its own path.
struct graph_oracle {
  std::set<const lv_term*> cells;
  uint64_t box_cells = 0;
  std::vector<const lv_term*> variables;
  bool cyclic = false;
  std::set<const lv_term*> cells_on_path, structures_on_path;

  void follow(const lv_term* cell) {
    cells_on_path.insert(cell);
    word(*cell);
    cells_on_path.erase(cell);
  }
  void word(lv_term t) {
    if (lv_is_ref(t)) {
      const lv_term* cell = lv_ref_cell(t);
      if (cells_on_path.count(cell)) cyclic = true;
      if (!cells.insert(cell).second) return;
      if (*cell == t)
        variables.push_back(cell);
      else
        follow(cell);
      return;
    }
    if (lv_is_atomic(t)) return;
    const lv_term* s = lv_is_list(t) ? lv_list_cells(t) : lv_struct_cells(t);
    unsigned first = 0, last = 1;
    if (lv_is_struct(t)) {
      if (structures_on_path.count(s)) cyclic = true;
      if (!cells.insert(s).second) return;
      if (lv_is_box_header(s[0])) {
        box_cells += lv_box_value_words(s[0]) + 1;
        return;
      }
      first = 1;
      last = lv_functor_arity(s[0]);
      structures_on_path.insert(s);
    }
    for (unsigned i = first; i <= last; i++) {
      if (cells_on_path.count(&s[i])) cyclic = true;
      if (!cells.insert(&s[i]).second) continue;
      if (s[i] == lv_make_ref(&s[i]))
        variables.push_back(&s[i]);
      else
        follow(&s[i]);
    }
    if (lv_is_struct(t)) structures_on_path.erase(s);
  }
};

// Random graphs with sharing, cycles, references into argument cells and
// boxes: size, cycles and variables against the oracle.
TEST_F(WalkTest, RandomGraphsAgreeWithTheOracle) {
  std::mt19937_64 rng(7);
  auto pick = [&](uint64_t n) { return rng() % n; };
  int cyclic_seen = 0;
  for (int round = 0; round < 300; round++) {
    if (w->heap_hard_limit - w->H < 5000) heap_overflow(w, 5000, LV_LOCAL_RESERVE_CELLS);
    std::vector<lv_term*> cells;  // argument and list cells, to refer to and to bind
    constexpr lv_term IN_PLACE = 0;  // a fresh variable in the cell itself
    auto place = [&](lv_term* cell, lv_term t) {
      *cell = t == IN_PLACE ? lv_make_ref(cell) : t;
      cells.push_back(cell);
    };
    std::function<lv_term(int)> make = [&](int depth) -> lv_term {
      switch (depth <= 0 ? pick(5) : pick(9)) {
        case 0: return pick(2) ? A : small(static_cast<int64_t>(pick(5)));
        case 1: return IN_PLACE;
        case 2: return var(w);
        case 3: return lv_make_float_box(w, 1.5);
        case 4: return cells.empty() ? B : lv_make_ref(cells[pick(cells.size())]);
        case 5:
        case 6: {
          unsigned n = 1 + static_cast<unsigned>(pick(3));
          lv_term args[3];
          for (unsigned i = 0; i < n; i++) args[i] = make(depth - 1);
          lv_term* h = w->H;
          w->H = h + 1 + n;
          h[0] = lv_make_functor(F, n);
          for (unsigned i = 0; i < n; i++) place(&h[1 + i], args[i]);
          return lv_make_struct(h);
        }
        default: {
          lv_term l = pick(2) ? LV_ATOM_NIL : var(w);
          for (uint64_t k = pick(3); k > 0; k--) {
            lv_term head = make(depth - 1);
            lv_term* h = w->H;
            w->H = h + 2;
            place(&h[0], head);
            place(&h[1], l);
            l = lv_make_list(h);
          }
          return l;
        }
      }
    };
    lv_term t = make(4);
    if (t == IN_PLACE) t = var(w);
    // Bind some unbound cells to compound terms made so far, the whole term
    // among them: shared structure and cycles.
    for (int k = 0; k < 6 && !cells.empty(); k++) {
      lv_term* c = cells[pick(cells.size())];
      lv_term target = lv_deref(pick(2) ? t : *cells[pick(cells.size())]);
      if (*c == lv_make_ref(c) && !lv_is_atomic(target) && !lv_is_ref(target)) *c = target;
    }
    lv_term root = lv_deref(t);
    graph_oracle o;
    o.word(root);
    if (o.cyclic) cyclic_seen++;
    if (!lv_is_ref(root) && !lv_is_atomic(root)) {
      ASSERT_EQ(size(root), o.cells.size() + o.box_cells) << show(root);
    }
    ASSERT_EQ(acyclic(root), !o.cyclic) << show(root);
    lv_term list = LV_ATOM_NIL;
    lv_term* tail = &list;
    lv_term* mark = w->H;
    ASSERT_EQ(lv_collect_variables(w, root, &tail), 1);
    lv_term_unmark_walk(w, root);
    expect_no_marks();
    std::vector<const lv_term*> found;
    for (lv_term l = list; lv_is_list(l); l = lv_list_cells(l)[1]) found.push_back(lv_ref_cell(lv_list_cells(l)[0]));
    ASSERT_EQ(w->H, mark + 2 * found.size());
    // In a cyclic term "first occurrence" depends on where the cycle is cut:
    // there the variables must only be the same.
    if (!o.cyclic) {
      ASSERT_EQ(found, o.variables) << show(root);
    } else {
      ASSERT_EQ(std::set<const lv_term*>(found.begin(), found.end()),
                std::set<const lv_term*>(o.variables.begin(), o.variables.end()));
    }
  }
  EXPECT_GT(cyclic_seen, 20);
}

TEST_F(WalkTest, TermVariablesInOrderOfFirstOccurrence) {
  lv_term x = var(w), y = var(w), z = var(w);
  lv_term result = var(w);
  w->X[0] = fn(w, F, {x, fn(w, G, {y, x}), z});
  w->X[1] = result;
  ASSERT_EQ(prolog_term_variables_dfs(w), 1);
  EXPECT_EQ(lv_deref(result), lv_deref(result));
  lv_term l = lv_deref(result);
  std::vector<lv_term> got;
  for (; lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) got.push_back(lv_deref(lv_list_cells(l)[0]));
  EXPECT_EQ(l, LV_ATOM_NIL);
  EXPECT_EQ(got, (std::vector<lv_term>{x, y, z}));
  // A term without variables.
  w->X[0] = fn(w, F, {A});
  w->X[1] = result = var(w);
  ASSERT_EQ(prolog_term_variables_dfs(w), 1);
  EXPECT_EQ(lv_deref(result), LV_ATOM_NIL);
}

TEST_F(WalkTest, TermVariablesOfALocalVariable) {
  lv_term* frame = w->local_top;
  frame[0] = lv_make_ref(w->E);
  frame[1] = 0;
  frame[2] = lv_make_ref(&frame[2]);
  w->E = frame;
  w->local_top = frame + 3;
  lv_term result = var(w);
  lv_term* h = w->H;
  w->X[0] = lv_make_ref(&frame[2]);
  w->X[1] = result;
  ASSERT_EQ(prolog_term_variables_dfs(w), 1);
  lv_term v = lv_deref(frame[2]);
  ASSERT_TRUE(lv_is_ref(v));
  EXPECT_TRUE(lv_ref_cell(v) >= h && lv_ref_cell(v) < w->H) << "a new heap variable";
  EXPECT_EQ(show(result), "[_]");
  EXPECT_EQ(lv_deref(lv_list_cells(lv_deref(result))[0]), v);
  // No attributed variables there.
  w->X[0] = lv_make_ref(&frame[2]);
  w->X[1] = result = var(w);
  ASSERT_EQ(prolog_term_attributed_variables_dfs(w), 1);
  EXPECT_EQ(lv_deref(result), LV_ATOM_NIL);
}

// When the heap runs short the walk still completes and the built-in grows
// the heap and tries again.
TEST_F(WalkTest, TermVariablesGrowTheHeap) {
  const int n = 3000;
  if (w->heap_hard_limit - w->H < n + 10) heap_overflow(w, n + 10, LV_LOCAL_RESERVE_CELLS);
  lv_term* h = w->H;
  h[0] = lv_make_functor(F, 200);
  lv_term args = lv_make_struct(h);
  w->H += 201;
  for (int i = 1; i <= 200; i++) h[i] = lv_make_ref(&h[i]);
  w->X[0] = args;
  w->X[1] = var(w);
  // Fill the heap up to just below the limit.
  w->H = w->heap_hard_limit - 200;
  lv_term* limit_before = w->heap_hard_limit;
  ASSERT_EQ(prolog_term_variables_dfs(w), 1);
  EXPECT_NE(w->heap_hard_limit, limit_before);
  lv_term l = lv_deref(w->X[1]);
  int count = 0;
  for (; lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
    count++;
    EXPECT_EQ(lv_deref(lv_list_cells(l)[0]), lv_make_ref(lv_struct_cells(lv_deref(w->X[0])) + count));
  }
  EXPECT_EQ(count, 200);
  expect_no_marks();
}

TEST_F(WalkTest, AttributedVariables) {
  lv_term x = var(w), a1 = attvar(w), a2 = attvar(w);
  lv_term result = var(w);
  w->X[0] = fn(w, F, {a2, x, list(w, {a1, a2})});
  w->X[1] = result;
  ASSERT_EQ(prolog_term_attributed_variables_dfs(w), 1);
  lv_term l = lv_deref(result);
  std::vector<lv_term> got;
  for (; lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) got.push_back(lv_deref(lv_list_cells(l)[0]));
  EXPECT_EQ(got, (std::vector<lv_term>{a2, a1}));
}

TEST_F(WalkTest, FreezingGivesEachVariableAMarker) {
  lv_term x = var(w), y = var(w);
  lv_term t = fn(w, F, {y, list(w, {x, y}), x});
  lv_term* tr = w->TR;
  lv_freeze_variables(w, t);
  lv_term_unmark_walk(w, t);
  expect_no_marks();
  EXPECT_EQ(*lv_ref_cell(y), lv_frozen_marker(0));
  EXPECT_EQ(*lv_ref_cell(x), lv_frozen_marker(1));
  ASSERT_EQ(w->TR, tr + 2);
  EXPECT_EQ(tr[0], y);
  EXPECT_EQ(tr[1], x);
  // A variable frozen at the root is unmarked too.
  lv_term z = var(w);
  lv_freeze_variables(w, z);
  lv_term_unmark_walk(w, z);
  expect_no_marks();
}

TEST_F(WalkTest, SubsumesLeavesNoBindings) {
  struct {
    const char* name;
    std::function<std::pair<lv_term, lv_term>()> make;
    int result;
  } cases[] = {
      {"f(A, A) / f(B, C)", [&] { lv_term a = var(w), b = var(w), c = var(w); return std::pair{fn(w, F, {a, a}), fn(w, F, {b, c})}; }, 0},
      {"f(A, B) / f(C, C)", [&] { lv_term a = var(w), b = var(w), c = var(w); return std::pair{fn(w, F, {a, b}), fn(w, F, {c, c})}; }, 1},
      {"X / f(Y)", [&] { lv_term x = var(w), y = var(w); return std::pair{x, fn(w, F, {y})}; }, 1},
      {"f(a) / f(X)", [&] { lv_term x = var(w); return std::pair{fn(w, F, {A}), fn(w, F, {x})}; }, 0},
      {"f(X) / f(X)", [&] { lv_term x = var(w); return std::pair{fn(w, F, {x}), fn(w, F, {x})}; }, 1},
      {"g(X, Y) / g(Y, X)", [&] { lv_term x = var(w), y = var(w); return std::pair{fn(w, G, {x, y}), fn(w, G, {y, x})}; }, 0},
      {"f(X, b) / f(a, b)", [&] { lv_term x = var(w); return std::pair{fn(w, F, {x, B}), fn(w, F, {A, B})}; }, 1},
      {"attributed / f(Y)", [&] { lv_term x = attvar(w), y = var(w); return std::pair{x, fn(w, F, {y})}; }, 1},
  };
  for (const auto& c : cases) {
    auto [general, specific] = c.make();
    w->X[0] = general;
    w->X[1] = specific;
    graph_printer before(w);
    std::string shown = before.print(general) + " " + before.print(specific);
    lv_term* b = w->B;
    lv_term* tr = w->TR;
    int32_t wakeups = w->wakeup_count;
    EXPECT_EQ(prolog_subsumes_chk(w), c.result) << c.name;
    graph_printer after(w);
    EXPECT_EQ(after.print(general) + " " + after.print(specific), shown) << c.name;
    EXPECT_EQ(w->B, b);
    EXPECT_EQ(w->TR, tr);
    EXPECT_EQ(w->HB, reinterpret_cast<lv_term*>(b[LV_CP_H]));
    EXPECT_EQ(w->wakeup_count, wakeups);
    expect_no_marks();
  }
}

TEST_F(WalkTest, UnifyWithOccursCheck) {
  struct {
    const char* name;
    std::function<std::pair<lv_term, lv_term>()> make;
    int result;
  } cases[] = {
      {"X = f(X)", [&] { lv_term x = var(w); return std::pair{x, fn(w, F, {x})}; }, 0},
      {"X = f(Y)", [&] { lv_term x = var(w), y = var(w); return std::pair{x, fn(w, F, {y})}; }, 1},
      {"f(X, Y) = f(Y, g(X))", [&] { lv_term x = var(w), y = var(w); return std::pair{fn(w, F, {x, y}), fn(w, F, {y, fn(w, G, {x})})}; }, 0},
      {"X = Y", [&] { lv_term x = var(w), y = var(w); return std::pair{x, y}; }, 1},
      {"f(a) = f(b)", [&] { return std::pair{fn(w, F, {A}), fn(w, F, {B})}; }, 0},
  };
  for (const auto& c : cases) {
    auto [x, y] = c.make();
    w->X[0] = x;
    w->X[1] = y;
    EXPECT_EQ(prolog_unify_with_occurs_check(w), c.result) << c.name;
    expect_no_marks();
  }
}

}  // namespace
