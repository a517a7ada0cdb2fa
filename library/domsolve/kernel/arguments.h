// Checking the arguments of the solver's foreign predicates: a bad argument
// raises a type error whose context names the predicate and the argument.
#pragma once

#include "kernel/fdset.h"
#include "kernel/foreign_predicates.h"

// The predicate being run, for the context of its errors: its name, arity
// and the term references of its arguments (-1 where an argument is no term
// reference).
struct call_site {
  const char* name;
  int arity;
  fd_t args[6];
};

// Raises type_error(Type, the term of argument argno (from 1)).
void fd_argument_error(lv_foreign_env* env, const call_site& site, int argno, const char* type);
// The set held in argument argno, rebuilt without references when its
// cells hold any; false after raising a type error. *kind is FDSET_FINITE
// or FDSET_INFINITE.
bool set_argument(lv_foreign_env* env, const call_site& site, int argno, fdset* set, int* kind = nullptr);
// The small integer held in argument argno; false after raising a type
// error.
bool integer_argument(lv_foreign_env* env, const call_site& site, int argno, lv_term* value);
