// Room between the trail and the choice stack: moving the second block.
//
// The trail grows up from the block's start and the choice stack down from
// choice_base, with the unification pair stack in the gap below B. A move
// keeps the trail at the start of the new block and the region
// [B + pair index, choice_base) just below the new map; trail entries hold
// no addresses of the block, choicepoints hold their saved TR.
#include "core/stack_shift.h"

#include <cstring>

#include "core/gc.h"
#include "core/memory.h"
#include "core/thread_time.h"
#include "streams/diagnostics.h"

namespace {

void trace_bounds(const lv_worker* w, const char* what) {
  lv_ttyprintf("%%%%  %s: trail [%p,%p) choice [%p,%p) bits [%p,%p)\n", what, static_cast<void*>(w->trail_base),
               static_cast<void*>(w->TR), static_cast<void*>(w->B), static_cast<void*>(w->choice_base),
               static_cast<void*>(w->choice_base), static_cast<void*>(w->tc_end));
  lv_ttyflush();
}

template <typename T>
void move_if_within(T*& p, const lv_term* lo, const lv_term* hi, int64_t delta) {
  const lv_term* q = reinterpret_cast<const lv_term*>(p);
  if (q >= lo && q <= hi) p = reinterpret_cast<T*>(reinterpret_cast<char*>(p) + delta);
}

// Swaps each pair-stack entry in [B + from, B - 6) with its cell: puts back
// what the entries overwrote, or overwrites again. Newest first when
// restoring, oldest first when overwriting again, so that a cell overwritten
// twice comes out right both ways.
void swap_pairs(lv_worker* w, int32_t from, bool restore) {
  lv_term* b = w->B;
  if (restore) {
    for (int32_t j = from; j < LV_PAIR_INDEX_REST; j += 2) {
      lv_term* cell = lv_ref_cell(b[j]);
      lv_term t = *cell;
      *cell = b[j + 1];
      b[j + 1] = t;
    }
  } else {
    for (int32_t j = LV_PAIR_INDEX_REST - 2; j >= from; j -= 2) {
      lv_term* cell = lv_ref_cell(b[j]);
      lv_term t = *cell;
      *cell = b[j + 1];
      b[j + 1] = t;
    }
  }
}

}  // namespace

lv_term* lv_shift_trail_choice(lv_worker* w, uint64_t, uint64_t new_size) {
  if (lv_gc_setting.trace == LV_ATOM_VERBOSE) trace_bounds(w, "Shift start");
  lv_term* old_start = w->tc_start;
  lv_term* old_base = w->choice_base;
  uint64_t old_bytes = static_cast<uint64_t>(w->tc_end - w->tc_start) * 8;
  lv_term* region = w->B + w->pair_index;
  uint64_t region_words = static_cast<uint64_t>(old_base - region);
  if (new_size < old_bytes) {
    // Only the first new_size bytes are kept: move the region to its place
    // in the smaller block first.
    uint64_t words = new_size / 8;
    lv_term* place = old_start + (words - lv_tc_map_words(words) - region_words);
    std::memmove(place, region, region_words * 8);
    region = place;
  }
  uint64_t length = 0;
  lv_term* start = static_cast<lv_term*>(lv_shift_always_move()
                                             ? lv_mem_area_move(old_start, old_bytes, new_size, &length, 0)
                                             : lv_mem_area_resize(old_start, old_bytes, new_size, &length, 0));
  uint64_t words = length / 8;
  w->tc_start = w->trail_base = start;
  w->tc_end = start + words;
  w->choice_base = w->tc_end - lv_tc_map_words(words);
  std::memmove(w->choice_base - region_words, start + (region - old_start), region_words * 8);
  std::memset(w->choice_base, 0, static_cast<size_t>(w->tc_end - w->choice_base) * 8);

  int64_t choice_delta = (w->choice_base - old_base) * 8;
  int64_t trail_delta = (start - old_start) * 8;
  lv_term* old_b = w->B;
  w->B = reinterpret_cast<lv_term*>(reinterpret_cast<char*>(w->B) + choice_delta);
  move_if_within(w->cut_barrier, old_b, old_base, choice_delta);
  move_if_within(w->next_node, old_b, old_base, choice_delta);
  w->TR = reinterpret_cast<lv_term*>(reinterpret_cast<char*>(w->TR) + trail_delta);
  for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b)) lv_choice_view(b)->tr += static_cast<uint64_t>(trail_delta);

  if (lv_gc_setting.trace == LV_ATOM_VERBOSE) trace_bounds(w, "Shift end");
  return lv_newest_marked_choice(w);
}

int64_t lv_ensure_choice_space(lv_worker* w, int64_t n) {
  uint64_t start_ms = lv_thread_cpu_ms();
  if (n >= 0) {
    lv_newest_marked_choice(w);
    lv_gc_trail_sweep(w);
    lv_gc_trail_compact(w, 0);
  } else {
    n = -n;
  }
  int64_t need = 2 * n - w->pair_index;
  if (w->B - w->TR < need || lv_shift_always_move()) {
    uint64_t in_use = static_cast<uint64_t>((w->TR - w->trail_base) + (w->choice_base - w->B));
    uint64_t words = (in_use + static_cast<uint64_t>(need) + 63) & ~uint64_t{63};
    uint64_t bytes = words * 8 + words / 8;
    uint64_t present = static_cast<uint64_t>(w->tc_end - w->tc_start) * 8;
    if (lv_shift_always_move() && bytes < present) bytes = present;
    lv_shift_trail_choice(w, present, bytes);
  }
  lv_shift_stats.trail_choice_overflows++;
  uint64_t spent = lv_thread_cpu_ms() - start_ms;
  lv_shift_stats.shift_ms += spent;
  return static_cast<int64_t>(spent);
}

int64_t lv_choice_overflow(lv_worker* w, int64_t n) { return lv_ensure_choice_space(w, n); }

void lv_shift_args_to_choice(lv_worker* w, int64_t k, int64_t n) {
  int32_t pairs = w->pair_index;
  std::memmove(w->B + pairs - k, w->TR, static_cast<size_t>(k) * 8);
  w->pair_index = pairs - static_cast<int32_t>(k);
  swap_pairs(w, pairs, true);
  lv_ensure_choice_space(w, n);
  swap_pairs(w, pairs, false);
  w->pair_index = pairs;
  std::memmove(w->TR, w->B + pairs - k, static_cast<size_t>(k) * 8);
}
