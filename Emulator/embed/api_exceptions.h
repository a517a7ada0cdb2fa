// The C interface's error number and messages, and exceptions seen from C:
// the pending exception, raising one from a C predicate, and the reserved
// abort and halt exceptions '$reserved'(N) (code N & 255: 3 abort, 4 halt;
// N >> 8 the exit code of a halt).
#pragma once

#include <cstdint>

#include "core/termrefs.h"

constexpr int LV_RESERVED_ABORT = 3;
constexpr int LV_RESERVED_HALT = 4;

// The current error number, and the text of a number (that of 16, "Unknown
// error", for one outside the table).
int LV_get_errno();
const char* LV_error_message(int number);

// Stores a copy of the pending exception in the reference: 1, or 0 when
// none is pending (the exception stays pending). Invalid reference: error 2.
int LV_exception_term(lv_term_ref t);
// Raise the term (an invalid reference raises '$invalid_ref') as the
// exception of the running C call, which then fails whatever it returns.
int LV_raise_exception(lv_term_ref t);
// Make the running C call fail whatever it returns.
void LV_fail();
// Records the pending error {code, message, culprit} (culprit [] for
// reference 0, '$invalid_ref' for an invalid one) and raises it as an
// error of argument argno of module:name/arity; the running C call fails.
int LV_save_and_raise_error(int code, const char* message, lv_term_ref culprit, const char* name,
                            const char* module, int arity, int argno);

// For t holding '$reserved'(N): the reserved code N & 255, and N >> 8
// written to *exit_code when the code is nonzero and exit_code is not null.
// 0 for another callable term, 0 with error 11 for a term that is not
// callable (2 for an invalid reference).
int LV_decode_reserved_exception(lv_term_ref t, int* exit_code);
