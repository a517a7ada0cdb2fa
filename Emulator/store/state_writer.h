// The saved-state writer: the records of modules, predicates, clauses and
// stored records.
#pragma once

#include <cstdint>

#include "core/term.h"
#include "store/state_io.h"

// Writes the records of a state into the open body (lv_save_open): a full
// state of kind LV_STATE_ALL or LV_STATE_ALL_BUT_PROLOG, or an increment
// (LV_STATE_SELECTED) of the modules named in full_modules (saved with
// their contents), in bare_modules (saved without predicates) and of the
// predicates named Module:Name/Arity in preds (lists, [] when none). 0, or
// a negative code with the reason in io->message; LVIO_E_PARAMETER_ERROR
// when a predicate's code calls a C function, which no state can hold (the
// foreign-call stubs the Prolog level makes are volatile and rebuilt by
// restore/1).
int64_t lv_save_state(lv_saved_state_io* io, uint32_t kind, lv_term full_modules, lv_term bare_modules, lv_term preds);
