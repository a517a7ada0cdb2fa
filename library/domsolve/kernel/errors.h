// Errors the solver's foreign predicates raise, in the system's form
// error(Formal, Context) (see boot/errors.pl): the context repeats the error
// class with the goal (domsolve:Goal) and the argument at fault.
#pragma once

#include "kernel/runtime.h"

// error(system_error, system_error(Message)).
void fd_raise_system_error(lv_foreign_env* env, const char* message);

// error(type_error(Type, Culprit), type_error(domsolve:Goal, ArgNo, Type,
// Culprit)), Goal being name(A1, ..., An) with Ai the term held in
// arguments[i-1], or a fresh variable where that is -1 (an argument that is
// no term reference, such as a result).
void fd_raise_type_error(lv_foreign_env* env, const char* type, lv_term_ref culprit, const char* name, int arity,
                         const lv_term_ref* arguments, int argno);
