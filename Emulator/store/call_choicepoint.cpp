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
  lv_choicepoint* c = lv_choice_view(b);
  c->save(reinterpret_cast<lv_term>(lv_try_alternative(stub)), w->local_top, w->H, w->TR, w->E, w->CP);
  // A size of an odd number of words saves one more word, [], as TRY does.
  unsigned saved = (stub->cp_size - sizeof(lv_choicepoint)) / 8;
  for (unsigned i = 0; i < saved; i++) c->args[i] = w->X[i];
  if (static_cast<unsigned>(size) > sizeof(lv_choicepoint) + 8 * saved) c->args[saved] = LV_ATOM_NIL;
  lv_make_choice_current(w, b);
  if (reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR) < CHOICE_ROOM_BYTES)
    lv_choice_overflow(w, LV_TRAIL_REQUEST_CELLS);
  return 0;
}

void lv_pop_call_choicepoint(lv_worker* w) {
  lv_make_choice_current(w, lv_choice_prev(w->B));
}
