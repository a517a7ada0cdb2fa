// call/N: resolving a closure and its added arguments to the predicate to
// call, and calling a predicate by name from native code.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_pred;

// call/N with X0 the closure and X1 .. Xn-1 the added arguments
// (1 <= n <= 255); call_site is the address after the calling instruction.
// Module qualifiers Module:Closure are stripped, the innermost module whose
// name is an atom choosing the module (the type-in module when there is
// none); a cyclic chain of qualifiers stops the stripping.
//  - A callable closure (atom, compound term or list cell) whose arity plus
//    n - 1 is below 256: the closure's arguments and then the added ones are
//    put in X0, X1, ...; when the module resolves that predicate and it is
//    defined, it is returned for the caller to call directly. Otherwise
//    (also after a cyclic chain) the goal is built on the heap and the
//    meta-call predicate is returned with X0 = goal, X1 = module name,
//    X2 = call site (an integer).
//  - Otherwise (not callable, or 256 arguments or more) the call-error
//    predicate is returned with X0 = call(Closure, Arg1, ..., Argn-1) (the
//    closure as given) and X1 = call site.
// Heap room is made through the overflow routine, keeping the registers that
// hold the goal.
lv_pred* lv_build_call_n_goal(lv_worker* w, unsigned n, const uint32_t* call_site);

// Calls a predicate by name for native code: X0 is the name (an atom, or a
// functor word Name | Arity << 55 for arity above 0), X1 the module and args
// the arguments. Returns 3 when the predicate is not found or is to be run
// by the emulator (any kind but native code and C; a spied predicate whose
// underlying kind is one of those counts as that kind unless it has block
// declarations). Otherwise the arguments are loaded into X0 ...: for native
// code the predicate becomes the context's called predicate and 2 is
// returned; a C predicate is run with P at its KONTINUE word and its result
// (1 or 0) is returned.
int lv_resolve_callable(lv_worker* w, const lv_term* args);
