// Stored term blocks, $copy_term and the size walk.
#include <gtest/gtest.h>

#include <cstring>

#include "core/atoms.h"
#include "core/copy_term.h"
#include "core/mark_map.h"
#include "core/predefined_atoms.h"
#include "core/stored_block.h"
#include "core/term_walks.h"
#include "core/unify.h"
#include "support/engine_fixture.h"
#include "support/terms.h"

namespace {

using namespace terms;

const lv_term F = atom(300), G = atom(301), A = atom(302), B = atom(303);

class StoreTest : public EngineTest {
 protected:
  // No mark may stay behind after an operation.
  void expect_no_marks() {
    const uint8_t* map = reinterpret_cast<const uint8_t*>(w->local_end);
    uint64_t bytes = static_cast<uint64_t>(w->H - w->area_start) / 4 + 1;
    for (uint64_t i = 0; i < bytes; i++) ASSERT_EQ(map[i], 0) << "mark byte " << i;
  }
  lv_term round_trip(lv_term t) {
    w->X[0] = t;
    lv_stored_block* block = lv_store_term(w, 0);
    lv_term back = lv_block_to_heap(w, block, 0, 0);
    lv_free_stored_block(block);
    return back;
  }
};

TEST_F(StoreTest, SharedVariablesSurviveAndTheOriginalStaysUnbound) {
  lv_term x = var(w), y = var(w);
  lv_term stored = cons(w, fn(w, F, {x, x, y}), LV_ATOM_NIL);
  lv_term* tr = w->TR;
  lv_term back = round_trip(stored);
  EXPECT_TRUE(lv_is_unbound_cell(lv_ref_cell(x)));
  EXPECT_TRUE(lv_is_unbound_cell(lv_ref_cell(y)));
  EXPECT_EQ(w->TR, tr);
  EXPECT_EQ(w->pair_index, LV_PAIR_INDEX_REST);
  const lv_term* args = lv_struct_cells(lv_deref(lv_list_cells(back)[0]));
  EXPECT_EQ(lv_deref(args[1]), lv_deref(args[2]));
  EXPECT_NE(lv_deref(args[1]), lv_deref(args[3]));
  EXPECT_TRUE(lv_is_ref(lv_deref(args[1])));
  EXPECT_NE(lv_deref(args[1]), x);  // a fresh variable
  expect_no_marks();
}

TEST_F(StoreTest, BoxesAreStoredWhole) {
  lv_term big = lv_make_integer_box(w, int64_t{1} << 62);
  lv_term pi = lv_make_float_box(w, 3.25);
  lv_term back = round_trip(cons(w, fn(w, F, {big, pi, big}), small(7)));
  lv_term head = lv_deref(lv_list_cells(back)[0]);
  EXPECT_EQ(show(head), show(fn(w, F, {big, pi, big})));
  EXPECT_EQ(cunify(w, head, fn(w, F, {big, pi, big})), 1);
  EXPECT_EQ(lv_deref(lv_list_cells(back)[1]), small(7));
}

TEST_F(StoreTest, RootPairIsTheBlocksLastTwoCells) {
  lv_term x = var(w);
  w->X[0] = cons(w, x, fn(w, G, {A}));
  lv_stored_block* block = lv_store_term(w, 0);
  uint64_t n = lv_block_cell_count(block);
  EXPECT_EQ(block->size, 128 + 8 * n);
  const lv_term* cells = lv_block_cells(block);
  // The head, an unbound variable, holds its own offset; the tail points
  // to the structure at the start of the cells.
  EXPECT_EQ(cells[n - 2], (n - 2) * 8);
  EXPECT_EQ(cells[n - 1], 0u | LV_TAG_STRUCT);
  EXPECT_EQ(cells[0], lv_make_functor(G, 1));
  EXPECT_EQ(block->links[0] | block->links[1] | block->links[2] | block->db_d, 0u);
  lv_free_stored_block(block);
}

TEST_F(StoreTest, CyclicTermsAndMutables) {
  lv_term x = var(w);
  lv_term cyclic = fn(w, F, {x, mutable_term(w, A)});
  set(x, cyclic);
  lv_struct_cells(lv_struct_cells(cyclic)[2])[2] = small(99);  // a stamp
  lv_term back = round_trip(cons(w, cyclic, LV_ATOM_NIL));
  lv_term copy = lv_deref(lv_list_cells(back)[0]);
  const lv_term* cells = lv_struct_cells(copy);
  EXPECT_EQ(lv_deref(cells[1]), copy);
  EXPECT_EQ(lv_struct_cells(lv_deref(cells[2]))[2], small(0));
  EXPECT_EQ(lv_struct_cells(lv_struct_cells(cyclic)[2])[2], small(99));
  expect_no_marks();
}

TEST_F(StoreTest, KeysOfStoredLists) {
  struct {
    lv_term stored;
    lv_term key;
  } cases[] = {
      {cons(w, fn(w, F, {A, B}), LV_ATOM_NIL), A},
      {cons(w, fn(w, F, {fn(w, G, {A, B})}), LV_ATOM_NIL), lv_make_functor(G, 2)},
      {cons(w, fn(w, F, {list(w, {A})}), LV_ATOM_NIL), LV_FUNCTOR_DOT_2},
      {cons(w, fn(w, F, {var(w)}), LV_ATOM_NIL), 0},
      {cons(w, A, LV_ATOM_NIL), 0},
  };
  for (const auto& c : cases) {
    w->X[0] = c.stored;
    lv_stored_block* block = lv_store_term(w, 0);
    EXPECT_EQ(block->key, c.key) << show(c.stored);
    lv_free_stored_block(block);
  }
}

TEST_F(StoreTest, FastArraysAreLaidOutContiguously) {
  // '$array1d'(3, [a, X, b]) built with its list cells scattered.
  lv_term x = var(w);
  lv_term c3 = cons(w, B, LV_ATOM_NIL);
  lv_term filler = fn(w, G, {A});
  lv_term c2 = cons(w, x, c3);
  lv_term c1 = cons(w, A, c2);
  lv_term array = fn(w, LV_ATOM_ARRAY1D, {small(3), c1});
  lv_term back = round_trip(cons(w, fn(w, F, {array, filler}), LV_ATOM_NIL));
  lv_term copy = lv_deref(lv_struct_cells(lv_deref(lv_list_cells(back)[0]))[1]);
  const lv_term* cells = lv_struct_cells(copy);
  // Element i lies at word 2i + 1 after the functor.
  EXPECT_EQ(lv_deref(cells[3]), A);
  EXPECT_TRUE(lv_is_ref(lv_deref(cells[5])));
  EXPECT_EQ(lv_deref(cells[7]), B);
  EXPECT_EQ(cells[8], LV_ATOM_NIL);
  EXPECT_EQ(cells[2], lv_make_list(&cells[3]));
  EXPECT_EQ(show(copy), show(array));
}

TEST_F(StoreTest, CopyTermKeepsSharingAndCycles) {
  lv_term x = var(w), y = var(w);
  lv_term shared = fn(w, G, {y});
  lv_term t = fn(w, F, {x, shared, shared, x, lv_make_integer_box(w, int64_t{1} << 61)});
  w->X[0] = t;
  w->X[1] = var(w);
  lv_term copy_var = w->X[1];
  ASSERT_EQ(prolog_copy_term(w), 1);
  lv_term copy = lv_deref(copy_var);
  const lv_term* c = lv_struct_cells(copy);
  EXPECT_EQ(lv_deref(c[1]), lv_deref(c[4]));
  EXPECT_NE(lv_deref(c[1]), x);
  EXPECT_EQ(lv_deref(c[2]), lv_deref(c[3]));  // one copy of the shared subterm
  EXPECT_NE(lv_deref(c[2]), shared);
  EXPECT_EQ(lv_deref(c[5]), lv_struct_cells(t)[5]);  // boxes are shared
  EXPECT_TRUE(lv_is_unbound_cell(lv_ref_cell(x)));

  lv_term z = var(w);
  lv_term cyclic = list(w, {A, B}, z);
  set(z, cyclic);
  w->X[0] = cyclic;
  w->X[1] = var(w);
  copy_var = w->X[1];
  ASSERT_EQ(prolog_copy_term(w), 1);
  lv_term cc = lv_deref(copy_var);
  EXPECT_NE(cc, cyclic);
  lv_term second = lv_deref(lv_list_cells(cc)[1]);
  EXPECT_EQ(lv_deref(lv_list_cells(second)[1]), cc);
  EXPECT_EQ(w->pair_index, LV_PAIR_INDEX_REST);
  expect_no_marks();
}

TEST_F(StoreTest, CopyTermOfAVariableBindsNothing) {
  w->X[0] = var(w);
  w->X[1] = var(w);
  lv_term copy = w->X[1];
  ASSERT_EQ(prolog_copy_term(w), 1);
  EXPECT_TRUE(lv_is_ref(lv_deref(copy)));
  w->X[0] = A;
  EXPECT_EQ(prolog_copy_term(w), 1);
  EXPECT_EQ(lv_deref(copy), A);
}

TEST_F(StoreTest, ReferencesToListHeadsKeepTheirValues) {
  // [X|T] where another argument refers to the head cell itself.
  lv_term* pair = w->H;
  lv_term l = lv_make_skeleton(w, LV_FUNCTOR_DOT_2);
  lv_term head_ref = lv_make_ref(&pair[0]);
  set(lv_make_ref(&pair[1]), LV_ATOM_NIL);
  lv_term t = fn(w, F, {head_ref, l, head_ref});
  w->X[0] = t;
  w->X[1] = var(w);
  lv_term copy_var = w->X[1];
  ASSERT_EQ(prolog_copy_term(w), 1);
  const lv_term* c = lv_struct_cells(lv_deref(copy_var));
  lv_term copied_list = lv_deref(c[2]);
  EXPECT_EQ(lv_deref(c[1]), lv_deref(lv_list_cells(copied_list)[0]));
  EXPECT_EQ(lv_deref(c[3]), lv_deref(c[1]));
  EXPECT_TRUE(lv_is_ref(lv_deref(c[1])));
  EXPECT_TRUE(lv_is_unbound_cell(&pair[0]));
  expect_no_marks();
}

TEST_F(StoreTest, TermSizeCountsSharedCellsOnce) {
  lv_term shared = fn(w, G, {A, B});  // 3 cells
  struct {
    lv_term term;
    uint64_t size;
  } cases[] = {
      {A, 1},
      {var(w), 1},
      {shared, 3},
      {fn(w, F, {shared, shared}), 3 + 3},
      {list(w, {A, B}), 4},
      {lv_make_integer_box(w, int64_t{1} << 61), 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lv_term_size(w, c.term), c.size) << show(c.term);
    lv_term_unmark_walk(w, c.term);
    expect_no_marks();
  }
  lv_term x = var(w);
  lv_term cyclic = fn(w, F, {x, x});
  set(x, cyclic);
  EXPECT_GE(lv_term_size(w, cyclic), 3u);
  lv_term_unmark_walk(w, cyclic);
  expect_no_marks();
  EXPECT_EQ(lv_struct_cells(cyclic)[1], x);  // every reversed pointer restored
  lv_term y = var(w);
  lv_term cyclic_list = list(w, {A}, y);
  set(y, cyclic_list);
  EXPECT_GE(lv_term_size(w, cyclic_list), 2u);
  lv_term_unmark_walk(w, cyclic_list);
  expect_no_marks();
  EXPECT_EQ(lv_list_cells(cyclic_list)[1], y);
}

}  // namespace
