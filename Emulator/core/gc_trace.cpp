// The collector's "%%" trace lines on user_error.
#include <cinttypes>

#include "core/gc_internal.h"
#include "streams/diagnostics.h"

namespace {

void* at(const void* p) { return const_cast<void*>(p); }

int64_t bytes(const lv_term* from, const lv_term* to) { return (to - from) * 8; }

}  // namespace

void lv_gc_trace_start(const lv_gc_state& g) {
  const lv_worker* w = g.w;
  if (lv_gc_setting.trace == LV_ATOM_TERSE) {
    lv_ttyprintf("%%%% GC\n");
    lv_ttyflush();
  } else if (lv_gc_setting.trace == LV_ATOM_VERBOSE) {
    lv_ttyprintf("%%%%  GC start: Heap (%p[%p] - %p) size= %" PRId64 " bytes\n", at(w->area_start), at(g.base),
                 at(w->H), bytes(w->area_start, w->H));
    lv_ttyprintf("%%%%        Stack (%p[%p] - %p)\n", at(w->local_base), at(lv_choice_view(g.marked)->saved_local_top()),
                 at(w->local_top));
    lv_ttyprintf("%%%%     Choice (%p[%p] - %p)\n", at(w->choice_base), at(g.marked), at(w->B));
    lv_ttyprintf("%%%%           Trail (%p[%p] - %p)\n", at(w->trail_base), at(g.trail_lo), at(w->TR));
    lv_ttyflush();
  }
}

void lv_gc_trace_marked(const lv_gc_state& g, double seconds, int64_t garbage) {
  if (lv_gc_setting.trace != LV_ATOM_VERBOSE) return;
  lv_ttyprintf("%%%%  mark: %" PRIu64 " cells marked in %.3f sec\n", g.marked_cells, seconds);
  lv_ttyprintf("%%%%        no more than %" PRId64 " garbage cells left\n", garbage);
  lv_ttyflush();
}

void lv_gc_trace_end(const lv_worker* w, uint64_t reclaimed, double seconds, double total_seconds) {
  if (lv_gc_setting.trace != LV_ATOM_VERBOSE) return;
  lv_ttyprintf("%%%%  Compress: %" PRIu64 " cells reclaimed in %.3f sec\n", reclaimed, seconds);
  lv_ttyprintf("%%%%           Heap size= %" PRId64 " bytes\n", bytes(w->area_start, w->H));
  lv_ttyprintf("%%%%           Free heap= %" PRId64 " bytes\n", bytes(w->H, w->local_base));
  lv_ttyprintf("%%%%  %" PRIu64 " cells reclaimed in %" PRIu64 " gc's\n", lv_gc_stats.cells_reclaimed,
               lv_gc_stats.collections);
  lv_ttyprintf("%%%%  GC time= %.3f  Total GC time= %.3f\n\n", total_seconds,
               static_cast<double>(lv_gc_stats.milliseconds) / 1000.0);
  lv_ttyflush();
}
