// The engine context's two stack blocks.
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "core/settings.h"
#include "core/stack_shift.h"
#include "core/worker.h"

namespace {

constexpr uint64_t DEFAULT_STACK_BYTES = 32768;

uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

int digit_or(uint64_t value, int lo, int hi, int fallback) {
  int d = static_cast<int>(value % 10);
  return d >= lo && d <= hi ? d : fallback;
}

}  // namespace

void lv_stack_areas_init(lv_worker* w) {
  uint64_t flags = lv_getenv_int_suffixed("LV_GC_FLAGS", 142, 0);
  w->gc_flag_a = digit_or(flags / 100, 1, 2, 1);
  w->gc_flag_b = digit_or(flags / 10, 1, 4, 4);
  w->gc_flag_c = digit_or(flags, 1, 2, 2);
  if (lv_getenv_yes_no("LV_GC_FLAGS_DEBUG", 0) == 1) {
    std::fprintf(stderr, "GC FLAGS A%dB%dC%d\n", w->gc_flag_a, w->gc_flag_b, w->gc_flag_c);
    std::fflush(stderr);
  }

  uint64_t global = lv_getenv_int_suffixed("GLOBALSTKSIZE", DEFAULT_STACK_BYTES, DEFAULT_STACK_BYTES);
  uint64_t local = lv_getenv_int_suffixed("LOCALSTKSIZE", DEFAULT_STACK_BYTES, DEFAULT_STACK_BYTES);
  lv_mem_growth_table(static_cast<uint32_t>(lv_getenv_int_suffixed("GROWTHFACTOR", 62, 10)));

  uint64_t length = 0;
  uint64_t bytes = ceil_div(global / 8 + local / 8, 32) * 264;
  lv_term* start = static_cast<lv_term*>(lv_mem_area_new(bytes, &length, 1));
  std::memset(start, 0, length);
  w->area_start = w->local_top = w->local_base = w->local_end = start;
  w->area_end = start + length / 8;
  lv_set_worker_bounds(w, global / 8, local / 8, 0);
  lv_term* limit = w->local_base - LV_HEAP_RESERVE_CELLS;
  w->heap_hard_limit = limit;
  lv_set_soft_limit(w, limit);
  w->interrupt_hold = 0;
  w->wakeup_count = 0;

  uint64_t trail = lv_getenv_int_suffixed("TRAILSTKSIZE", DEFAULT_STACK_BYTES, DEFAULT_STACK_BYTES);
  uint64_t choice = lv_getenv_int_suffixed("CHOICESTKSIZE", DEFAULT_STACK_BYTES, DEFAULT_STACK_BYTES);
  lv_term* tc = static_cast<lv_term*>(lv_mem_area_new(trail + choice, &length, 0));
  std::memset(tc, 0, length);
  w->tc_start = w->trail_base = tc;
  w->tc_end = tc + length / 8;
  uint64_t words = length / 8;
  uint64_t map_words = (ceil_div(words, 65) + 1) & ~uint64_t{1};
  w->choice_base = w->tc_end - map_words;
  lv_mem_set_trim_step(LV_TRIM_STACKS, lv_trim_stacks);
}

void lv_stack_areas_free(lv_worker* w) {
  if (w->area_start != nullptr)
    lv_mem_area_free(w->area_start, static_cast<uint64_t>(w->area_end - w->area_start) * 8, 1);
  if (w->tc_start != nullptr) lv_mem_area_free(w->tc_start, static_cast<uint64_t>(w->tc_end - w->tc_start) * 8, 0);
  w->area_start = w->area_end = nullptr;
  w->tc_start = w->tc_end = w->trail_base = nullptr;
}

int lv_set_worker_bounds(lv_worker* w, uint64_t heap_cells, uint64_t local_cells, uint64_t move_words) {
  int64_t block_words = w->area_end - w->area_start;
  uint64_t c = (heap_cells + local_cells + 31) & ~uint64_t{31};
  int64_t spare = block_words - static_cast<int64_t>(c / 32 * 33);
  if (spare < 0) return 0;
  uint64_t extra = static_cast<uint64_t>(spare / 33) * 32;
  uint64_t total = heap_cells + local_cells;
  uint64_t local = local_cells;
  if (total != 0)
    local += static_cast<uint64_t>(static_cast<double>(local_cells) / static_cast<double>(total) * static_cast<double>(extra));
  lv_term* base = w->area_start + (extra + c - local);
  if (move_words != 0) std::memmove(base, w->local_base, move_words * 8);
  w->local_base = base;
  w->local_end = base + local;
  w->local_limit = w->local_end - LV_LOCAL_RESERVE_CELLS;
  w->heap_hard_limit = base - LV_HEAP_RESERVE_CELLS;
  lv_request_event(w);
  std::memset(w->local_end, 0, static_cast<size_t>(w->area_end - w->local_end) * 8);
  return 1;
}
