// The emulator's recovery record.
#include "machine/recovery.h"

namespace {

lv_jump_record* current_recovery;

}  // namespace

lv_jump_record* lv_current_recovery() { return current_recovery; }

void lv_set_current_recovery(lv_jump_record* record) { current_recovery = record; }

int lv_event_pending(const lv_worker* w) { return lv_soft_limit(w) == nullptr ? 1 : 0; }

lv_term* lv_check_event(lv_worker* w) {
  lv_term* limit = lv_soft_limit(w);
  if (limit == nullptr && current_recovery != nullptr) lv_longjmp_(current_recovery, LV_UNWIND_EVENT);
  return limit;
}
