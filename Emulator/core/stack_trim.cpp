// The stack step of memory trimming: both stack blocks shrink to what is in
// use plus the reserves, but not below the sizes they were created with.
#include "core/fd_hooks.h"
#include "core/gc.h"
#include "core/memory.h"
#include "core/settings.h"
#include "core/stack_shift.h"

namespace {

constexpr uint64_t DEFAULT_STACK_BYTES = 32768;

uint64_t setting(const char* name) { return lv_getenv_int_suffixed(name, DEFAULT_STACK_BYTES, DEFAULT_STACK_BYTES); }

}  // namespace

void lv_trim_stacks(lv_worker* w, int mode) {
  if (mode != 2 || w == nullptr || w->B == nullptr) return;
  lv_call_fd_hook(LV_FD_EVENT_OVERFLOW, 0);

  uint64_t heap = static_cast<uint64_t>(w->H - w->area_start) + LV_HEAP_RESERVE_CELLS;
  uint64_t local = static_cast<uint64_t>(w->local_top - w->local_base) + LV_LOCAL_RESERVE_CELLS;
  uint64_t size = lv_mem_area_size_round(lv_block_words(heap, local) * 8);
  uint64_t initial = (setting("GLOBALSTKSIZE") / 8 + setting("LOCALSTKSIZE") / 8 + 31) / 32 * 264;
  if (size < initial) size = initial;
  uint64_t span = static_cast<uint64_t>(w->area_end - w->area_start) * 8;
  if (size < span) lv_shift_heap_stack(w, span, size, heap, local, 1);

  lv_newest_marked_choice(w);
  lv_gc_trail_sweep(w);
  lv_gc_trail_compact(w, 0);

  uint64_t cells = static_cast<uint64_t>((w->TR - w->trail_base) + (w->choice_base - w->B)) + 512;
  size = lv_mem_area_size_round(lv_tc_block_words(cells) * 8);
  initial = setting("TRAILSTKSIZE") + setting("CHOICESTKSIZE");
  if (size < initial) size = initial;
  span = static_cast<uint64_t>(w->tc_end - w->tc_start) * 8;
  if (size < span) lv_shift_trail_choice(w, span, size);
}
