// Heap and choice-stack overflow: re-dividing and moving the stack blocks,
// and the relocation of every root, checked against printed forms of the
// term graphs taken before each shift.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bind.h"
#include "core/errors.h"
#include "core/fd_hooks.h"
#include "core/gc.h"
#include "core/heap_parse.h"
#include "core/mark_map.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/startup_records.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "support/engine_fixture.h"
#include "support/env.h"
#include "support/random_roots.h"
#include "support/terms.h"

namespace {

using namespace terms;

const lv_term F = atom(300), G = atom(301), A = atom(302), B = atom(303);

class ShiftTest : public EngineTest {
 protected:
  // Small operating-system blocks, released at once, so that the stacks
  // really move and stale pointers fault.
  ScopedEnv env{{"PROLOGINCSIZE", "64K"}, {"PROLOGINITSIZE", "20K"}, {"PROLOGKEEPSIZE", "0"}};

  void TearDown() override {
    lv_shift_set_always_move(0);
    lv_gc_setting = {LV_ATOM_ON, LV_ATOM_OFF, 1000};
    EngineTest::TearDown();
  }

  lv_term& ref(lv_term_ref r) { return lv_term_ref_cell(w, r); }

  void room(int64_t cells) { make_room(w, cells); }
  lv_term* push_frame(std::initializer_list<lv_term> ys) { return terms::push_frame(w, ys); }
  void push_choice(unsigned n) { terms::push_choice(w, n); }

  // Every pointer word of the heap, the trail and the choicepoints lies in
  // the live stacks, and the choicepoints' saved tops lie in their stacks.
  void check_stacks() {
    auto in_heap = [&](lv_term t) {
      const lv_term* p = reinterpret_cast<const lv_term*>(t & ~LV_TAG_MASK);
      return p >= w->area_start && p < w->H;
    };
    auto in_local = [&](lv_term t) {
      const lv_term* p = reinterpret_cast<const lv_term*>(t & ~LV_TAG_MASK);
      return p >= w->local_base && p < w->local_top;
    };
    for (lv_term* p = w->area_start; p < w->H;) {
      lv_term word = *p;
      if (lv_heap_item_cells(word) > 1) {
        ASSERT_EQ(p[lv_box_value_words(word) + 1], word) << "box trailer";
        p += lv_heap_item_cells(word);
        continue;
      }
      if (!lv_is_atomic(word)) {
        ASSERT_TRUE(in_heap(word)) << "heap word " << (p - w->area_start);
      }
      p++;
    }
    for (lv_term* p = w->trail_base + 1; p < w->TR; p++) {
      if (lv_is_struct(*p)) {
        ASSERT_TRUE(in_heap(*p));
        p += 2;
      } else {
        ASSERT_TRUE(in_heap(*p) || in_local(*p)) << "trail entry";
      }
    }
    for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b)) {
      lv_term* h = reinterpret_cast<lv_term*>(b[LV_CP_H]);
      lv_term* l = reinterpret_cast<lv_term*>(b[LV_CP_LOCAL_TOP]);
      lv_term* e = reinterpret_cast<lv_term*>(b[LV_CP_E]);
      lv_term* tr = reinterpret_cast<lv_term*>(b[LV_CP_TR] & ~lv_term{3});
      ASSERT_TRUE(h >= w->area_start && h <= w->H);
      ASSERT_TRUE(l > w->local_base && l <= w->local_top);
      ASSERT_TRUE(e >= w->local_base && e < w->local_top);
      ASSERT_TRUE(tr > w->trail_base && tr <= w->TR);
    }
    ASSERT_EQ(w->HB, reinterpret_cast<lv_term*>(w->B[LV_CP_H]));
    ASSERT_EQ(w->saved_local_top, reinterpret_cast<lv_term*>(w->B[LV_CP_LOCAL_TOP]));
    ASSERT_EQ(w->heap_hard_limit, w->local_base - LV_HEAP_RESERVE_CELLS);
    ASSERT_EQ(w->local_limit, w->local_end - LV_LOCAL_RESERVE_CELLS);
    ASSERT_EQ(w->choice_base, w->tc_end - lv_tc_map_words(static_cast<uint64_t>(w->tc_end - w->tc_start)));
    ASSERT_TRUE(w->E >= w->local_base && w->E < w->local_top);
    ASSERT_LE(w->local_top, w->local_end);
  }
};

// ---------------------------------------------------------------------------
// The random term graphs and their roots.

class RandomRoots : public ShiftTest {
 protected:
  random_roots roots;

  void SetUp() override {
    ShiftTest::SetUp();
    roots.start(w);
  }
  void TearDown() override {
    roots.stop();
    ShiftTest::TearDown();
  }

  uint64_t pick(uint64_t n) { return roots.pick(n); }
  void grow_roots() { roots.grow_roots(); }
  std::string snapshot() {
    std::string s = roots.snapshot();
    EXPECT_EQ(s.find("!stale"), std::string::npos) << s;
    return s;
  }
};

// Every kind of shift, in random order, leaves every root denoting the same
// term graph.
TEST_F(RandomRoots, EveryRootSurvivesEveryKindOfShift) {
  int moves = 0;
  for (int round = 0; round < 60; round++) {
    grow_roots();
    if (round % 7 == 3) push_choice(static_cast<unsigned>(pick(4)));
    std::string before = snapshot();
    lv_term* old_area = w->area_start;
    lv_term* old_tc = w->tc_start;
    int action = static_cast<int>(pick(6));
    switch (action) {
      case 0:  // the debug setting: the first block moves on every overflow
        lv_shift_set_always_move(1);
        heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
        lv_shift_set_always_move(0);
        EXPECT_NE(w->area_start, old_area);
        break;
      case 1: {  // the heap is short: the block grows
        int64_t wanted = (w->heap_hard_limit - w->H) + 5000;
        heap_overflow(w, wanted, LV_LOCAL_RESERVE_CELLS);
        EXPECT_GE(w->heap_hard_limit - w->H, wanted);
        break;
      }
      case 2: {  // the local stack is short: re-divided in place when it fits
        w->gc_flag_a = static_cast<int>(1 + pick(2));
        int64_t wanted = (w->local_end - w->local_top) + 200;
        heap_overflow(w, 0, wanted);
        EXPECT_GE(w->local_end - w->local_top, wanted);
        break;
      }
      case 3:  // the trail and choice stack are short
        lv_ensure_choice_space(w, (w->B - w->TR) / 2 + 700);
        EXPECT_NE(w->tc_start, old_tc);
        break;
      case 4: {  // the debug setting on the second block
        lv_shift_set_always_move(1);
        lv_ensure_choice_space(w, 1);
        lv_shift_set_always_move(0);
        EXPECT_NE(w->tc_start, old_tc);
        break;
      }
      default:  // trimming shrinks both blocks again
        lv_trim_memory(w, 2);
        break;
    }
    if (w->area_start != old_area) moves++;
    ASSERT_NO_FATAL_FAILURE(check_stacks()) << "action " << action;
    ASSERT_EQ(snapshot(), before) << "round " << round << " action " << action;
  }
  EXPECT_GT(moves, 10);
}

// Backtracking after shifts restores what the trail recorded: plain bindings
// and the mutables' values and stamps.
TEST_F(RandomRoots, TrailSurvivesShiftsAndStillUndoes) {
  for (int i = 0; i < 5; i++) grow_roots();
  push_choice(2);
  // The pooled terms that exist at the choicepoint, as they are there.
  unsigned old_terms = roots.pool_size;
  auto print_old = [&] {
    graph_printer p(w);
    std::string s;
    for (unsigned i = 0; i < old_terms; i++) s += p.print(roots.pooled(i)) + "\n";
    return s;
  };
  std::string at_choice = print_old();
  uint64_t trailed = 0;
  for (int round = 0; round < 10; round++) {
    grow_roots();
    trailed += static_cast<uint64_t>(w->TR - w->trail_base);
    lv_shift_set_always_move(1);
    heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
    lv_ensure_choice_space(w, 1);
    lv_shift_set_always_move(0);
  }
  EXPECT_NE(print_old(), at_choice);
  untrail_to(w, saved_trail_top(w->B));
  EXPECT_EQ(print_old(), at_choice);
  EXPECT_GT(trailed, 0u);
}

// ---------------------------------------------------------------------------
// The parts one at a time.

// An attributed variable's cells are relocated like any others: the marker
// -1 is one word, not a box header.
TEST_F(ShiftTest, AttributedVariablesMoveWithTheirAttributes) {
  lv_term_ref r = LV_new_term_ref();
  lv_term v = attvar(w);
  lv_ref_cell(v)[1] = fn(w, F, {A, small(3)});
  lv_ref_cell(v)[2] = list(w, {B});
  ref(r) = fn(w, G, {v, v});
  graph_printer before_printer(w);
  std::string before = before_printer.print(ref(r));
  lv_shift_set_always_move(1);
  heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
  lv_term* cell = lv_ref_cell(lv_deref(lv_struct_cells(ref(r))[1]));
  EXPECT_TRUE(lv_is_unbound_cell(cell));
  EXPECT_EQ(cell[-1], LV_ATTVAR_MARKER);
  graph_printer after(w);
  EXPECT_EQ(after.print(ref(r)), before);
  EXPECT_TRUE(after.ok());
  ASSERT_NO_FATAL_FAILURE(check_stacks());
}

TEST_F(ShiftTest, ReDividingMovesOnlyTheLocalStack) {
  lv_term_ref r = LV_new_term_ref();
  ref(r) = fn(w, F, {A});
  lv_term* frame = push_frame({0, ref(r)});
  frame[2] = lv_make_ref(&frame[2]);
  w->X[0] = lv_make_ref(&frame[2]);
  lv_term* heap = w->H;
  lv_term* start = w->area_start;
  lv_term* base = w->local_base;
  w->gc_flag_a = 2;
  // Ask for more local stack than there is, but not more than the block.
  heap_overflow(w, 0, (w->local_end - w->local_top) + 100);
  EXPECT_EQ(w->area_start, start);
  EXPECT_EQ(w->H, heap);
  EXPECT_NE(w->local_base, base);
  EXPECT_EQ(w->E, w->local_base + (frame - base));
  EXPECT_EQ(w->X[0], lv_make_ref(&w->E[2]));
  EXPECT_EQ(w->E[3], ref(r));
  EXPECT_GE(w->local_end - w->local_top, 100);
  ASSERT_NO_FATAL_FAILURE(check_stacks());
}

TEST_F(ShiftTest, CallOverflowKeepsTheLiveRegisters) {
  lv_term_ref top = LV_new_term_ref();
  ref(top) = A;
  const int n = 300;  // beyond X255: the rest live above the top
  lv_termrefs_grow(w, w->termref_top + (n - 256));
  room(4 * n);
  for (int i = 0; i < n; i++) {
    lv_term t = fn(w, F, {small(i)});
    if (i < 256)
      w->X[i] = t;
    else
      w->termrefs[w->termref_top + (i - 256)].term = t;
  }
  int64_t e = w->E - w->local_base;
  const uint32_t* cp = w->CP;
  int64_t local_top = w->local_top - w->local_base;
  lv_term* start = w->area_start;
  lv_shift_set_always_move(1);
  call_overflow(w, 100, n);
  lv_shift_set_always_move(0);
  EXPECT_NE(w->area_start, start);
  EXPECT_EQ(w->E - w->local_base, e);
  EXPECT_EQ(w->CP, cp);
  EXPECT_EQ(w->local_top - w->local_base, local_top);
  for (int i = 0; i < n; i++) {
    lv_term t = i < 256 ? w->X[i] : w->termrefs[w->termref_top + (i - 256)].term;
    ASSERT_EQ(show(t), "a300(" + std::to_string(i) + ")") << i;
    ASSERT_TRUE(lv_struct_cells(t) >= w->area_start && lv_struct_cells(t) < w->H);
  }
}

TEST_F(ShiftTest, ContextWordsThatHoldStackAddressesMove) {
  lv_term_ref r = LV_new_term_ref();
  ref(r) = fn(w, F, {A, B});
  w->arg_vector = lv_struct_cells(ref(r)) + 1;
  push_choice(0);
  push_choice(1);
  w->cut_barrier = lv_choice_prev(w->B);
  w->next_node = w->B;
  lv_shift_set_always_move(1);
  heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
  lv_ensure_choice_space(w, 1);
  EXPECT_EQ(w->arg_vector, lv_struct_cells(ref(r)) + 1);
  EXPECT_EQ(w->next_node, w->B);
  EXPECT_EQ(w->cut_barrier, lv_choice_prev(w->B));
  EXPECT_EQ(w->marked_choice, w->choice_base - 10);
}

TEST_F(ShiftTest, SolverHookSeesTheOverflowAndTheDelta) {
  static std::vector<std::pair<int64_t, int64_t>> events;
  events.clear();
  LV_install_fd_hooks(
      nullptr,
      [](void*, lv_worker*, int64_t event, int64_t argument) -> int64_t {
        events.push_back({event, argument});
        return 0;
      },
      nullptr, 1);
  lv_term* start = w->area_start;
  lv_shift_set_always_move(1);
  heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
  LV_install_fd_hooks(nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].first, LV_FD_EVENT_OVERFLOW);
  EXPECT_EQ(events[1].first, LV_FD_EVENT_RELOCATED);
  EXPECT_EQ(events[1].second, (w->area_start - start) * 8);
}

// The pair stack and k words at TR survive a move of the second block; the
// cells the pair stack overwrote are themselves again during the move and
// overwritten again afterwards.
TEST_F(ShiftTest, ArgumentsAndPairStackSurviveAChoiceShift) {
  lv_term cell_term = fn(w, F, {A, B});
  lv_term* cell = lv_struct_cells(cell_term) + 1;
  // Two overwrites of the same cell, as the comparison may make.
  w->pair_index -= 2;
  w->B[w->pair_index] = lv_make_ref(cell);
  w->B[w->pair_index + 1] = *cell;
  *cell = small(1);
  w->pair_index -= 2;
  w->B[w->pair_index] = lv_make_ref(cell);
  w->B[w->pair_index + 1] = *cell;
  *cell = small(2);
  for (int i = 0; i < 5; i++) w->TR[i] = small(100 + i);
  lv_term* old_tc = w->tc_start;
  int32_t pairs = w->pair_index;
  lv_shift_args_to_choice(w, 5, (w->B - w->TR) + 1000);
  EXPECT_NE(w->tc_start, old_tc);
  EXPECT_EQ(w->pair_index, pairs);
  for (int i = 0; i < 5; i++) EXPECT_EQ(w->TR[i], small(100 + i));
  EXPECT_EQ(*cell, small(2));
  // Undo as the owner of the pair stack does, newest first.
  for (int32_t j = w->pair_index; j < LV_PAIR_INDEX_REST; j += 2) *lv_ref_cell(w->B[j]) = w->B[j + 1];
  EXPECT_EQ(*cell, A);
}

TEST_F(ShiftTest, ChoiceShiftMovesSavedTrailTopsAndKeepsTheTrail) {
  lv_term_ref r = LV_new_term_ref();
  ref(r) = fn(w, F, {var(w), var(w)});
  push_choice(1);
  lv_term* older = lv_ref_cell(lv_struct_cells(ref(r))[1]);
  lv_bind(w, older, A);
  int64_t trail_used = w->TR - w->trail_base;
  int64_t saved_tr = reinterpret_cast<lv_term*>(w->B[LV_CP_TR] & ~lv_term{3}) - w->trail_base;
  int64_t choice_used = w->choice_base - w->B;
  int64_t n = (w->B - w->TR) / 2 + 5000;
  lv_ensure_choice_space(w, n);
  EXPECT_GE(w->B - w->TR, 2 * n - w->pair_index);
  EXPECT_EQ(w->TR - w->trail_base, trail_used);
  EXPECT_EQ(w->choice_base - w->B, choice_used);
  EXPECT_EQ(reinterpret_cast<lv_term*>(w->B[LV_CP_TR] & ~lv_term{3}) - w->trail_base, saved_tr);
  EXPECT_EQ(w->TR[-1], lv_make_ref(older));
  EXPECT_EQ(w->marked_choice, w->choice_base - 10);
  ASSERT_NO_FATAL_FAILURE(check_stacks());
}

// Trailing past the gap grows the second block by itself.
TEST_F(ShiftTest, TheTrailCheckGrowsTheTrail) {
  lv_term_ref r = LV_new_term_ref();
  const int n = 20000;
  room(n + 10);
  lv_term* cells = w->H;
  for (int i = 0; i < n; i++) cells[i] = lv_make_ref(&cells[i]);
  w->H += n;
  ref(r) = lv_make_ref(cells);
  push_choice(0);
  uint64_t before = lv_shift_stats.trail_choice_overflows;
  lv_term* old_tc = w->tc_start;
  for (int i = 0; i < n; i++) lv_bind(w, lv_ref_cell(ref(r)) + i, small(i));
  EXPECT_NE(w->tc_start, old_tc);
  EXPECT_GT(lv_shift_stats.trail_choice_overflows, before);
  EXPECT_EQ(w->TR - reinterpret_cast<lv_term*>(w->B[LV_CP_TR] & ~lv_term{3}), n);
  EXPECT_GE(reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR), LV_TRAIL_GAP_BYTES);
}

TEST_F(ShiftTest, TrimmingShrinksBothBlocksBack) {
  lv_term_ref r = LV_new_term_ref();
  ref(r) = fn(w, F, {A, small(5)});
  uint64_t area = static_cast<uint64_t>(w->area_end - w->area_start);
  uint64_t tc = static_cast<uint64_t>(w->tc_end - w->tc_start);
  heap_overflow(w, 400000, LV_LOCAL_RESERVE_CELLS);
  lv_ensure_choice_space(w, 200000);
  ASSERT_GT(static_cast<uint64_t>(w->area_end - w->area_start), area);
  ASSERT_GT(static_cast<uint64_t>(w->tc_end - w->tc_start), tc);
  lv_trim_memory(w, 2);
  EXPECT_LE(static_cast<uint64_t>(w->area_end - w->area_start), 2 * area);
  EXPECT_LE(static_cast<uint64_t>(w->tc_end - w->tc_start), 2 * tc);
  EXPECT_EQ(show(ref(r)), "a300(a302,5)");
  ASSERT_NO_FATAL_FAILURE(check_stacks());
}

// The collection policy: which overflows collect (the collections are
// counted).
TEST_F(ShiftTest, CollectionPolicy) {
  struct {
    const char* name;
    lv_term mode;
    int flag_b;
    int64_t margin_kb;
    bool heap_short;
    int64_t heap_cells;
    bool collects;
  } cases[] = {
      {"off", LV_ATOM_OFF, 4, 0, true, 100000, false},
      {"forced even when off", LV_ATOM_OFF, 4, 0, true, -1, true},
      {"B4, grown past the margin", LV_ATOM_ON, 4, 0, true, 100000, true},
      {"B4, below the margin", LV_ATOM_ON, 4, 100000, true, 100000, false},
      {"B2, below the margin", LV_ATOM_ON, 2, 100000, true, 100000, false},
      {"B2, past the margin, only the local stack short", LV_ATOM_ON, 2, 0, false, 0, true},
      {"B1, only the local stack short", LV_ATOM_ON, 1, 0, false, 0, false},
      {"B3, only the local stack short", LV_ATOM_ON, 3, 0, false, 0, false},
      {"B3, the heap short", LV_ATOM_ON, 3, 0, true, 100000, true},
  };
  for (const auto& c : cases) {
    lv_gc_setting.mode = c.mode;
    lv_gc_setting.margin = c.margin_kb;
    w->gc_flag_b = c.flag_b;
    uint64_t before = lv_shift_stats.collections;
    int64_t local = c.heap_short ? LV_LOCAL_RESERVE_CELLS : (w->local_end - w->local_top) + 10;
    if (c.heap_cells < 0) {
      w->X[0] = small(1);
      prolog_gc_start(w);
    } else {
      heap_overflow(w, c.heap_short ? (w->heap_hard_limit - w->H) + c.heap_cells : 0, local);
    }
    EXPECT_EQ(lv_shift_stats.collections - before, c.collects ? 1u : 0u) << c.name;
    EXPECT_GE(w->local_end - w->local_top, LV_LOCAL_RESERVE_CELLS) << c.name;
  }
}

TEST_F(ShiftTest, GarbageCollectClearsTheGenerationMarks) {
  push_choice(0);
  w->B[LV_CP_TR] |= 1;
  push_choice(0);
  lv_term* newest = w->B;
  newest[LV_CP_TR] |= 1;
  w->X[0] = small(0);
  prolog_gc_start(w);
  EXPECT_EQ(w->marked_choice, newest);
  w->X[0] = small(1);
  EXPECT_EQ(prolog_gc_start(w), 1);
  EXPECT_EQ(w->marked_choice, w->choice_base - 10);
  EXPECT_EQ(w->marked_choice[LV_CP_TR] & 3, 3u);
}

TEST_F(ShiftTest, NewestMarkedChoice) {
  push_choice(0);
  lv_term* marked = w->B;
  marked[LV_CP_TR] |= 1;
  push_choice(1);
  push_choice(2);
  EXPECT_EQ(lv_newest_marked_choice(w), lv_choice_prev(marked));
  EXPECT_EQ(w->marked_choice, marked);
  // Both moves of a block answer the same; the choice stack stays where it
  // is when the first block moves.
  w->marked_choice = nullptr;
  uint64_t span = static_cast<uint64_t>(w->area_end - w->area_start) * 8;
  uint64_t heap = static_cast<uint64_t>(w->H - w->area_start) + LV_HEAP_RESERVE_CELLS;
  uint64_t local = static_cast<uint64_t>(w->local_top - w->local_base) + LV_LOCAL_RESERVE_CELLS;
  EXPECT_EQ(lv_shift_heap_stack(w, span, 2 * span, heap, local, 0), lv_choice_prev(marked));
  EXPECT_EQ(w->marked_choice, marked);
  uint64_t tc = static_cast<uint64_t>(w->tc_end - w->tc_start) * 8;
  int64_t from_base = w->choice_base - marked;
  lv_term* older = lv_shift_trail_choice(w, tc, 2 * tc);
  EXPECT_EQ(w->marked_choice, w->choice_base - from_base);
  EXPECT_EQ(older, lv_choice_prev(w->marked_choice));
  ASSERT_NO_FATAL_FAILURE(check_stacks());
}

TEST_F(ShiftTest, VerboseTraceLines) {
  lv_gc_setting.trace = LV_ATOM_VERBOSE;
  lv_shift_set_always_move(1);
  testing::internal::CaptureStderr();
  heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
  std::string heap = testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  lv_ensure_choice_space(w, 1);
  std::string tc = testing::internal::GetCapturedStderr();
  auto count = [](const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) n++;
    return n;
  };
  EXPECT_EQ(count(heap, "%%  Shift after GC start: heap ["), 1u) << heap;
  EXPECT_EQ(count(heap, "%%  Shift after GC end: heap ["), 1u) << heap;
  EXPECT_EQ(count(heap, ") stack ["), 2u);
  EXPECT_EQ(count(heap, ") bits ["), 2u);
  EXPECT_EQ(count(tc, "%%  Shift start: trail ["), 1u) << tc;
  EXPECT_EQ(count(tc, "%%  Shift end: trail ["), 1u) << tc;
  lv_gc_setting.trace = LV_ATOM_OFF;
  testing::internal::CaptureStderr();
  heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(ShiftTest, DebugWordReportsEntryAndExit) {
  lv_gc_debug_words[0] = 1;
  testing::internal::CaptureStderr();
  heap_overflow(w, 0, LV_LOCAL_RESERVE_CELLS);
  std::string out = testing::internal::GetCapturedStderr();
  lv_gc_debug_words[0] = 0;
  EXPECT_EQ(out, "%% CALL heap_overflow\n%% EXIT heap_overflow\n");
}

TEST_F(ShiftTest, AlwaysMoveComesFromTheSetting) {
  lv_shift_set_always_move(0);
  EXPECT_FALSE(lv_shift_always_move());
  {
    ScopedEnv setting{{"LV_SHIFT_ALWAYS_MOVE", "yes"}};
    lv_shift_set_always_move(-1);
    EXPECT_TRUE(lv_shift_always_move());
  }
  lv_shift_set_always_move(-1);
  EXPECT_FALSE(lv_shift_always_move());
}

}  // namespace
