// Words outside the heap that hold heap pointers across calls that may move
// the heap: pinned here, they are visited by the engine hook like the queue
// slots (marked, relocated, shifted). A pin lives until it is unpinned; the
// pins of a call are dropped together (fd_unpin_to a mark taken before).
#pragma once

#include <cstdint>

#include "kernel/runtime.h"
#include "kernel/terms.h"

// Pins the word, which must hold an atomic term or a heap pointer while it
// is pinned.
void fd_pin(const lv_foreign_env* env, lv_term* word);
// The number of pins, to unpin back to.
int64_t fd_pin_mark(const lv_foreign_env* env);
void fd_unpin_to(const lv_foreign_env* env, int64_t mark);
// Drops the pin of one word (the newest pin of it).
void fd_unpin(const lv_foreign_env* env, const lv_term* word);
// A collection works on slot copies of the pinned words (the engine hook
// makes them when it marks); following it, the words take the slots'
// values. Every call into the runtime that may collect follows it.
void fd_pins_to_slots(const lv_foreign_env* env);
void fd_pins_follow(const lv_foreign_env* env);
