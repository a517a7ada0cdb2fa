// The prebuilt memory-exhaustion exception.
#include "core/memory_error_term.h"

#include "core/predefined_atoms.h"
#include "core/stack_shift.h"

lv_stored_block* lv_memory_error_block;

lv_stored_block* lv_make_memory_error_term(lv_worker* w) {
  if (lv_memory_error_block != nullptr) return lv_memory_error_block;
  constexpr int64_t CELLS = 10;
  if (w->heap_hard_limit - w->H < CELLS) call_overflow(w, CELLS, 0);
  const lv_term resource_error = lv_predefined_atom(175);
  const lv_term memory = lv_predefined_atom(176);
  lv_term* h = w->H;
  h[0] = lv_make_functor(resource_error, 1);  // resource_error(memory)
  h[1] = memory;
  h[2] = lv_make_functor(resource_error, 2);  // resource_error(0, memory)
  h[3] = lv_make_small(0);
  h[4] = memory;
  h[5] = lv_make_functor(lv_predefined_atom(13), 2);  // error(_, _)
  h[6] = lv_make_struct(h);
  h[7] = lv_make_struct(h + 2);
  h[8] = lv_make_struct(h + 5);  // [Error]
  h[9] = LV_ATOM_NIL;
  w->H = h + CELLS;
  w->X[0] = lv_make_list(h + 8);
  lv_memory_error_block = lv_store_term(w, 0);
  w->H = h;
  w->X[0] = LV_ATOM_NIL;
  return lv_memory_error_block;
}

void lv_free_memory_error_term() {
  if (lv_memory_error_block == nullptr) return;
  lv_free_stored_block(lv_memory_error_block);
  lv_memory_error_block = nullptr;
}
