// The garbage collector: the trail sweep and the settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/bind.h"
#include "core/errors.h"
#include "core/gc.h"
#include "core/gc_internal.h"
#include "core/heap_parse.h"
#include "core/mark_map.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "embed/fd_hooks.h"
#include "embed/termrefs.h"
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
// The parts one at a time.

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

// ---------------------------------------------------------------------------
// Settings.

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

TEST_F(GcTest, CollectAtEveryHeapCheckComesFromTheSetting) {
  lv_gc_set_always(0);
  EXPECT_FALSE(lv_gc_always());
  {
    ScopedEnv setting{{"LV_GC_ALWAYS", "yes"}};
    lv_gc_set_always(-1);
    EXPECT_TRUE(lv_gc_always());
  }
  lv_gc_set_always(-1);
  EXPECT_FALSE(lv_gc_always());
}

}  // namespace
