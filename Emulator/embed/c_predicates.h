// Predicates an embedding program defines with a C function of its own and
// a user-data word (the stash), and the helpers the runtime's own C
// predicates are defined and report errors with.
#pragma once

#include <cstdint>

#include "core/builtins.h"
#include "embed/foreign_call.h"
#include "core/termrefs.h"
#include "store/predicates.h"

// The function of a C-defined predicate (lv_c_predicate_fn, lorvika.h): it
// receives a term reference holding the goal Name(A1, ..., An) and the
// stash, and answers 1 for success; any other answer, LV_fail or an
// exception it raises, fails the call.

// The record the predicate's code hands to the trampoline (32 bytes;
// LV_malloc, never freed once the predicate is defined).
struct lv_c_predicate_record {
  lv_term name;  // registered
  int32_t arity;
  int32_t reserved;
  lv_c_predicate_fn function;
  void* stash;
};
static_assert(sizeof(lv_c_predicate_record) == 32);

extern "C" {
// Slot 94: defines name/arity in the module (an existing one; null or empty
// for the type-in module) through prolog:fli_define_stash_predicate/5, whose
// foreign-call code passes the record and the first argument's term
// reference to lv_c_predicate_trampoline. 1, or 0 (error 16 when the
// definition did not succeed).
int LV_define_c_predicate(const char* name, int arity, const char* module, lv_c_predicate_fn function, void* stash);
}

// Called by the foreign call: record->env is the definition record,
// record->args[0] the term reference of the first argument.
void lv_c_predicate_trampoline(lv_call_record* record);

// Finds or creates name/arity in the module (null: prolog) and clears its
// definition; with install set, the function becomes its definition (a C
// built-in, also copied to the modules importing it). The record, or null.
lv_pred* lv_define_c_function_predicate(const char* name, unsigned arity, lv_module* module, int install,
                                        lv_builtin_function function);

// Formats the message (2047 characters at most; empty when formatting fails
// or the text is cut) and makes it the pending error with code 5 and no
// culprit.
void lv_raise_formatted_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
