// The pending error, and raising errors through the Prolog-level handlers.
//
// C code records an error as pending (a code, a culprit term and a message)
// and then calls the error handler predicate, which turns it into an
// exception term. The handler runs when the C predicate fails into the
// choicepoint that raising pushes (see store/call_choicepoint.h).
#pragma once

#include <cstdint>

#include "core/error_codes.h"
#include "core/worker.h"

constexpr size_t LV_ERROR_MESSAGE_SIZE = 2048;

// Stores the code and culprit and copies the message, cut to at most 2047
// bytes at a UTF-8 character boundary; a null message stores
// "INTERNAL ERROR".
void lv_set_pending_error(int32_t code, const char* message, lv_term culprit);
int32_t lv_pending_error_code();
const char* lv_pending_error_message();
lv_term lv_pending_error_culprit();
// The culprit's cell: a root of stack shifts and collections.
lv_term* lv_pending_error_culprit_cell();

// Name(X0, ..., Xn-1) built on the heap (Name for n = 0, a list cell for
// '.'/2); it takes at most n + 1 cells. An unbound
// local-stack variable among the arguments is bound to a new heap variable,
// so that the goal holds no reference into the local stack.
lv_term lv_make_goal(lv_worker* w, lv_term name, unsigned n);
// Module:Goal, with Goal as lv_make_goal builds it.
lv_term lv_make_module_goal(lv_worker* w, lv_term module, lv_term name, unsigned n);

// Each calls an error handler predicate and returns what
// lv_push_call_choicepoint returns.
int lv_raise_builtin_error(lv_worker* w, lv_term module, lv_term name, unsigned arity, int64_t argument);
int lv_raise_error_goal(lv_worker* w, lv_term goal, int64_t argument);
int lv_raise_error_term(lv_worker* w, lv_term error_term);
int lv_arith_error(lv_worker* w, lv_term name, unsigned arity);
// An operating-system error: code LV_ERROR_SYSTEM with the message "<operation>: '<function>'
// failed: <system text>", or "<operation> not supported" when the function
// name is "not supported".
int lv_raise_win32_error(lv_worker* w, int os_error, const char* operation, const char* function);
