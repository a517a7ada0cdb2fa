// Unwinding to the nearest catch.
#include "core/catch_frames.h"

#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "core/startup_records.h"
#include "store/static_code.h"

namespace {

bool query_frame(const lv_term* b) {
  const lv_try_record* r = lv_alternative_record(b[LV_CP_ALT]);
  return r == &lv_static.exit_stub->record || r == &lv_static.exit_stub_minus->record ||
         r == &lv_startup.bottom_alternative;
}

// A catch is live while the current environment chain still reaches the
// environment its choicepoint saved.
bool live_catch(const lv_worker* w, const lv_term* b) {
  const lv_term* saved_local_top = reinterpret_cast<const lv_term*>(b[LV_CP_LOCAL_TOP]);
  const lv_term* saved_e = reinterpret_cast<const lv_term*>(b[LV_CP_E]);
  const lv_term* e = w->E;
  while (e != nullptr && e >= saved_local_top && e != saved_e) e = reinterpret_cast<const lv_term*>(e[LV_FRAME_E]);
  return e == saved_e;
}

}  // namespace

int lv_unwind_to_catch_frame(lv_worker* w) {
  lv_set_pending_error(LV_ERROR_FAULT, "user", LV_ATOM_NIL);
  lv_term* b = w->B;
  for (;;) {
    bool query = query_frame(b);
    bool saves_x1 = lv_alternative_cp_size(b[LV_CP_ALT]) >= static_cast<int32_t>(8 * (LV_CP_ARGS + 2));
    if (query || (saves_x1 && b[LV_CP_ARGS + 1] == LV_ATOM_CATCH_HOOK && live_catch(w, b))) {
      w->B = b;
      w->HB = reinterpret_cast<lv_term*>(b[LV_CP_H]);
      w->saved_local_top = reinterpret_cast<lv_term*>(b[LV_CP_LOCAL_TOP]);
      if (!query) return 0;
      // The bottom choicepoint stays as it is: failing into it ends the run.
      if (lv_alternative_record(b[LV_CP_ALT]) != &lv_startup.bottom_alternative)
        b[LV_CP_ALT] = reinterpret_cast<lv_term>(lv_try_alternative(&lv_static.exit_stub_minus->record));
      return 1;
    }
    b = lv_choice_prev(b);
  }
}
