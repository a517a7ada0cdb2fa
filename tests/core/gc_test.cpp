// The garbage collector: random term graphs with garbage between them,
// collected fully and generationally and checked against printed forms taken
// before; backtracking after trail sweeps and collections; root words left
// stale; the settings, the traces and the solver's part.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/bind.h"
#include "core/errors.h"
#include "core/fd_hooks.h"
#include "core/gc.h"
#include "core/gc_internal.h"
#include "core/heap_parse.h"
#include "core/mark_map.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "support/engine_fixture.h"
#include "support/env.h"
#include "support/random_roots.h"
#include "support/terms.h"

namespace {

using namespace terms;

const lv_term F = atom(300), G = atom(301), A = atom(302);

class GcTest : public EngineTest {
 protected:
  // Small operating-system blocks, released at once, so that stale
  // pointers fault.
  ScopedEnv env{{"PROLOGINCSIZE", "64K"}, {"PROLOGINITSIZE", "20K"}, {"PROLOGKEEPSIZE", "0"}};

  void TearDown() override {
    lv_gc_setting = {LV_ATOM_ON, LV_ATOM_OFF, 1000};
    lv_gc_set_always(-1);
    LV_install_fd_hooks(nullptr, nullptr, nullptr, 0);
    EngineTest::TearDown();
  }

  lv_term& ref(lv_term_ref r) { return lv_term_ref_cell(w, r); }
  lv_term* bottom() { return w->choice_base - 10; }

  // A collection of the heap above the newest marked choicepoint, or of all
  // of it.
  void collect(bool full) {
    lv_newest_marked_choice(w);
    if (full) w->marked_choice = bottom();
    lv_gc(w);
  }

  lv_term* newest_real_choice() {
    lv_term* b = w->B;
    while (is_relocation_frame(b)) b = lv_choice_prev(b);
    return b;
  }
};

// ---------------------------------------------------------------------------
// Random graphs.

class GcRandom : public GcTest, public testing::WithParamInterface<uint64_t> {
 protected:
  random_roots roots{GetParam()};

  void SetUp() override {
    GcTest::SetUp();
    roots.start(w);
  }
  void TearDown() override {
    roots.stop();
    GcTest::TearDown();
  }

  uint64_t pick(uint64_t n) { return roots.pick(n); }

  // Terms nothing keeps: made, then forgotten (with the pool entries they
  // took).
  void garbage(int n) {
    unsigned kept = roots.pool_size;
    for (int i = 0; i < n; i++) roots.make(3);
    for (unsigned i = kept; i < roots.pool_size; i++) ref(roots.pool_base + static_cast<lv_term_ref>(i)) = LV_ATOM_NIL;
    roots.pool_size = kept;
  }

  // Removes the newest choicepoint (and the generation frames above it), as
  // a cut does.
  void cut() {
    lv_term* b = newest_real_choice();
    if (b == bottom()) return;
    while (w->B != b) lv_pop_call_choicepoint(w);
    lv_pop_call_choicepoint(w);
  }

  // Every mutable with a value-trail entry has the position of its newest
  // entry as its stamp.
  void check_stamps() {
    std::map<lv_term*, int64_t> newest;
    for (lv_term* t = w->trail_base + 1; t < w->TR; t += lv_is_struct(*t) ? 3 : 1)
      if (lv_is_struct(*t)) newest[lv_struct_cells(*t)] = t - w->trail_base;
    for (const auto& [m, position] : newest) ASSERT_EQ(lv_small_value(m[2]), position);
  }
};

bool points_between(lv_term v, const lv_term* from, const lv_term* to) {
  const lv_term* a = reinterpret_cast<const lv_term*>(v & ~LV_TAG_MASK);
  return !lv_is_atomic(v) && a >= from && a < to;
}

// The heap addresses of the things a printing numbered, by number.
std::vector<const lv_term*> heap_addresses(const graph_printer& p, const lv_term* from, const lv_term* to) {
  std::vector<const lv_term*> a = p.addresses();
  for (const lv_term*& x : a)
    if (x < from || x >= to) x = nullptr;
  return a;
}

TEST_P(GcRandom, SurvivorsCompareEqualKeepTheirOrderAndOldCellsStay) {
  int shrunk = 0;
  for (int round = 0; round < 80; round++) {
    roots.grow_roots();
    garbage(4);
    if (round % 6 == 2) push_choice(w, static_cast<unsigned>(pick(4)));
    if (round % 11 == 7) cut();
    bool full = pick(3) == 0;
    if (pick(2) == 0) w->wakeup_count = 0;  // the wake-ups were handled
    bool pending = w->wakeup_count > 0;
    lv_term* b = w->B;

    lv_newest_marked_choice(w);
    lv_term* base = full ? w->area_start : reinterpret_cast<lv_term*>(w->marked_choice[LV_CP_H]);
    lv_term* top = w->H;
    graph_printer before_printer(w, false);
    std::string before = roots.snapshot(false, &before_printer);
    std::vector<lv_term> old_words(w->area_start, base);

    ASSERT_EQ(lv_gc_check(w), 0) << "before round " << round;
    collect(full);

    ASSERT_EQ(lv_gc_check(w), 0) << "round " << round << (full ? " full" : " generational");
    ASSERT_NO_FATAL_FAILURE(check_stamps()) << "round " << round;
    graph_printer after_printer(w, false);
    ASSERT_EQ(roots.snapshot(false, &after_printer), before) << "round " << round;
    if (w->H < top) shrunk++;

    // Heap order is kept, and what lay below the collected part is where
    // it was.
    std::vector<const lv_term*> was = heap_addresses(before_printer, w->area_start, top);
    std::vector<const lv_term*> is = heap_addresses(after_printer, w->area_start, w->H);
    ASSERT_EQ(was.size(), is.size());
    std::vector<size_t> ids;
    for (size_t i = 0; i < was.size(); i++) {
      if (was[i] == nullptr) continue;
      ASSERT_NE(is[i], nullptr);
      if (was[i] < base) {
        ASSERT_EQ(is[i], was[i]) << "round " << round;
      }
      ids.push_back(i);
    }
    std::sort(ids.begin(), ids.end(), [&](size_t a, size_t b) { return was[a] < was[b]; });
    for (size_t k = 1; k < ids.size(); k++) ASSERT_LT(is[ids[k - 1]], is[ids[k]]) << "round " << round;
    // Older words change only where they pointed into the collected part,
    // and in the stamps of mutables (trail positions).
    for (uint64_t i = 0; i < old_words.size();) {
      lv_term v = old_words[i];
      uint64_t cells = lv_heap_item_cells(v);
      for (uint64_t k = 0; k < cells; k++) {
        if (cells == 1 && i >= 2 && old_words[i - 2] == LV_FUNCTOR_MUTABLE_2) {
          ASSERT_TRUE(lv_is_small(w->area_start[i]));
        } else if (cells == 1 && points_between(v, base, top)) {
          ASSERT_EQ(w->area_start[i] & LV_TAG_MASK, v & LV_TAG_MASK);
        } else {
          ASSERT_EQ(w->area_start[i + k], old_words[i + k]) << "round " << round << " cell " << i + k;
        }
      }
      i += cells;
    }

    // The newest choicepoint records the new tops and carries the mark,
    // unless wake-ups are pending: then B stays.
    if (pending) {
      ASSERT_EQ(w->B, b);
    } else {
      ASSERT_TRUE(is_relocation_frame(w->B));
      ASSERT_EQ(w->HB, w->H);
    }
    ASSERT_EQ(w->B[LV_CP_TR] & 1, 1u);
  }
  EXPECT_GT(shrunk, 60);
}

// Sweeps and collections between choicepoints, cuts, bindings and mutable
// updates; then backtracking to each choicepoint in turn restores the terms
// that existed there as they were.
TEST_P(GcRandom, BacktrackingRestoresEveryChoicepointAfterSweepsAndCollections) {
  struct level {
    unsigned pool;
    std::string print;
  };
  std::vector<level> levels;
  auto print_pool = [&](unsigned n) {
    graph_printer p(w, false);
    std::string s;
    for (unsigned i = 0; i < n; i++) s += p.print(roots.pooled(i)) + "\n";
    return s;
  };
  int collections = 0, moves = 0;
  for (int step = 0; step < 400; step++) {
    switch (pick(10)) {
      case 0:
      case 1:
        levels.push_back({roots.pool_size, print_pool(roots.pool_size)});
        push_choice(w, static_cast<unsigned>(pick(4)));
        break;
      case 2:
        if (!levels.empty() && pick(3) == 0) {
          cut();
          levels.pop_back();
        }
        break;
      case 3:
        for (int k = 0; k < 3; k++) roots.add_pool(roots.make(2));
        break;
      case 4:
        garbage(3);
        break;
      case 5:
      case 6:
        roots.bind_some();
        break;
      case 7:
        collect(pick(3) == 0);
        collections++;
        break;
      case 8:  // a collection, then the stacks move (each move grows them)
        if (++moves > 6) break;
        lv_shift_set_always_move(1);
        heap_overflow(w, -1, LV_LOCAL_RESERVE_CELLS);
        lv_shift_set_always_move(0);
        collections++;
        break;
      default:
        lv_newest_marked_choice(w);
        lv_gc_trail_sweep(w);
        lv_gc_trail_compact(w, 0);
        break;
    }
    ASSERT_NO_FATAL_FAILURE(check_stamps()) << "step " << step;
    ASSERT_EQ(lv_gc_check(w), 0) << "step " << step;
  }
  EXPECT_GT(collections, 20);
  EXPECT_GT(levels.size(), 10u);
  while (!levels.empty()) {
    while (is_relocation_frame(w->B)) backtrack_and_pop(w);
    backtrack_and_pop(w);
    ASSERT_EQ(print_pool(levels.back().pool), levels.back().print) << "level " << levels.size();
    ASSERT_NO_FATAL_FAILURE(check_stamps());
    levels.pop_back();
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, GcRandom, testing::Values(4711, 17, 2024));

// ---------------------------------------------------------------------------
// The parts one at a time.

TEST_F(GcTest, AttributedVariablesBoxesAndCyclesSurvive) {
  lv_term_ref r = LV_new_term_ref();
  var(w);  // garbage below
  lv_term v = attvar(w);
  lv_ref_cell(v)[1] = fn(w, F, {A, lv_make_float_box(w, 2.5)});
  lv_ref_cell(v)[2] = list(w, {G});
  fn(w, G, {A, A});  // garbage between
  lv_term big = lv_make_integer_box(w, int64_t{1} << 62);
  lv_term cyclic = var(w);
  lv_term t = fn(w, F, {cyclic, v, big});
  *lv_ref_cell(cyclic) = t;
  ref(r) = t;
  graph_printer before_printer(w);
  std::string before = before_printer.print(ref(r));
  lv_term* top = w->H;
  collect(true);
  EXPECT_EQ(lv_gc_check(w), 0);
  EXPECT_LT(w->H, top);
  graph_printer after(w);
  EXPECT_EQ(after.print(ref(r)), before);
  lv_term* cells = lv_struct_cells(ref(r));
  lv_term* cell = lv_ref_cell(lv_deref(cells[2]));
  EXPECT_EQ(cell[-1], LV_ATTVAR_MARKER);
  EXPECT_TRUE(lv_is_unbound_cell(cell));
  lv_term* box = lv_struct_cells(cells[3]);
  EXPECT_EQ(box[0], LV_BOX_INT1);
  EXPECT_EQ(box[2], LV_BOX_INT1);  // readable backwards from its trailer
  EXPECT_EQ(lv_deref(cells[1]), ref(r));
}

// A value-trail entry restores an old value that only it holds; a plain
// entry of a dead cell goes; an older cell bound to a new term keeps it.
TEST_F(GcTest, TheTrailHoldsRootsAndLosesDeadEntries) {
  lv_term_ref m = LV_new_term_ref(), old = LV_new_term_ref();
  ref(m) = mutable_term(w, A);
  ref(old) = var(w);
  lv_term* dead = w->H;
  var(w);
  push_choice(w, 0);
  lv_update_mutable(w, fn(w, F, {small(1)}), ref(m));  // entry 1: old value a
  lv_bind(w, dead, A);                                 // a dead cell, trailed
  push_choice(w, 0);
  lv_update_mutable(w, fn(w, G, {small(2)}), ref(m));  // entry 2: old value f(1), held nowhere else
  lv_bind(w, lv_ref_cell(ref(old)), fn(w, F, {A}));    // an older cell bound to a new term
  uint64_t plain_before = 0;
  for (lv_term* t = w->trail_base + 1; t < w->TR; t += lv_is_struct(*t) ? 3 : 1) plain_before += !lv_is_struct(*t);
  collect(true);
  ASSERT_EQ(lv_gc_check(w), 0);
  uint64_t plain_after = 0;
  for (lv_term* t = w->trail_base + 1; t < w->TR; t += lv_is_struct(*t) ? 3 : 1) plain_after += !lv_is_struct(*t);
  EXPECT_EQ(plain_after, plain_before - 1);
  EXPECT_EQ(show(ref(old)), "a300(a302)");
  EXPECT_EQ(show(lv_struct_cells(lv_deref(ref(m)))[1]), "a301(2)");
  while (is_relocation_frame(w->B)) backtrack_and_pop(w);
  backtrack_and_pop(w);
  EXPECT_EQ(show(lv_struct_cells(lv_deref(ref(m)))[1]), "a300(1)");
  EXPECT_EQ(show(ref(old)), "_");
  backtrack_and_pop(w);
  EXPECT_EQ(show(lv_struct_cells(lv_deref(ref(m)))[1]), "a302");
}

// The sweep removes what backtracking no longer needs and keeps the stamps
// exact: a cell newer than its choicepoint, all but the oldest entry of a
// mutable between two choicepoints, and (without pending wake-ups) a newer
// attributed variable's entry.
TEST_F(GcTest, TheSweepKeepsOnlyWhatBacktrackingNeeds) {
  lv_term_ref m = LV_new_term_ref(), held = LV_new_term_ref();
  ref(m) = mutable_term(w, A);
  push_choice(w, 0);
  lv_term* choice = w->B;
  lv_term* newer = w->H;
  ref(held) = fn(w, F, {var(w), attvar(w)});
  lv_update_mutable(w, small(1), ref(m));
  push_choice(w, 0);                                   // made and cut: its entries fall to the older one
  lv_update_mutable(w, small(2), ref(m));              // a second entry of the same mutable
  lv_bind(w, newer, A);                                // trailed while the newer choicepoint stood
  lv_bind(w, lv_ref_cell(lv_struct_cells(ref(held))[2]), A);  // an attributed variable: always trailed
  lv_pop_call_choicepoint(w);
  ASSERT_EQ(w->B, choice);
  w->wakeup_count = 0;
  lv_newest_marked_choice(w);
  lv_gc_trail_sweep(w);
  lv_gc_trail_compact(w, 0);
  lv_term* tr = saved_trail_top(choice);
  ASSERT_EQ(w->TR - tr, 3);  // the oldest value-trail entry only
  EXPECT_EQ(tr[0], lv_deref(ref(m)));
  EXPECT_EQ(tr[1], A);
  EXPECT_EQ(lv_small_value(lv_struct_cells(lv_deref(ref(m)))[2]), tr - w->trail_base);
  backtrack_and_pop(w);
  EXPECT_EQ(lv_struct_cells(lv_deref(ref(m)))[1], A);
}

TEST_F(GcTest, PendingWakeUpsKeepTheEntriesOfAttributedVariables) {
  lv_term_ref r = LV_new_term_ref();
  push_choice(w, 0);
  ref(r) = attvar(w);
  lv_bind(w, lv_ref_cell(ref(r)), A);
  ASSERT_EQ(w->wakeup_count, 1);
  lv_term* entry = w->TR - 1;
  collect(true);
  ASSERT_EQ(w->TR, entry + 1);
  EXPECT_EQ(lv_ref_cell(*entry)[-1], LV_ATTVAR_MARKER);
  EXPECT_EQ(*lv_ref_cell(*entry), A);
  EXPECT_FALSE(is_relocation_frame(w->B));  // B stays while wake-ups are pending
  w->wakeup_count = 0;
  lv_newest_marked_choice(w);
  lv_gc_trail_sweep(w);
  lv_gc_trail_compact(w, 0);
  EXPECT_EQ(w->TR, entry);
}

// Permanent variables inside a frame's live size may hold anything; words
// that point at no term are cleared, the others followed.
TEST_F(GcTest, StaleWordsInFramesAndRegistersAreCheckedBeforeTheyAreFollowed) {
  var(w);
  lv_term box = lv_make_integer_box(w, int64_t{1} << 62);
  lv_term s = fn(w, F, {A, small(1)});
  lv_term av = attvar(w);
  lv_term* top = w->H;
  struct {
    lv_term word;
    bool cleared;
  } cases[] = {
      {lv_make_ref(lv_struct_cells(box) + 1), true},   // into a box body
      {lv_make_struct(lv_struct_cells(s) + 1), true},  // a structure without a functor
      {lv_make_list(lv_struct_cells(s) + 2), true},    // a pair running into the next term
      {lv_make_ref(lv_ref_cell(av) - 1), true},        // the attributed-variable marker
      {lv_make_ref(lv_struct_cells(s)), true},         // a functor cell
      {lv_make_ref(top + 40), false},                  // above the heap top: not followed
  };
  const size_t n = sizeof cases / sizeof cases[0];
  lv_term* frame = push_frame(w, {s, av, box, 0, 0, 0, 0, 0});
  for (size_t i = 0; i < n; i++) {
    if (i < 5) frame[LV_FRAME_Y + 3 + i] = cases[i].word;
    w->X[20 + i] = cases[i].word;
  }
  collect(true);
  ASSERT_EQ(lv_gc_check(w), 0);
  EXPECT_EQ(show(frame[LV_FRAME_Y]), "a300(a302,1)");
  EXPECT_EQ(lv_ref_cell(lv_deref(frame[LV_FRAME_Y + 1]))[-1], LV_ATTVAR_MARKER);
  EXPECT_EQ(show(frame[LV_FRAME_Y + 2]), "box1:" + std::to_string(int64_t{1} << 62));
  for (size_t i = 0; i < n; i++) {
    EXPECT_EQ(w->X[20 + i], cases[i].cleared ? LV_ATOM_NIL : cases[i].word) << i;
    if (i < 5) {
      EXPECT_EQ(frame[LV_FRAME_Y + 3 + i], LV_ATOM_NIL) << i;
    }
  }
}

// A permanent variable written after a choicepoint, in a frame the
// choicepoint protects, is a root although the trail does not name it.
TEST_F(GcTest, FramesBelowTheCollectedSegmentAreRootsToo) {
  lv_term* frame = push_frame(w, {0, 0});
  frame[LV_FRAME_Y] = frame[LV_FRAME_Y + 1] = LV_ATOM_NIL;
  push_choice(w, 0);
  w->B[LV_CP_TR] |= 1;  // the generation boundary
  var(w);
  frame[LV_FRAME_Y + 1] = fn(w, F, {small(7)});  // a first write, not trailed
  var(w);
  collect(false);
  ASSERT_EQ(lv_gc_check(w), 0);
  EXPECT_EQ(show(frame[LV_FRAME_Y + 1]), "a300(7)");
}

// The continuation's frame size: the 32-bit word before it, or when that is
// 0 the 64-bit word before that; bit 0 (the code walk's examined bit) does
// not count.
TEST(GcFrameSize, ReadFromTheWordsBeforeTheContinuation) {
  struct {
    uint32_t words[4];
    uint64_t bytes;
  } cases[] = {
      {{0, 0, 0, 48}, 48},
      {{0, 0, 0, 49}, 48},
      {{0, 24, 0, 0}, 24},  // 0, so the 64-bit word 12 bytes before
      {{0, 0, 1, 0}, uint64_t{1} << 32},
  };
  for (auto& c : cases) {
    uint32_t code[5] = {c.words[0], c.words[1], c.words[2], c.words[3], 0};
    EXPECT_EQ(lv_gc_frame_bytes(&code[4]), c.bytes);
  }
  EXPECT_EQ(lv_gc_frame_bytes(nullptr), 0u);
}

TEST_F(GcTest, CollectionsStartAboveTheGenerationMark) {
  lv_term_ref r = LV_new_term_ref();
  ref(r) = fn(w, F, {A});
  var(w);
  collect(true);
  lv_term* kept = lv_struct_cells(ref(r));
  lv_term* boundary = w->H;
  EXPECT_EQ(reinterpret_cast<lv_term*>(w->B[LV_CP_H]), boundary);
  var(w);
  lv_term_ref s = LV_new_term_ref();
  ref(s) = fn(w, G, {ref(r)});
  lv_term* frame = w->B;
  collect(false);
  EXPECT_EQ(w->marked_choice, frame);
  EXPECT_EQ(lv_struct_cells(ref(r)), kept);
  EXPECT_EQ(lv_struct_cells(ref(s)), boundary);
  EXPECT_EQ(show(ref(s)), "a301(a300(a302))");
  // One generation frame only, renewed.
  EXPECT_FALSE(is_relocation_frame(lv_choice_prev(w->B)));
}

// ---------------------------------------------------------------------------
// Settings, traces and the solver's part.

TEST_F(GcTest, SettingBuiltIns) {
  struct {
    int (*builtin)(lv_worker*);
    lv_term fresh;
    bool accepted;
  } cases[] = {
      {prolog_gc_mode, LV_ATOM_OFF, true},     {prolog_gc_mode, LV_ATOM_ON, true},
      {prolog_gc_mode, A, false},              {prolog_gc_mode, small(1), false},
      {prolog_gc_trace, LV_ATOM_TERSE, true},  {prolog_gc_trace, LV_ATOM_VERBOSE, true},
      {prolog_gc_trace, LV_ATOM_OFF, true},    {prolog_gc_trace, LV_ATOM_ON, false},
      {prolog_gc_margin, small(0), true},      {prolog_gc_margin, small(4096), true},
      {prolog_gc_margin, small(-1), false},    {prolog_gc_margin, small(int64_t{1} << 41), false},
      {prolog_gc_margin, A, false},
  };
  for (const auto& c : cases) {
    lv_gc_settings before = lv_gc_setting;
    lv_term present = c.builtin == prolog_gc_mode    ? before.mode
                      : c.builtin == prolog_gc_trace ? before.trace
                                                     : small(before.margin);
    w->X[0] = var(w);
    w->X[1] = c.fresh;
    EXPECT_EQ(c.builtin(w), c.accepted ? 1 : 0) << show(c.fresh);
    EXPECT_EQ(lv_deref(w->X[0]), present);
    lv_gc_settings after = lv_gc_setting;
    lv_term now = c.builtin == prolog_gc_mode ? after.mode : c.builtin == prolog_gc_trace ? after.trace : small(after.margin);
    EXPECT_EQ(now, c.accepted ? c.fresh : present) << show(c.fresh);
  }
  w->X[0] = A;  // a present value that does not unify
  w->X[1] = LV_ATOM_ON;
  EXPECT_EQ(prolog_gc_mode(w), 0);
}

TEST_F(GcTest, TraceLines) {
  lv_gc_setting.trace = LV_ATOM_TERSE;
  testing::internal::CaptureStderr();
  collect(true);
  collect(false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "%% GC\n%% GC\n");
  lv_gc_setting.trace = LV_ATOM_VERBOSE;
  testing::internal::CaptureStderr();
  collect(true);
  std::string out = testing::internal::GetCapturedStderr();
  const char* lines[] = {"%%  GC start: Heap (", "%%        Stack (", "%%     Choice (", "%%           Trail (",
                         "%%  mark: ",           "%%        no more than ", "%%  Compress: ",
                         "%%           Heap size= ", "%%           Free heap= ", " gc's\n", "%%  GC time= "};
  size_t at = 0;
  for (const char* line : lines) {
    size_t found = out.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << out;
    at = found;
  }
  lv_gc_setting.trace = LV_ATOM_OFF;
  testing::internal::CaptureStderr();
  collect(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// The plug-in keeps terms in its own 16-byte slots: it marks them at event 2
// and threads them at event 3.
lv_termref_slot plugin_slots[3];

int64_t plugin_hook(void*, lv_worker* w, int64_t event, int64_t argument) {
  for (lv_termref_slot& s : plugin_slots) {
    if (event == LV_FD_EVENT_MARK) markTerm(s.term);
    if (event == LV_FD_EVENT_GC_RELOCATE && !lv_is_atomic(s.term) &&
        static_cast<int64_t>(s.term & ~LV_TAG_MASK) >= argument)
      intoRelocationChain(w, reinterpret_cast<lv_term*>(s.term), &s.term);
  }
  return 0;
}

TEST_F(GcTest, TheSolverMarksAndRelocatesItsOwnTerms) {
  var(w);
  plugin_slots[0] = {fn(w, F, {small(1), list(w, {A, G})}), 0};
  fn(w, G, {A});  // garbage
  plugin_slots[1] = {lv_make_float_box(w, 0.5), 0};
  plugin_slots[2] = {A, 0};
  lv_term* top = w->H;
  LV_install_fd_hooks(nullptr, plugin_hook, nullptr, 1);
  collect(true);
  LV_install_fd_hooks(nullptr, nullptr, nullptr, 0);
  EXPECT_LT(w->H, top);
  EXPECT_EQ(show(plugin_slots[0].term), "a300(1,[a302,a301])");
  EXPECT_EQ(lv_double_from_bits(lv_struct_cells(plugin_slots[1].term)[1]), 0.5);
  for (const lv_termref_slot& s : plugin_slots) EXPECT_EQ(s.zero, 0u);
  EXPECT_EQ(lv_gc_check(w), 0);
  markTerm(plugin_slots[0].term);  // no collection under way: nothing happens
  EXPECT_EQ(lv_gc_check(w), 0);
}

// Below the margin an overflow grows the stacks without collecting, unless
// the soak setting asks for a collection at every overflow.
TEST_F(GcTest, CollectAtEveryOverflowComesFromTheSetting) {
  lv_gc_set_always(0);
  EXPECT_FALSE(lv_gc_always());
  uint64_t collections = lv_gc_stats.collections;
  heap_overflow(w, 100, LV_LOCAL_RESERVE_CELLS);
  EXPECT_EQ(lv_gc_stats.collections, collections);
  {
    ScopedEnv setting{{"LV_GC_ALWAYS", "yes"}};
    lv_gc_set_always(-1);
    EXPECT_TRUE(lv_gc_always());
  }
  heap_overflow(w, 100, LV_LOCAL_RESERVE_CELLS);
  EXPECT_EQ(lv_gc_stats.collections, collections + 1);
  EXPECT_EQ(lv_gc_check(w), 0);
  lv_gc_set_always(-1);
  EXPECT_FALSE(lv_gc_always());
}

// A collection inside call_overflow keeps the live registers, and the
// generation frame it leaves protects no more of the local stack than the
// choicepoint below it: the overflow frame is popped again.
TEST_F(GcTest, ACollectionInsideCallOverflowKeepsRegistersAndPopsItsFrame) {
  lv_gc_setting.margin = 0;
  for (int i = 0; i < 5; i++) {
    var(w);
    w->X[i] = fn(w, F, {small(i)});
  }
  int64_t local_top = w->local_top - w->local_base;
  int64_t protected_top = w->saved_local_top - w->local_base;
  uint64_t collections = lv_gc_stats.collections;
  call_overflow(w, (w->heap_hard_limit - w->H) + 100, 5);
  EXPECT_GT(lv_gc_stats.collections, collections);
  EXPECT_TRUE(is_relocation_frame(w->B));
  EXPECT_EQ(w->local_top - w->local_base, local_top);
  EXPECT_EQ(w->saved_local_top - w->local_base, protected_top);
  for (int i = 0; i < 5; i++) EXPECT_EQ(show(w->X[i]), "a300(" + std::to_string(i) + ")");
  EXPECT_EQ(lv_gc_check(w), 0);
}

// heap_overflow collects and reports the garbage it freed.
TEST_F(GcTest, HeapOverflowCollects) {
  lv_gc_setting.margin = 0;
  lv_term_ref r = LV_new_term_ref();
  ref(r) = A;
  for (int i = 0; i < 2000; i++) {
    make_room(w, 100);
    ref(r) = fn(w, F, {small(i), i % 2 == 0 ? ref(r) : A});
  }
  uint64_t collections = lv_gc_stats.collections;
  uint64_t reclaimed = lv_gc_stats.cells_reclaimed;
  heap_overflow(w, -1, LV_LOCAL_RESERVE_CELLS);
  EXPECT_GT(lv_gc_stats.collections, collections);
  EXPECT_GT(lv_gc_stats.cells_reclaimed, reclaimed);
  EXPECT_EQ(lv_gc_check(w), 0);
  EXPECT_EQ(show(ref(r)), "a300(1999,a302)");
}

}  // namespace
