// The collector's entry: the order of its steps, the generation mark and the
// statistics.
#include "core/bdd_tables.h"
#include "core/gc_internal.h"
#include "core/stack_shift.h"
#include "core/startup_records.h"
#include "core/thread_time.h"

lv_gc_state lv_gc_now;
lv_gc_statistics lv_gc_stats;

namespace {

// Heap cells in use right after the latest full collection.
uint64_t live_after_full;

lv_term relocation_alternative() {
  return reinterpret_cast<lv_term>(lv_try_alternative(&lv_startup.relocation_alternative));
}

bool is_relocation_frame(const lv_term* b) { return (lv_choice_view(b)->alt & ~lv_term{1}) == relocation_alternative(); }

bool is_bottom(const lv_worker* w, lv_term* b) { return lv_choice_prev(b) >= w->choice_base; }

// The newest choicepoint becomes a frame that records the present heap and
// trail tops and carries the generation mark, so that the next collection
// starts at the new heap top and every older cell bound from now on is
// trailed. It keeps the local top, frame and continuation of the
// choicepoint below it: it protects no more of the local stack than that
// one does, and backtracking through it fails on to that one.
void set_generation_mark(lv_worker* w) {
  lv_term* b = w->B;
  if (!is_relocation_frame(b)) {
    lv_term* older = b;
    b -= sizeof(lv_choicepoint) / 8;
    lv_choicepoint* c = lv_choice_view(b);
    const lv_choicepoint* o = lv_choice_view(older);
    c->alt = relocation_alternative();
    c->local_top = o->local_top;
    c->e = o->e;
    c->cp = o->cp;
    w->B = b;
  }
  lv_choice_view(b)->h = lv_make_ref(w->H);
  lv_choice_view(b)->tr = lv_make_ref(w->TR) | 1;
}

double seconds(uint64_t ms) { return static_cast<double>(ms) / 1000.0; }

}  // namespace

int64_t lv_gc(lv_worker* w) {
  uint64_t start = lv_thread_cpu_ms();
  if (w->marked_choice == nullptr) lv_newest_marked_choice(w);

  // A pending wake-up or a cleanup barrier at B must keep B as it is (the
  // woken-goal scan and the cut cleanups look at it); so must a live
  // unification pair stack, which sits below B.
  bool keep_b = w->wakeup_count > 0 || lv_choice_view(w->B)->guards_cleanups() || w->pair_index != LV_PAIR_INDEX_REST;
  bool full = is_bottom(w, w->marked_choice);

  lv_gc_state& g = lv_gc_now;
  g = {};
  g.w = w;
  g.marked = w->marked_choice;
  g.base = lv_choice_view(g.marked)->saved_h();
  g.top = w->H;
  g.trail_lo = lv_choice_view(g.marked)->saved_tr();
  lv_gc_trace_start(g);

  // A full collection starts without the generation frame an earlier one
  // left.
  if (full && !keep_b && is_relocation_frame(w->B) && !is_bottom(w, w->B)) {
    lv_make_choice_current(w, lv_choice_prev(w->B));
  }

  // The trail sweep, the box words of the collected part, the permanent
  // variables; reference chains are shortened in a full collection.
  lv_gc_trail_sweep(w);
  lv_gc_scan_collected(g, full);
  lv_gc_environment_pass(g, full);

  // Marking from every root.
  g.active = true;
  lv_gc_mark_roots(g);

  // The trail without the entries of dead cells, closed up, with the
  // generation mark on the segment's choicepoints.
  lv_gc_drop_dead_entries(g);
  lv_gc_trail_compact(w, 1);

  uint64_t marked_ms = lv_thread_cpu_ms();
  uint64_t old_cells = static_cast<uint64_t>(g.base - w->area_start);
  int64_t garbage = full ? 0 : static_cast<int64_t>(old_cells > live_after_full ? old_cells - live_after_full : 0);
  lv_gc_trace_marked(g, seconds(marked_ms - start), garbage);

  // Threading the roots, then the two passes.
  lv_gc_thread_roots(g);
  lv_term* new_top = lv_gc_slide(g);
  g.active = false;
  lv_gc_restore_scratch_roots(g);
  w->H = new_top;
  w->bdd_node_count = g.bdd_nodes;
  lv_bdd_gc_adjust(w, g.base, g.bdd_nodes);

  // The generation mark.
  if (!keep_b) {
    if (reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR) < LV_TRAIL_GAP_BYTES + 48) {
      // Room for the frame; the choice stack may move meanwhile.
      int64_t marked = w->choice_base - w->marked_choice;
      lv_ensure_choice_space(w, -LV_TRAIL_REQUEST_CELLS);
      w->marked_choice = w->choice_base - marked;
    }
    set_generation_mark(w);
  }
  lv_make_choice_current(w, w->B);

  // Statistics.
  uint64_t in_use = static_cast<uint64_t>(w->H - w->area_start);
  if (full) live_after_full = in_use;
  int64_t estimate = static_cast<int64_t>(in_use > live_after_full ? in_use - live_after_full : 0);
  uint64_t reclaimed = static_cast<uint64_t>(g.top - w->H);
  uint64_t end = lv_thread_cpu_ms();
  lv_gc_stats.collections++;
  lv_gc_stats.cells_reclaimed += reclaimed;
  lv_gc_stats.milliseconds += end - start;
  lv_gc_stats.last_marked = g.marked_cells;
  lv_gc_stats.old_garbage = estimate;
  lv_gc_trace_end(w, reclaimed, seconds(end - marked_ms), seconds(end - start));
  return estimate;
}
