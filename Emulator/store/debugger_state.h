// The debugger's process-wide state (its mode, the leash word, the break
// level, the advice switch and a second switch read by the entry decision)
// and the entry decision that chooses whether predicates are entered
// through the debugger.
#pragma once

#include <cstdint>

#include "core/predefined_atoms.h"
#include "core/worker.h"

// Atoms the debugger's built-ins answer and compare with.
constexpr lv_term LV_DBG_TRACE = lv_predefined_atom(54);
constexpr lv_term LV_DBG_DEBUG = lv_predefined_atom(55);
constexpr lv_term LV_DBG_ZIP = lv_predefined_atom(56);
constexpr lv_term LV_DBG_DET = lv_predefined_atom(161);
constexpr lv_term LV_DBG_NONDET = lv_predefined_atom(162);
constexpr lv_term LV_DBG_FLIT_CALL = lv_predefined_atom(163);
constexpr lv_term LV_DBG_INVST = lv_predefined_atom(164);
constexpr lv_term LV_DBG_PROCEED = lv_predefined_atom(166);
constexpr lv_term LV_DBG_ASK = lv_predefined_atom(167);
constexpr lv_term LV_DBG_REDO = lv_predefined_atom(168);
constexpr lv_term LV_DBG_PRINT = lv_predefined_atom(169);
constexpr lv_term LV_DBG_FLIT = lv_predefined_atom(170);
constexpr lv_term LV_DBG_SILENT = lv_predefined_atom(171);
constexpr lv_term LV_DBG_EXEC_ST = lv_predefined_atom(172);
constexpr lv_term LV_DBG_ADVICE = lv_predefined_atom(173);

// Debugger slots the native side reads or writes.
enum : unsigned {
  LV_DBG_SLOT_ACTION = 0,   // trace, debug, zip, off, or an integer skip depth
  LV_DBG_SLOT_SHOW = 1,     // print or silent
  LV_DBG_SLOT_DO = 2,       // proceed, ask, flit, or a port advice structure
  LV_DBG_SLOT_PORT = 3,     // the current port
  LV_DBG_SLOT_COUNTER = 5,  // the box counter term of new boxes
};

// Leash bits: which ports ask.
enum : int64_t {
  LV_LEASH_FAIL = 1,
  LV_LEASH_REDO = 2,
  LV_LEASH_EXIT = 4,
  LV_LEASH_CALL = 8,
  LV_LEASH_EXCEPTION = 16,
};

struct lv_debugger_globals {
  lv_term mode;          // off, trace, debug or zip
  bool advice;           // the advice switch
  bool second;           // the process-wide switch read by the entry decision
  int64_t leash;         // leash bits
  int64_t break_level;
};
extern lv_debugger_globals lv_debugger;

// Entry modes (debug_mode of the engine context): 1 debugging, 2 entering
// spy points only, 3 and 4 the same while inside a procedure box, where
// every predicate runs its own definition.
int64_t lv_debugger_entry_mode(const lv_worker* w);

// Recomputes the entry mode; when it changes between debugging (1 or 3)
// and not, every predicate's entry is selected anew.
void lv_sync_debugger(lv_worker* w);

// Sets the in-box switch and resynchronises.
void lv_debugger_set_in_box(lv_worker* w, bool on);

// Shutdown: the process-wide state back to its start values, the slot
// table emptied.
void lv_debugger_reset();

// A backtrace request: trace from here on.
void lv_backtrace_action();

int prolog_debugger_global(lv_worker* w);  // $debugger_global(Old, New)
int prolog_sync_debugger(lv_worker* w);    // $sync_debugger
int prolog_leash_mode(lv_worker* w);       // $leash_mode(Old, New)
int prolog_breaklevel(lv_worker* w);       // $breaklevel(Old, Increment)
