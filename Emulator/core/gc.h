// The garbage collector's entry points and its process-wide settings, as the
// stack shifter calls them. The collector itself is not written yet: its
// entries here collect nothing, so an overflow always grows or moves the
// stacks.
#pragma once

#include <cstdint>

#include "core/predefined_atoms.h"
#include "core/worker.h"

constexpr lv_term LV_ATOM_TERSE = lv_predefined_atom(65);
constexpr lv_term LV_ATOM_VERBOSE = lv_predefined_atom(66);

// The settings kept by $gc_mode, $gc_trace and $gc_margin.
struct lv_gc_settings {
  lv_term mode;    // on or off: off disables collection on ordinary overflows
  lv_term trace;   // off, terse or verbose
  int64_t margin;  // kilobytes
};
extern lv_gc_settings lv_gc_setting;

// The collector's two debug words: when either is non-zero, heap_overflow
// runs the consistency check first; the first also makes it report its
// entry and exit on the C standard error stream.
extern int64_t lv_gc_debug_words[2];

// Collects the heap above the H saved in the newest marked choicepoint;
// returns the estimate of garbage left in the older part (cells).
int64_t lv_gc(lv_worker* w);

// Removes trail entries that no choicepoint needs, and closes up the trail.
void lv_gc_trail_sweep(lv_worker* w);
void lv_gc_trail_compact(lv_worker* w, int mark);

// Checks the stacks; reports what is wrong.
void lv_gc_check(lv_worker* w);
