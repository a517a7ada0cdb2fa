// The C functions the glue routines call. They use the Windows x64 calling
// convention (ms_abi), which the glue's register convention and native
// frame are laid out for: arguments in rcx, rdx, r8 and r9, a home area
// above the return address, rsi and rdi kept across the call. Each one
// works on the engine context, whose registers the glue has saved, and
// most are thin doors to the engine's own functions.
#pragma once

#include <cstdint>

#include "core/builtins.h"
#include "core/worker.h"

struct lv_pred;

#define LV_GLUE_CALL __attribute__((ms_abi))

extern "C" {

// Runs a C predicate's function (P is set): 1 or 0.
LV_GLUE_CALL int lv_native_call_c(lv_worker* w, lv_builtin_function function);

// $nodebug_call/2 with X0 the goal and X1 the module: 0 or 1 after running
// a C predicate, 2 with the arguments loaded and the called predicate set
// for native code, 3 (X0 and X1 as they were) for the emulator.
LV_GLUE_CALL int lv_native_resolve_callable(lv_worker* w);

// call/1 of the goal, P the call site: the predicate to call, its
// arguments in X0...
LV_GLUE_CALL lv_pred* lv_native_build_call(lv_worker* w, lv_term goal);

// Room between the trail and the choice stack.
LV_GLUE_CALL void lv_native_choice_overflow(lv_worker* w);

// General unification: 1 or 0 (bindings made so far stay for backtracking).
LV_GLUE_CALL int lv_native_unify(lv_worker* w, lv_term a, lv_term b);

// The standard order: -1, 0 or 1.
LV_GLUE_CALL int lv_native_compare(lv_worker* w, lv_term a, lv_term b);

// ground/1 of a compound term: 1 or 0.
LV_GLUE_CALL int lv_native_ground(lv_worker* w, lv_term t);

// Arithmetic comparison of two numbers: 0, 1, 2 for less, equal, greater,
// or 0x80000000 after raising an error.
LV_GLUE_CALL uint32_t lv_native_arith_compare(lv_worker* w, lv_term x, lv_term y);

// x /\ y, or 0 after raising an error.
LV_GLUE_CALL lv_term lv_native_arith_and(lv_worker* w, lv_term x, lv_term y);

// The evaluable function of call-out index (glue_callouts.def) on x (and
// y): the result, or 0 after raising an error.
LV_GLUE_CALL lv_term lv_native_evaluate(lv_worker* w, uint32_t index, lv_term x, lv_term y);

// The next number-stack chunk.
LV_GLUE_CALL void lv_native_numstack_overflow(lv_worker* w);

// The argument registers beyond X255.
LV_GLUE_CALL void lv_native_spill(lv_worker* w, int64_t n, lv_term value);
LV_GLUE_CALL lv_term lv_native_unspill(lv_worker* w, int64_t n);

// The inline built-ins' C twins, given P (the code after the built-in) and
// E: the code to continue at, null for failure.
LV_GLUE_CALL const uint32_t* lv_native_inline_arg(lv_worker* w, lv_term n, lv_term t, lv_term a);
LV_GLUE_CALL const uint32_t* lv_native_inline_functor(lv_worker* w, lv_term t, lv_term name, lv_term arity);
LV_GLUE_CALL const uint32_t* lv_native_inline_length(lv_worker* w, lv_term list, lv_term n, lv_term);
LV_GLUE_CALL const uint32_t* lv_native_inline_univ(lv_worker* w, lv_term t, lv_term list, lv_term);
LV_GLUE_CALL const uint32_t* lv_native_inline_append(lv_worker* w, lv_term a, lv_term b, lv_term c);
LV_GLUE_CALL const uint32_t* lv_native_inline_compare(lv_worker* w, lv_term order, lv_term a, lv_term b);
LV_GLUE_CALL const uint32_t* lv_native_inline_create_mutable(lv_worker* w, lv_term value, lv_term m, lv_term);
LV_GLUE_CALL const uint32_t* lv_native_inline_get_mutable(lv_worker* w, lv_term value, lv_term m, lv_term);
LV_GLUE_CALL const uint32_t* lv_native_inline_update_mutable(lv_worker* w, lv_term value, lv_term m, lv_term);

// An arithmetic result as a heap term (value untagged unless boxed): 0 when
// the heap has no room for it.
LV_GLUE_CALL lv_term lv_native_store_variable(lv_worker* w, lv_term value, int boxed);

// Unifies term with an arithmetic result: 1, 0, or -1 when the heap has no
// room for the result.
LV_GLUE_CALL int lv_native_store_value(lv_worker* w, lv_term term, lv_term value, int boxed);

}  // extern "C"
