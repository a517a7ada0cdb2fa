// Making room on the engine's stacks. The stacks do not grow yet: when they
// really are short this is the fatal out-of-memory error of the stacks.
#include "core/stack_shift.h"

#include "core/fault.h"
#include "core/memory.h"

namespace {

[[noreturn]] void stacks_exhausted() {
  lv_memory_fault("Memory allocation failed (exceeded max stack size)", LV_CAT_STACK);
}

}  // namespace

int64_t heap_overflow(lv_worker* w, int64_t heap_cells, int64_t local_cells) {
  if (heap_cells > 0 && w->heap_hard_limit - w->H < heap_cells) stacks_exhausted();
  if (local_cells > 0 && w->local_end - w->local_top < local_cells) stacks_exhausted();
  return 0;
}

void call_overflow(lv_worker* w, int64_t heap_cells, int64_t) { heap_overflow(w, heap_cells, LV_LOCAL_RESERVE_CELLS); }

int64_t lv_ensure_choice_space(lv_worker* w, int64_t n) {
  if (n < 0) n = -n;
  if (w->B - w->TR < 2 * n - w->pair_index) stacks_exhausted();
  return 0;
}

int64_t lv_choice_overflow(lv_worker* w, int64_t n) { return lv_ensure_choice_space(w, n); }

void lv_shift_args_to_choice(lv_worker* w, int64_t, int64_t n) { lv_ensure_choice_space(w, n); }
