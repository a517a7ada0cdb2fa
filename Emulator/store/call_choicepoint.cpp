// Choicepoints pushed by C routines.
#include "store/call_choicepoint.h"

#include "core/predefined_atoms.h"
#include "core/stack_shift.h"

namespace {

// Bytes that must stay free below a choicepoint pushed here.
constexpr int64_t CHOICE_ROOM_BYTES = 4089;

}  // namespace

int lv_push_call_choicepoint(lv_worker* w, const lv_try_record* stub) {
  int32_t size = lv_record_cp_size(stub->cp_size);
  lv_term* b = reinterpret_cast<lv_term*>(reinterpret_cast<char*>(w->B) - size);
  b[LV_CP_ALT] = reinterpret_cast<lv_term>(lv_try_alternative(stub));
  b[LV_CP_LOCAL_TOP] = lv_make_ref(w->local_top);
  b[LV_CP_H] = lv_make_ref(w->H);
  b[LV_CP_TR] = lv_make_ref(w->TR);
  b[LV_CP_E] = lv_make_ref(w->E);
  b[LV_CP_CP] = reinterpret_cast<lv_term>(w->CP);
  // A size of an odd number of words saves one more word, [], as TRY does.
  unsigned saved = stub->cp_size / 8 - LV_CP_ARGS;
  for (unsigned i = 0; i < saved; i++) b[LV_CP_ARGS + i] = w->X[i];
  if (static_cast<unsigned>(size / 8) > LV_CP_ARGS + saved) b[LV_CP_ARGS + saved] = LV_ATOM_NIL;
  w->B = b;
  w->HB = w->H;
  w->saved_local_top = w->local_top;
  if (reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR) < CHOICE_ROOM_BYTES)
    lv_choice_overflow(w, LV_TRAIL_REQUEST_CELLS);
  return 0;
}

void lv_pop_call_choicepoint(lv_worker* w) {
  lv_term* b = lv_choice_prev(w->B);
  w->B = b;
  w->HB = reinterpret_cast<lv_term*>(b[LV_CP_H]);
  w->saved_local_top = reinterpret_cast<lv_term*>(b[LV_CP_LOCAL_TOP]);
}
