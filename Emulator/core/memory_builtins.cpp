// The memory manager's built-ins and statistics term.
#include "core/memory_builtins.h"

#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"

lv_term lv_mem_bucket_counts(lv_worker* w) {
  // Boxed counters go first, then the structure that refers to them.
  lv_term args[LV_CAT_COUNT];
  for (uint32_t c = 0; c < LV_CAT_COUNT; c++) args[c] = lv_make_integer(w, static_cast<int64_t>(lv_mem_category_bytes(c)));
  lv_term* h = w->H;
  h[0] = lv_make_functor(LV_ATOM_DOT, LV_CAT_COUNT);
  for (uint32_t c = 0; c < LV_CAT_COUNT; c++) h[1 + c] = args[c];
  w->H = h + 1 + LV_CAT_COUNT;
  return lv_make_struct(h);
}

int prolog_trimcore(lv_worker* w) {
  lv_term mode = lv_deref(w->X[0]);
  if (!lv_is_small(mode)) return 0;
  lv_trim_memory(w, static_cast<int>(lv_small_value(mode)));
  return 1;
}

int prolog_minfo(lv_worker*) { return lv_mem_info(0) == 0 ? 1 : 0; }
