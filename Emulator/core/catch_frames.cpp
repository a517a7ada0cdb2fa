// Unwinding to the nearest catch.
#include "core/catch_frames.h"

#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "core/startup_records.h"
#include "store/static_code.h"

namespace {

bool query_frame(const lv_choicepoint* c) {
  const lv_try_record* r = c->alternative();
  return r == &lv_static.exit_stub->record || r == &lv_static.exit_stub_minus->record ||
         r == &lv_startup.bottom_alternative;
}

// A catch is live while the current environment chain still reaches the
// environment its choicepoint saved.
bool live_catch(const lv_worker* w, const lv_choicepoint* c) {
  const lv_term* saved_local_top = c->saved_local_top();
  const lv_term* saved_e = c->saved_e();
  const lv_term* e = w->E;
  while (e != nullptr && e >= saved_local_top && e != saved_e) e = lv_frame_view(e)->previous();
  return e == saved_e;
}

}  // namespace

int lv_unwind_to_catch_frame(lv_worker* w) {
  lv_set_pending_error(LV_ERROR_FAULT, "user", LV_ATOM_NIL);
  lv_term* b = w->B;
  for (;;) {
    lv_choicepoint* c = lv_choice_view(b);
    bool query = query_frame(c);
    bool saves_x1 = c->size() >= static_cast<int32_t>(sizeof(lv_choicepoint) + 2 * sizeof(lv_term));
    if (query || (saves_x1 && c->args[1] == LV_ATOM_CATCH_HOOK && live_catch(w, c))) {
      lv_make_choice_current(w, b);
      if (!query) return 0;
      // The bottom choicepoint stays as it is: failing into it ends the run.
      if (c->alternative() != &lv_startup.bottom_alternative)
        c->alt = reinterpret_cast<lv_term>(lv_try_alternative(&lv_static.exit_stub_minus->record));
      return 1;
    }
    b = lv_choice_prev(b);
  }
}
