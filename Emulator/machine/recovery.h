// The emulator's recovery record: the protected entry registers one while a
// query runs; an event found pending inside a long-running built-in unwinds
// to it with code -3, and a memory fault with code -2.
#pragma once

#include "core/fault.h"
#include "core/worker.h"

constexpr int LV_UNWIND_EVENT = -3;
constexpr int LV_UNWIND_REINIT = -2;

// The type word of a recovery record.
constexpr uint64_t LV_RECOVERY_RECORD_TYPE = 272;

lv_jump_record* lv_current_recovery();
void lv_set_current_recovery(lv_jump_record* record);

// 1 when an event is pending (the heap soft limit is 0).
int lv_event_pending(const lv_worker* w);

// Returns the heap soft limit; when it is 0 and a recovery record is
// current, unwinds to it with code -3 instead.
lv_term* lv_check_event(lv_worker* w);
