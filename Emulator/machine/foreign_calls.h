// The work of the foreign-call instructions (OPEN_FOREIGN_CALL ...
// CLOSE_FOREIGN_CALL, emulator file insn_foreign.inc): filling the call
// record (embed/foreign_call.h), calling the C function, and converting its
// results back to terms.
//
// The foreign frame that OPEN_FOREIGN_CALL pushes is E throughout: {previous
// E, CP, X0 .. Xn-1}. Its argument registers give the context of the errors
// the conversions raise: the predicate of the record, the argument number
// being the register's index + 1. An error is raised (the pending error set
// and the error handler's call pushed, see machine/emulator_errors.h) after
// the record is released; the emulator then fails into the handler.
#pragma once

#include <cstdint>

#include "core/error_codes.h"
#include "core/worker.h"
#include "embed/foreign_call.h"

enum lv_foreign_kind : int {
  LV_FOREIGN_INTEGER,
  LV_FOREIGN_FLOAT,
  LV_FOREIGN_TERM,
  LV_FOREIGN_ATOM,
  LV_FOREIGN_STRING,
  LV_FOREIGN_CODES,
};

// Error codes of the conversions (core/error_codes.def):
//   LV_ERROR_NOT_A_NUMBER    an integer or float argument that is no number
//   LV_ERROR_ARGUMENT_RANGE  an integer argument outside 64 bits
//   LV_ERROR_NOT_FINITE      a float argument that converts to no finite double
//   LV_ERROR_NOT_AN_ATOM     an atom or text argument that is no atom
//   LV_ERROR_NOT_CODES       a code-list argument that is no proper list of codes
//   LV_ERROR_INVALID_TEXT    a text result that is no valid text

// Starts a call of pred: the record cleared, count term references made,
// env stored (when not null), registers: the argument registers the foreign
// frame holds.
void lv_foreign_open(lv_worker* w, lv_call_record* r, const lv_pred* pred, uint32_t registers, uint32_t count,
                     void* env);

// Appends the argument of kind from argument register reg holding value.
// Returns 1, or 0 after raising the conversion's error.
int lv_foreign_push(lv_worker* w, lv_call_record* r, lv_foreign_kind kind, uint32_t reg, lv_term value);
// Reserves an output slot of the kind and appends its address (its term
// reference's index for a term).
void lv_foreign_push_result(lv_worker* w, lv_call_record* r, lv_foreign_kind kind);

// Calls the function with the record, the engine's C-call status set to 1
// meanwhile. 1: it succeeded. 0: it cleared the status (it failed or raised
// an error); the record is released. -1: an event found pending inside it
// unwound the call (lv_check_event); the record is released, the foreign
// frame popped and the argument registers restored from it, so that calling
// the predicate again starts the call afresh.
int lv_foreign_invoke(lv_worker* w, lv_call_record* r, lv_foreign_function f);

// Unifies a result word of the kind with the foreign frame's slot at Y
// offset y. 1, or 0 when it does not unify or after raising an error (an
// invalid text); the record is released on 0.
int lv_foreign_unify_result(lv_worker* w, lv_call_record* r, lv_foreign_kind kind, uint64_t word, uint32_t y);
// The next output slot's word.
uint64_t lv_foreign_next_output(lv_call_record* r);

// Releases the record's term references and texts.
void lv_foreign_release(lv_worker* w, lv_call_record* r);
