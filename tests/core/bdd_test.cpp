// The decision-diagram node tables and their built-ins: canonical nodes,
// hash-consing, backtracking, rebuilds in creation order, and the tables
// across collections and stack shifts.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "core/bdd_builtins.h"
#include "core/bdd_tables.h"
#include "core/gc.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "support/engine_fixture.h"
#include "support/env.h"
#include "support/random_roots.h"
#include "support/terms.h"

namespace {

using namespace terms;

const lv_term T0 = small(0), T1 = small(1);

class BddTest : public EngineTest {
 protected:
  ScopedEnv env{{"PROLOGINCSIZE", "64K"}, {"PROLOGINITSIZE", "20K"}, {"PROLOGKEEPSIZE", "0"}};

  void TearDown() override {
    lv_shift_set_always_move(0);
    EngineTest::TearDown();
  }

  lv_term& ref(lv_term_ref r) { return lv_term_ref_cell(w, r); }

  // Runs a built-in with its arguments in X0, X1, ...
  int call(int (*builtin)(lv_worker*), std::initializer_list<lv_term> args) {
    unsigned i = 0;
    for (lv_term a : args) w->X[i++] = a;
    return builtin(w);
  }
  // The value an output argument received.
  lv_term out(unsigned i) { return lv_deref(w->X[i]); }

  lv_term build(lv_term var, lv_term low, lv_term high) {
    EXPECT_EQ(call(prolog_bdd_build, {var, low, high, terms::var(w)}), 1);
    return out(3);
  }
  lv_term negate(lv_term d) {
    EXPECT_EQ(call(prolog_bdd_negate, {d, terms::var(w)}), 1);
    return out(1);
  }
  uint64_t count(unsigned kind) { return lv_bdd_table_of(w, kind)->count; }
};

TEST_F(BddTest, NodesAreCanonicalAndHashConsed) {
  lv_term x = build(small(1), T1, T0);  // if v1 then 0 else 1
  ASSERT_EQ(*lv_struct_cells(x), LV_FUNCTOR_BDD_POS);
  lv_term* top = w->H;
  EXPECT_EQ(build(small(1), T1, T0), x);  // found, not made
  EXPECT_EQ(w->H, top + 1);               // the output variable only
  EXPECT_EQ(call(prolog_bdd_equiv, {x, build(small(1), T1, T0)}), 1);

  // A Low edge of 0 is stored as the complement: '$bdd_neg'(v, 1, 0), the
  // complement of x.
  lv_term y = build(small(1), T0, T1);
  EXPECT_EQ(*lv_struct_cells(y), LV_FUNCTOR_BDD_NEG);
  EXPECT_EQ(show(y), "a159(1,1,0)");
  EXPECT_EQ(negate(y), x);
  EXPECT_EQ(negate(negate(y)), y);
  EXPECT_EQ(negate(T0), T1);

  // A '$bdd_neg' Low edge too: the node is stored with both children
  // complemented.
  lv_term z = build(small(0), y, T1);
  EXPECT_EQ(*lv_struct_cells(z), LV_FUNCTOR_BDD_NEG);
  EXPECT_EQ(lv_struct_cells(z)[2], x);
  EXPECT_EQ(lv_struct_cells(z)[3], T0);
  ASSERT_EQ(call(prolog_bdd_parts, {z, var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(1), small(0));
  EXPECT_EQ(out(2), y);  // the meaning's children
  EXPECT_EQ(out(3), T1);

  // Identical children: no node.
  top = w->H;
  EXPECT_EQ(build(small(5), x, x), x);
  EXPECT_EQ(w->H, top + 1);  // the output variable only

  // Wrong kinds fail.
  EXPECT_EQ(call(prolog_bdd_build, {var(w), T0, T1, var(w)}), 0);
  EXPECT_EQ(call(prolog_bdd_build, {small(1), atom(300), T1, var(w)}), 0);
  EXPECT_EQ(call(prolog_bdd_parts, {T1, var(w), var(w), var(w)}), 0);
  EXPECT_EQ(call(prolog_bdd_negate, {atom(300), var(w)}), 0);
}

TEST_F(BddTest, PairClassification) {
  lv_term x = build(small(1), T1, T0);
  lv_term nx = negate(x);
  lv_term u = build(small(1), T1, build(small(2), T1, T0));
  lv_term v = build(small(2), T1, T0);
  struct {
    lv_term a, b;
    int type;
    bool antiv;
    int transv;
  } cases[] = {
      {x, x, -1, false, 0},  {T0, T1, 1, true, 0},  {T0, x, 3, false, 0}, {T1, T0, 0, true, 0},
      {T1, x, 2, false, 0},  {x, T0, 4, false, 0},  {x, T1, 5, false, 0}, {x, nx, 6, true, 0},
      {x, u, 7, false, -1},  {u, x, 7, false, 1},   {x, v, 7, false, 0},  {T0, T0, -1, false, 0},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(call(prolog_bdd_type, {c.a, c.b, var(w)}), 1);
    EXPECT_EQ(out(2), small(c.type)) << show(c.a) << " " << show(c.b);
    EXPECT_EQ(call(prolog_bdd_antiv, {c.a, c.b}), c.antiv ? 1 : 0) << show(c.a) << " " << show(c.b);
    ASSERT_EQ(call(prolog_bdd_transv, {c.a, c.b, var(w)}), 1);
    EXPECT_EQ(out(2), small(c.transv)) << show(c.a) << " " << show(c.b);
  }
  EXPECT_EQ(call(prolog_bdd_type, {atom(300), T0, var(w)}), 0);
}

// Backtracking past the creation of a node takes it out of the table; the
// same node built again is a new term. The entry goes at the next lookup,
// or stays as long as the heap has grown past it again meanwhile, matching
// nothing.
TEST_F(BddTest, BacktrackingPastACreationForgetsTheNode) {
  for (int fill : {0, 3}) {
    lv_term var = small(1 + fill);
    lv_term* mark = w->H;
    lv_term x = build(var, T1, T0);
    uint64_t entries = count(LV_BDD_NODES);
    w->H = mark;  // as backtracking does
    for (int i = 0; i < fill; i++) terms::var(w);
    lv_term again = build(var, T1, T0);
    EXPECT_EQ(lv_struct_cells(again), w->H - 4) << fill;  // made now
    EXPECT_EQ(again == x, fill == 0) << fill;             // where the old one was, or above
    EXPECT_EQ(build(var, T1, T0), again) << fill;
    if (fill == 0) {
      EXPECT_EQ(count(LV_BDD_NODES), entries);
    }
  }
}

// The table grows by rebuilds; a rebuild keeps the creation order, so a
// later cut-back still takes exactly the newest entries.
TEST_F(BddTest, RebuildsKeepTheCreationOrder) {
  std::vector<lv_term*> before;
  std::vector<lv_term> nodes;
  for (int i = 0; i < 100; i++) {
    before.push_back(w->H);
    nodes.push_back(build(small(i), T1, T0));
  }
  ASSERT_GT(lv_bdd_table_of(w, LV_BDD_NODES)->mask + 1, LV_BDD_INITIAL_CAPACITY);
  w->H = before[60];
  lv_term* top = w->H;
  for (int i = 0; i < 60; i++) EXPECT_EQ(build(small(i), T1, T0), nodes[i]) << i;
  EXPECT_EQ(count(LV_BDD_NODES), 60u);
  EXPECT_EQ(w->H, top + 60);  // output variables only: no node was made again
}

TEST_F(BddTest, MemoAndSubstitutionTables) {
  lv_term x = build(small(1), T1, T0);
  lv_term y = build(small(2), x, T0);
  // The memo table: the first store enters, the next finds.
  ASSERT_EQ(call(prolog_bdd_store, {x, y, small(7), y}), 1);
  ASSERT_EQ(call(prolog_bdd_store, {x, y, small(7), var(w)}), 1);
  EXPECT_EQ(out(3), y);
  EXPECT_EQ(call(prolog_bdd_store, {x, y, small(7), x}), 0);
  EXPECT_EQ(call(prolog_bdd_store, {x, var(w), small(7), x}), 0);
  // A local variable stored is moved to the heap first.
  lv_term* frame = push_frame(w, {0});
  frame[LV_FRAME_Y] = lv_make_ref(&frame[LV_FRAME_Y]);
  ASSERT_EQ(call(prolog_bdd_store, {y, y, y, lv_make_ref(&frame[LV_FRAME_Y])}), 1);
  lv_term stored = lv_bdd_list(w, LV_BDD_MEMO)->value;
  EXPECT_TRUE(lv_ref_cell(stored) < w->H);
  EXPECT_EQ(lv_deref(frame[LV_FRAME_Y]), stored);

  // The substitution table.
  ASSERT_EQ(call(prolog_bdd_subst_case, {y, var(w), var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(1), small(2));
  EXPECT_EQ(out(2), small(2));
  EXPECT_EQ(out(3), x);
  EXPECT_EQ(out(4), T0);
  ASSERT_EQ(call(prolog_bdd_subst_store, {y, T1}), 1);
  ASSERT_EQ(call(prolog_bdd_subst_case, {y, var(w), var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(1), small(4));
  EXPECT_EQ(out(2), T1);
  ASSERT_EQ(call(prolog_bdd_subst_store, {y, var(w)}), 1);
  EXPECT_EQ(out(1), T1);
  EXPECT_EQ(call(prolog_bdd_subst_reset, {}), 1);
  EXPECT_EQ(count(LV_BDD_SUBST), 0u);
  ASSERT_EQ(call(prolog_bdd_subst_case, {negate(y), var(w), var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(1), small(3));
  ASSERT_EQ(call(prolog_bdd_subst_case, {T0, var(w), var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(1), small(0));
  EXPECT_EQ(call(prolog_bdd_subst_store, {T0, T1}), 0);
}

// Backtracking below a substitution entry and writing the same node word
// at its place again, with another word after it: the stale entry does not
// answer, and its value (a node in memory reused since) is not handed out.
TEST_F(BddTest, ASubstitutionEntryBacktrackedOverIsNotReused) {
  lv_term y = build(small(2), T1, T0);
  lv_term* mark = w->H;
  lv_term z = build(small(3), T1, T0);
  ASSERT_EQ(call(prolog_bdd_subst_store, {y, z}), 1);
  lv_term* pair = lv_list_cells(lv_bdd_list(w, LV_BDD_SUBST)->term);
  ASSERT_GE(pair, mark);
  w->H = mark;  // backtrack without a lookup
  while (w->H < pair) *w->H++ = small(0);
  pair[0] = y;  // a list cell [y|0] where the pair was
  pair[1] = T0;
  w->H = pair + 2;
  ASSERT_EQ(call(prolog_bdd_subst_case, {y, var(w), var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(1), small(2));  // a node, not a stored substitution
  ASSERT_EQ(call(prolog_bdd_subst_store, {y, T1}), 1);
  ASSERT_EQ(call(prolog_bdd_subst_case, {y, var(w), var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(1), small(4));
  EXPECT_EQ(out(2), T1);
}

TEST_F(BddTest, IfThenElseCases) {
  lv_term x1 = build(small(1), T1, T0);
  lv_term x2 = build(small(2), T1, T0);
  lv_term n1 = negate(x1);
  ASSERT_EQ(call(prolog_bdd_univ_case, {x2, n1, T1, var(w), var(w), var(w), var(w), var(w), var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(3), small(16 * 2 + 4 * 3 + 1));
  EXPECT_EQ(out(4), small(1));                  // the least variable
  EXPECT_EQ(out(5), x2);                        // x2 is not on it
  EXPECT_EQ(out(6), x2);
  EXPECT_EQ(out(7), T0);                        // n1's meaning: 0 for v1 = 0,
  EXPECT_EQ(out(8), T1);                        // 1 for v1 = 1
  EXPECT_EQ(out(9), T1);
  EXPECT_EQ(out(10), T1);
  ASSERT_EQ(call(prolog_bdd_univ_case, {T0, T1, T0, var(w), var(w), var(w), var(w), var(w), var(w), var(w), var(w)}), 1);
  EXPECT_EQ(out(3), small(4));
  EXPECT_EQ(out(4), LV_ATOM_NIL);
  EXPECT_EQ(call(prolog_bdd_univ_case, {T0, atom(300), T0, var(w), var(w), var(w), var(w), var(w), var(w), var(w), var(w)}), 0);
}

TEST_F(BddTest, VectorSizeCountsSharedNodesOnce) {
  lv_term x = build(small(3), T1, T0);
  lv_term y = build(small(2), x, T0);
  lv_term z = build(small(1), y, x);
  lv_term nz = negate(z);
  ASSERT_EQ(call(prolog_bdd_vector_size, {list(w, {z, y, T1, nz}), var(w)}), 1);
  EXPECT_EQ(out(1), small(4));  // z, y, x and nz
  for (lv_term n : {x, y, z, nz}) EXPECT_TRUE(lv_bdd_is_node(n));  // marks undone
  EXPECT_EQ(call(prolog_bdd_vector_size, {list(w, {z, atom(300)}), var(w)}), 0);
  for (lv_term n : {x, y, z}) EXPECT_TRUE(lv_bdd_is_node(n));
  EXPECT_EQ(call(prolog_bdd_vector_size, {cons(w, z, var(w)), var(w)}), 0);
  ASSERT_EQ(call(prolog_bdd_vector_size, {LV_ATOM_NIL, var(w)}), 1);
  EXPECT_EQ(out(1), small(0));
}

// Nodes held by the program survive collections and moves of the heap, and
// the tables still find them: building one again yields the same term.
TEST_F(BddTest, TablesSurviveCollectionsAndShifts) {
  const int n = 300;
  lv_term_ref held = LV_new_term_refs(n);
  for (int i = 0; i < n; i++) {
    make_room(w, 64);
    lv_term low = i > 0 && i % 3 != 0 && ref(held + i - 1) != LV_ATOM_NIL ? ref(held + i - 1) : T1;
    lv_term node = build(small(i % 17), low, T0);
    ref(held + i) = i % 5 == 4 ? LV_ATOM_NIL : node;  // every fifth is garbage
    build(small(1000 + i), T1, T0);                      // garbage
  }
  struct step {
    const char* name;
    void (*run)(lv_worker*);
  } steps[] = {
      {"full collection", [](lv_worker* w) {
         lv_newest_marked_choice(w);
         w->marked_choice = w->choice_base - 10;
         lv_gc(w);
       }},
      {"stack shift", [](lv_worker* w) {
         lv_shift_set_always_move(1);
         heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
         lv_shift_set_always_move(0);
       }},
      {"generational collection", [](lv_worker* w) {
         lv_newest_marked_choice(w);
         lv_gc(w);
       }},
  };
  for (const step& s : steps) {
    for (int i = 0; i < 20; i++) build(small(5000 + i), T1, T0);  // more garbage
    s.run(w);
    EXPECT_EQ(lv_gc_check(w), 0) << s.name;
    uint64_t nodes_before = count(LV_BDD_NODES);
    lv_term* top = w->H;
    for (int i = 0; i < n; i++) {
      lv_term node = ref(held + i);
      if (node == LV_ATOM_NIL) continue;
      const lv_term* c = lv_struct_cells(node);
      ASSERT_EQ(lv_bdd_node(w, c[0], c[1], c[2], c[3]), node) << s.name << " " << i;
    }
    EXPECT_EQ(w->H, top) << s.name;
    EXPECT_EQ(count(LV_BDD_NODES), nodes_before) << s.name;
    lv_term first = ref(held + 1);
    EXPECT_EQ(build(lv_struct_cells(first)[1], lv_struct_cells(first)[2], T0), first) << s.name;
  }
}

// A stack shift drops the entries of terms above the heap top and hashes the
// others again; the terminals stored as memo values stay as they are.
TEST_F(BddTest, AShiftDropsEntriesAboveTheHeapTop) {
  lv_term x = build(small(1), T1, T0);
  lv_term_ref r = LV_new_term_ref();
  ref(r) = x;
  ASSERT_EQ(call(prolog_bdd_store, {x, small(2), small(3), T1}), 1);
  ASSERT_EQ(call(prolog_bdd_store, {x, small(2), small(4), T0}), 1);
  lv_term* mark = w->H;
  build(small(2), T1, T0);
  build(small(3), T1, T0);
  w->H = mark;  // backtracking, with no lookup since
  ASSERT_EQ(count(LV_BDD_NODES), 3u);
  lv_gc_setting.mode = LV_ATOM_OFF;  // a move without a collection
  lv_shift_set_always_move(1);
  heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
  lv_gc_setting.mode = LV_ATOM_ON;
  EXPECT_EQ(count(LV_BDD_NODES), 1u);
  EXPECT_EQ(build(small(1), T1, T0), ref(r));
  ASSERT_EQ(call(prolog_bdd_store, {ref(r), small(2), small(3), var(w)}), 1);
  EXPECT_EQ(out(3), T1);
  ASSERT_EQ(call(prolog_bdd_store, {ref(r), small(2), small(4), var(w)}), 1);
  EXPECT_EQ(out(3), T0);
}

}  // namespace
