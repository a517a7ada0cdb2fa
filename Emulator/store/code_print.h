// Printing code and the trace helpers: code listings, predicates, goals and
// registers on user_error.
//
// Everything read from code is checked before it is followed: a predicate
// operand is printed by name only when it names a known predicate, a
// constant only when it is an atomic word (atoms only when live).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/term.h"

struct lv_pred;
struct lv_worker;

// A term as text for traces and listings, cut to size with "..." (nested
// deeper than a limit, or longer lists). Unbound variables print as "_"
// and a number, compound terms in canonical form, lists as [a,b|T].
// follow: pointers are followed (a heap term); else a word that is not
// atomic prints as its hexadecimal value (a word read from code).
void lv_term_text(lv_term t, bool follow, char* buffer, size_t size);

// A predicate as "Module:Name" (its owner module), "/Arity" added when asked;
// an internal entry header as its address; anything else as its address.
void lv_pred_text(const void* pred, bool with_arity, char* buffer, size_t size);

// The name of one of the five shared code pieces (elsecode, failcode,
// dispatchcode, exitcode, cutexitcode), or null.
const char* lv_code_piece_name(const void* address);

// Prints the code at address on user_error up to and including the
// instruction that ends its straight-line code. With source information
// (a clause's side table: its byte size, a word per head argument, the
// head's line, then a word for each new variable and after each call in
// code order) a HEAD line comes first, new variables get their names and
// calls their lines. An address outside the registered blocks prints as a
// stub. Flushes.
void lv_print_code(const uint32_t* address, const uint64_t* source, int arity);

// Trace helpers; each prints on user_error, those that end a line flush.
void lv_print_functor(lv_term functor, bool newline);  // Name/Arity
void lv_print_pred(const void* pred, bool with_arity);
void lv_print_pred_spec_nl(const void* pred);          // Module:Name/Arity and a newline
void lv_print_goal(lv_worker* w, const lv_pred* pred);  // Module:Name(X0, ..., Xn-1)
void lv_print_register(lv_worker* w, uint64_t n);        // the term in X(n)
void lv_print_permanent(lv_worker* w, uint64_t n);       // the term in Y(n) of E
