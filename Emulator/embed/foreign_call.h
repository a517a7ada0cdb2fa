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
#include <cstdint>

struct lv_pred;

// Argument words, doubles and output slots a call can have each.
constexpr uint32_t LV_CALL_RECORD_SLOTS = 256;

struct lv_call_record {
  void* env;              // word 0: the resource's lv_foreign_env, or null
  uint32_t arg_count;     // word 1: argument words pushed
  uint32_t double_count;  //         doubles pushed
  int32_t termref_first;  // word 2: the term references made for the call
  int32_t termref_count;
  int64_t result;         // word 3: the return value (integer, atom word, text address or term reference)
  double float_result;    // word 4: the return value of a function returning a float
  uint64_t args[LV_CALL_RECORD_SLOTS];     // words 5 ...: the argument words in push order
  double doubles[LV_CALL_RECORD_SLOTS];    // the double arguments in push order
  uint64_t outputs[LV_CALL_RECORD_SLOTS];  // the output slots

  // The emulator's own words.
  uint32_t output_count;   // output slots reserved
  uint32_t output_cursor;  // the next slot POP_* reads
  int32_t termref_next;    // the next term reference PUSH_TERM takes
  uint32_t saved_registers;  // argument registers saved in the foreign frame
  const lv_pred* pred;     // the foreign predicate: the context of its errors
  void* texts;             // the texts made by PUSH_CODES, chained by their first word
};
static_assert(offsetof(lv_call_record, env) == 0);
static_assert(offsetof(lv_call_record, termref_first) == 16);
static_assert(offsetof(lv_call_record, result) == 24);
static_assert(offsetof(lv_call_record, float_result) == 32);
static_assert(offsetof(lv_call_record, args) == 40);

// A C function called by CALL_FOREIGN.
typedef void (*lv_foreign_function)(lv_call_record* record);
