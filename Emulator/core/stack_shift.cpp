// Heap and local-stack overflow: the collection policy, re-dividing the first
// block in place and moving it to a new area.
#include "core/stack_shift.h"

#include <cstdio>
#include <cstring>

#include "core/fault.h"
#include "core/fd_hooks.h"
#include "core/gc.h"
#include "core/memory.h"
#include "core/settings.h"
#include "store/static_code.h"
#include "streams/diagnostics.h"

lv_shift_statistics lv_shift_stats;

namespace {

int always_move = -1;  // -1: not read from the settings yet

// Argument register i; registers from X256 on live in the term-reference
// array just above its top.
lv_term& x_register(lv_worker* w, int64_t i) {
  if (i < LV_X_REGISTERS) return w->X[i];
  return w->termrefs[w->termref_top + (i - LV_X_REGISTERS)].term;
}

bool trace_verbose() { return lv_gc_setting.trace == LV_ATOM_VERBOSE; }

void trace_bounds(const lv_worker* w, const char* what) {
  lv_ttyprintf("%%%%  %s: heap [%p,%p) stack [%p,%p) bits [%p,%p)\n", what, static_cast<void*>(w->area_start),
               static_cast<void*>(w->H), static_cast<void*>(w->local_base), static_cast<void*>(w->local_top),
               static_cast<void*>(w->local_end), static_cast<void*>(w->area_end));
  lv_ttyflush();
}

int64_t cells_between(const lv_term* lo, const lv_term* hi) { return hi - lo; }

lv_term* bottom_choice(lv_worker* w) {
  lv_term* b = w->marked_choice;
  for (lv_term* prev = lv_choice_prev(b); prev < w->choice_base; prev = lv_choice_prev(b)) b = prev;
  return b;
}

// Re-divides the first block in place for heap_cells and local_cells and
// relocates the local stack. False when the block is too small.
bool redivide(lv_worker* w, uint64_t heap_cells, uint64_t local_cells) {
  lv_term* old_base = w->local_base;
  lv_term* old_end = w->local_end;
  uint64_t used = static_cast<uint64_t>(w->local_top - w->local_base);
  if (!lv_set_worker_bounds(w, heap_cells, local_cells, used)) return false;
  lv_relocate_local(w, (w->local_base - old_base) * 8, old_base, old_end);
  return true;
}

// Moves the first block to an area of new_bytes laid out for heap_cells and
// local_cells, and relocates.
void move_block(lv_worker* w, uint64_t new_bytes, uint64_t heap_cells, uint64_t local_cells) {
  lv_term* old_start = w->area_start;
  lv_term* old_base = w->local_base;
  lv_term* old_end = w->local_end;
  uint64_t old_bytes = static_cast<uint64_t>(w->area_end - w->area_start) * 8;
  uint64_t used = static_cast<uint64_t>(w->local_top - w->local_base);
  if (new_bytes < old_bytes) {
    // Only the first new_bytes are kept: let the local stack follow the heap
    // part at once. Its pointers are relocated once, for the whole way.
    lv_term* base = w->area_start + heap_cells;
    std::memmove(base, w->local_base, used * 8);
    w->local_base = base;
  }
  uint64_t length = 0;
  lv_term* start = static_cast<lv_term*>(lv_shift_always_move()
                                             ? lv_mem_area_move(old_start, old_bytes, new_bytes, &length, 1)
                                             : lv_mem_area_resize(old_start, old_bytes, new_bytes, &length, 1));
  int64_t distance = (start - old_start) * 8;
  w->area_start = start;
  w->area_end = start + length / 8;
  w->local_base = start + (w->local_base - old_start);
  w->local_end = w->local_base;  // laid out again below
  lv_set_soft_limit(w, nullptr);
  if (!lv_set_worker_bounds(w, heap_cells, local_cells, used))
    LV_raise_fault("stack shift: the new block does not hold the stacks");
  lv_relocate_after_shift(w, distance, (w->local_base - old_base) * 8, old_start, old_base, old_end);
}

}  // namespace

void lv_shift_set_always_move(int mode) { always_move = mode < 0 ? -1 : mode != 0; }

bool lv_shift_always_move() {
  if (always_move < 0) always_move = lv_getenv_yes_no("LV_SHIFT_ALWAYS_MOVE", 0) == 1 ? 1 : 0;
  return always_move == 1;
}

lv_term* lv_newest_marked_choice(lv_worker* w) {
  lv_term* b = w->B;
  while ((lv_choice_view(b)->tr & 1) == 0) b = lv_choice_prev(b);
  w->marked_choice = b;
  return lv_choice_prev(b);
}

int64_t heap_overflow(lv_worker* w, int64_t heap_cells, int64_t local_cells) {
  int64_t a = heap_cells < 0 ? 0 : heap_cells;
  bool local_room = cells_between(w->local_top, w->local_end) >= local_cells;
  bool heap_room = cells_between(w->H, w->heap_hard_limit) >= a;
  lv_shift_stats.heap_overflows++;
  if (!heap_room) lv_shift_stats.heap_short++;
  if (!local_room) lv_shift_stats.local_short++;
  if (!local_room && heap_room) lv_shift_stats.local_short_only++;

  lv_call_fd_hook(LV_FD_EVENT_OVERFLOW, 0);
  lv_newest_marked_choice(w);
  lv_gc_trail_sweep(w);
  lv_gc_trail_compact(w, 0);
  if (lv_gc_debug_words[0] != 0 || lv_gc_debug_words[1] != 0) lv_gc_check(w);
  if (lv_gc_debug_words[0] != 0) {
    std::fputs("%% CALL heap_overflow\n", stderr);
    std::fflush(stderr);
  }

  int64_t local_need = local_cells + cells_between(w->local_base, w->local_top);
  int64_t heap_need = a + cells_between(w->area_start, w->H) + LV_HEAP_RESERVE_CELLS;
  bool force = lv_shift_always_move();
  bool always_collect = lv_gc_always() && lv_gc_setting.mode != LV_ATOM_OFF;

  if (!force && !always_collect && w->gc_flag_a == 2 && redivide(w, heap_need, local_need)) goto done;
  {
    int64_t margin = lv_gc_setting.margin * 1024 / 8;
    bool collect = true;
    if (heap_cells >= 0) {
      int64_t used = cells_between(w->area_start, w->H);
      if (w->gc_flag_b >= 3) used = cells_between(lv_choice_view(w->marked_choice)->saved_h(), w->H);
      bool only_local = heap_room && (w->gc_flag_b == 1 || w->gc_flag_b == 3);
      collect = always_collect || (lv_gc_setting.mode != LV_ATOM_OFF && used >= margin && !only_local);
    }
    if (collect) {
      lv_term* before = w->H;
      int64_t garbage = lv_gc(w);
      int64_t freed = cells_between(w->H, before);
      lv_term* bottom = bottom_choice(w);
      if (freed < margin && freed + garbage >= margin && w->marked_choice != bottom) {
        w->marked_choice = bottom;
        lv_term* again = w->H;
        lv_gc(w);
        freed += cells_between(w->H, again);
      }
      lv_shift_stats.collections++;
      if (heap_room && !local_room) lv_shift_stats.collections_local++;
      heap_need += margin - freed;
    }
    int64_t heap_part = cells_between(w->area_start, w->local_base);
    int64_t local_part = cells_between(w->local_base, w->local_end);
    if (!force && w->gc_flag_c == 2 && heap_part >= heap_need && local_part >= local_need) goto done;
    if (trace_verbose()) trace_bounds(w, "Shift after GC start");
    if (force || !redivide(w, heap_need, local_need)) {
      uint64_t bytes = lv_block_words(heap_need, local_need) * 8;
      uint64_t present = static_cast<uint64_t>(w->area_end - w->area_start) * 8;
      if (force && bytes < present) bytes = present;
      move_block(w, bytes, heap_need, local_need);
    }
    if (trace_verbose()) trace_bounds(w, "Shift after GC end");
  }
done:
  if (lv_gc_debug_words[0] != 0) {
    std::fputs("%% EXIT heap_overflow\n", stderr);
    std::fflush(stderr);
  }
  return 0;
}

lv_term* lv_shift_heap_stack(lv_worker* w, uint64_t, uint64_t new_size, uint64_t heap_cells, uint64_t local_cells,
                             int trace) {
  if (trace && trace_verbose()) trace_bounds(w, "Shift start");
  move_block(w, new_size, heap_cells, local_cells);
  if (trace && trace_verbose()) trace_bounds(w, "Shift end");
  return lv_newest_marked_choice(w);
}

void call_overflow(lv_worker* w, int64_t heap_cells, int64_t n) {
  // The frame itself must fit the local stack; the registers are roots
  // while room is made for it.
  if (cells_between(w->local_top, w->local_end) < n + 2) heap_overflow(w, 0, n + 2 + LV_LOCAL_RESERVE_CELLS);
  lv_term* frame = w->local_top;
  lv_frame_view(frame)->e = lv_make_ref(w->E);
  lv_frame_view(frame)->cp = reinterpret_cast<lv_term>(w->CP);
  for (int64_t i = 0; i < n; i++) lv_frame_view(frame)->y[i] = x_register(w, i);
  w->E = frame;
  w->CP = lv_code_stub_for_arity(static_cast<uint64_t>(n));
  w->local_top = frame + LV_FRAME_Y + n;

  heap_overflow(w, heap_cells, LV_LOCAL_RESERVE_CELLS);

  frame = w->E;
  for (int64_t i = 0; i < n; i++) x_register(w, i) = lv_frame_view(frame)->y[i];
  if (frame >= w->saved_local_top) w->local_top = frame;
  w->E = lv_frame_view(frame)->previous();
  w->CP = lv_frame_view(frame)->continuation();
}

int prolog_gc_start(lv_worker* w) {
  if (lv_deref(w->X[0]) != lv_make_small(0)) {
    for (lv_term* b = w->B; lv_choice_prev(b) < w->choice_base; b = lv_choice_prev(b)) lv_choice_view(b)->tr &= ~lv_term{1};
  }
  heap_overflow(w, -1, LV_LOCAL_RESERVE_CELLS);
  return 1;
}
