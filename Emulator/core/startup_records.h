// Records that start-up sets up and the engine only reads: the call stubs of
// the Prolog predicates the engine calls by role, and the fixed alternative
// records it compares choicepoints against.
#pragma once

#include "core/term.h"
#include "store/try_record.h"

struct lv_startup_records {
  // Call stubs of the role predicates (null until the boot file is loaded).
  const lv_try_record* error_handler;       // Module:Goal, argument number, culprit, []
  const lv_try_record* error_term_handler;  // error term, []

  // Fixed alternatives.
  lv_try_record bottom_alternative;      // of the bottom choicepoint: 10 words; never removed
  lv_try_record relocation_alternative;  // of the temporary frames of the stack shifter: 6 words
};

extern lv_startup_records lv_startup;

// The atom '$eval', interned at start-up; evaluation errors wrap goals in it.
extern lv_term lv_atom_eval;
