// The call record through which the emulator calls a C function of a foreign
// resource (the CALL_FOREIGN instructions). The function receives a pointer
// to the record; foreign resources and the solver plug-in read and write it
// at these offsets, so the layout is fixed (checked below).
//
// The code of a foreign predicate fills the record: OPEN_FOREIGN_CALL clears
// it, makes the term references the call needs and stores the resource's
// environment; each PUSH_* appends one argument word (PUSH_FLOAT one double
// to the separate list of doubles); each PUSH_RESULT_* reserves an output
// slot and appends its address (a term reference's index for
// PUSH_RESULT_TERM). The function reads its arguments in push order, writes
// its results through the output addresses and its return value into
// result or float_result. It reports failure, or an error it raised, by
// clearing the status word of the engine's current C call
// (lv_worker::foreign_call->status). POP_* and RECEIVE_* then convert the
// outputs and the return value back to terms.
//
// Argument words: an integer (PUSH_INTEGER) as a 64-bit integer, an atom
// (PUSH_ATOM) as its atom word, a text (PUSH_STRING, PUSH_CODES) as the
// address of a NUL-terminated UTF-8 text that lives until the call ends, a
// term (PUSH_TERM, PUSH_RESULT_TERM) as the index of a term reference.
// Output slots: an integer as int64_t, a float as double, an atom as its atom
// word, a text as the address of a NUL-terminated UTF-8 text, a term as a
// term reference's index.
#pragma once

#include <cstddef>

#include "lorvika.h"

// The layout (lv_call_record, lorvika.h) is fixed: foreign resources and the
// solver plug-in address it by offset.
static_assert(offsetof(lv_call_record, env) == 0);
static_assert(offsetof(lv_call_record, termref_first) == 16);
static_assert(offsetof(lv_call_record, result) == 24);
static_assert(offsetof(lv_call_record, float_result) == 32);
static_assert(offsetof(lv_call_record, args) == 40);
