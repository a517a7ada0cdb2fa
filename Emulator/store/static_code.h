// Static code sequences, try records and stubs made once at start-up, and
// the continuation stubs shared by frame size.
#pragma once

#include <cstdint>

#include "store/try_record.h"

struct lv_pred;

// Each sequence is preceded by the frame-size word 16; the address is that
// of its first instruction.
extern const uint32_t* lv_fail_code;       // FAIL, EXIT_TOPLEVEL: the "fail always" code
extern const uint32_t* lv_else_fail_code;  // a second copy: "else fail" (and "fail for now")
extern const uint32_t* lv_switch_code;     // SWITCH_ON_PRED
extern const uint32_t* lv_proceed_code;    // PROCEED, EXIT_TOPLEVEL
extern const uint32_t* lv_progress_code;   // PROGRESS, EXIT_TOPLEVEL
extern const uint32_t* lv_exit_code;       // EXIT_TOPLEVEL, 1
extern const uint32_t* lv_cutb_code;       // CUTB, EXIT_TOPLEVEL, 1
extern const uint32_t* lv_bottom_code;     // EXIT_TOPLEVEL, 0: under every query
// Fixed continuations (their frame sizes in brackets).
extern const uint32_t* lv_restore_caller_code;      // [32] RESTORE_CALLER_PROGRESS
extern const uint32_t* lv_restore_operands_code;    // [32] RESTORE_OPERANDS_PROGRESS
extern const uint32_t* lv_fixed_continuation_code;  // [40] PROGRESS: pops a frame of three values

// The address the last try record of a series continues at when retried.
extern void* lv_retry_end;

// A 104-byte call stub: a try record whose target is the stub's own code.
struct lv_call_stub {
  lv_try_record record;
  uint32_t code[18];
};
static_assert(sizeof(lv_call_stub) == 104);

// Try records and stubs made at start-up.
struct lv_static_records {
  lv_try_record* fail_record;        // heap record: target lv_fail_code, 48 bytes
  lv_try_record fail_alternative;    // target lv_fail_code
  lv_try_record proceed_alternative; // target lv_proceed_code
  lv_call_stub* exit_stub;           // EXIT_TOPLEVEL; next = itself
  lv_call_stub* exit_stub_minus;     // EXIT_TOPLEVEL followed by -1; next = 0
};
extern lv_static_records lv_static;

// Builds the static code, the start-up records and the continuation stubs
// for arities 0 to 256.
void lv_init_static_code();

// The shared continuation stub for n live permanent variables: 16 bytes
// {key 8n + 16, frame size 8n + 16 (0 when it does not fit 32 bits),
// KONTINUE}; the address of its KONTINUE word. Made on first use and kept.
const uint32_t* lv_code_stub_for_arity(uint64_t n);
// Whether a KONTINUE word is that of a shared stub (no predicate record).
bool lv_is_shared_continuation_stub(const uint32_t* kontinue);

// The call stub of a C routine with n arguments: a try record whose
// alternative retries the routine (RETRY_CQ).
lv_call_stub* lv_new_c_call_stub(void* routine, unsigned n);

// The call stub of a predicate: a try record (next 0) whose alternative
// calls the predicate with the saved argument registers (EXECUTEQ).
lv_call_stub* lv_new_pred_call_stub(const lv_pred* pred);
