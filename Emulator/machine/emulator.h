// The bytecode emulator and its entries.
//
// lv_run_emulator runs code on the engine context until an EXIT_TOPLEVEL
// instruction ends the run, and returns the 32-bit word that follows that
// instruction. lv_run_emulator_profiled is the same emulator compiled with
// its counting instruments.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_pred;

// The start value that resumes a run after an event unwound to its entry.
inline const uint32_t* lv_resume_start() { return reinterpret_cast<const uint32_t*>(intptr_t{-3}); }

// start: a code address, null (returns 0 at once) or lv_resume_start().
int32_t lv_run_emulator(lv_worker* w, const uint32_t* start);
int32_t lv_run_emulator_profiled(lv_worker* w, const uint32_t* start);

// Entry modes.
enum : int {
  LV_ENTER_FAIL = 0,       // backtrack into the newest choicepoint
  LV_ENTER_PROCEED = 2,    // continue at CP
  LV_ENTER_CALL = 3,       // call the predicate with the present X registers
  LV_ENTER_RESUME = -3,    // resume after an event unwound to the entry
  LV_ENTER_SETTINGS = -2,  // read the trace and profiling settings only
};

// Runs the emulator under a recovery record: an event found by a built-in
// (lv_check_event) re-enters with LV_ENTER_RESUME; a memory failure resets
// the engine's stacks and fails. Returns the emulator's result (0 for
// LV_ENTER_SETTINGS).
int32_t lv_enter_emulator_protected(lv_worker* w, int mode, lv_pred* pred);
// The same without a recovery record (start-up).
int32_t lv_enter_emulator(lv_worker* w, int mode, lv_pred* pred);

// The profiling switch: the atom on or off. While on, runs use the profiled
// emulator.
extern lv_term lv_profiling_switch;
// The predicate-trace level (LV_PREDTRACE).
extern int lv_predtrace_level;

// What a run saves at its start and gives back when it leaves.
struct lv_emulator_locals {
  int32_t termref_top;
  void* temp_blocks;  // blocks (LV_malloc) the run allocated, chained by their first word
};
void lv_emulator_save_locals(lv_worker* w, lv_emulator_locals* locals);
// Restores the term-reference top and frees the temporary blocks.
void lv_emulator_release_locals(lv_worker* w, lv_emulator_locals* locals);
