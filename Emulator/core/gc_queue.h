// The walk over the registered term cells (global term references): every
// slot of every non-empty block, in list order. One walk at a time: the
// cursor is process-wide, as the list is.
//
//   for (lv_gc_queue_reset(); !lv_gc_queue_done();) use(lv_gc_queue_next());
#pragma once

#include "core/termrefs.h"

// Starts a walk at the first slot of the first non-empty block.
void lv_gc_queue_reset();
// Whether the walk has passed the last slot.
bool lv_gc_queue_done();
// The slot at the cursor, and the cursor moves past it; null when done.
lv_termref_slot* lv_gc_queue_next();

// Calls f on every registered slot.
template <typename F>
void lv_for_each_registered_slot(F f) {
  for (lv_gc_queue_reset(); !lv_gc_queue_done();) f(lv_gc_queue_next());
}
