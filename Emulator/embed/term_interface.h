// The C interface's term functions: building terms in term references,
// reading them back, atoms seen from C, unification and comparison. Each
// checks its term references first; a refused argument sets the interface
// error and the function answers 0 (or the documented failure value). None
// raises a Prolog exception.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "core/termrefs.h"

// Term kinds of LV_term_type.
enum : int {
  LV_TYPE_VARIABLE = 1,
  LV_TYPE_INTEGER = 2,
  LV_TYPE_ATOM = 3,
  LV_TYPE_FLOAT = 4,
  LV_TYPE_COMPOUND = 5,
};

lv_term lv_ref_term(lv_term_ref t);

// Construction.
int LV_put_variable(lv_term_ref t);
int LV_put_term(lv_term_ref t, lv_term_ref source);
int LV_put_integer(lv_term_ref t, int64_t value);
int LV_put_address(lv_term_ref t, void* pointer);
int LV_put_float(lv_term_ref t, double value);
int LV_put_atom(lv_term_ref t, lv_term atom);
int LV_put_string(lv_term_ref t, const char* text);
int LV_put_list_codes(lv_term_ref t, lv_term_ref tail, const char* text);
int LV_put_list_n_codes(lv_term_ref t, lv_term_ref tail, size_t length, const char* text);
int LV_put_list_n_bytes(lv_term_ref t, lv_term_ref tail, size_t length, const unsigned char* bytes);
int LV_put_number_codes(lv_term_ref t, const char* text);
int LV_put_functor(lv_term_ref t, lv_term name, int arity);
int LV_put_list(lv_term_ref t);
int LV_cons_functor(lv_term_ref t, lv_term name, int arity, ...);
// The same with the argument references as a variable-argument list.
int LV_cons_functor_va(lv_term_ref t, lv_term name, int arity, va_list args);
int LV_cons_functor_array(lv_term_ref t, lv_term name, int arity, const lv_term_ref* args);
int LV_cons_list(lv_term_ref t, lv_term_ref head, lv_term_ref tail);
int LV_put_integer_bytes(lv_term_ref t, const void* buffer, size_t count, int native);

// Inspection.
int LV_get_integer(lv_term_ref t, int64_t* value);
int LV_get_address(lv_term_ref t, void** pointer);
int LV_get_float(lv_term_ref t, double* value);
int LV_get_atom(lv_term_ref t, lv_term* atom);
int LV_get_string(lv_term_ref t, const char** text);
int LV_get_list_codes(lv_term_ref t, const char** text);
int LV_get_number_codes(lv_term_ref t, const char** text);
int LV_get_list_n_codes(lv_term_ref t, lv_term_ref tail, size_t size, int* count, char* buffer);
int LV_get_list_n_bytes(lv_term_ref t, lv_term_ref tail, size_t max, size_t* count, unsigned char* buffer);
int LV_get_functor(lv_term_ref t, lv_term* name, int* arity);
int LV_get_list(lv_term_ref t, lv_term_ref head, lv_term_ref tail);
int LV_get_arg(int i, lv_term_ref t, lv_term_ref arg);
int LV_get_integer_bytes(lv_term_ref t, void* buffer, size_t* count, int native);

int LV_term_type(lv_term_ref t);
int LV_is_variable(lv_term_ref t);
int LV_is_integer(lv_term_ref t);
int LV_is_float(lv_term_ref t);
int LV_is_atom(lv_term_ref t);
int LV_is_compound(lv_term_ref t);
int LV_is_list(lv_term_ref t);
int LV_is_atomic(lv_term_ref t);
int LV_is_number(lv_term_ref t);

// Atoms.
lv_term LV_atom_from_string(const char* text);
lv_term LV_existing_atom_from_string(const char* text);
const char* LV_string_from_atom(lv_term atom);
size_t LV_atom_length(lv_term atom);

int LV_unify(lv_term_ref a, lv_term_ref b);
int LV_compare(lv_term_ref a, lv_term_ref b);

// Runtime-internal forms with lvio result codes and interface error numbers:
// an integer term as bytes (as LV_get_integer_bytes: 0, LVIO_E_OUT_OF_MEMORY
// when the buffer is too small, *count then holding the bytes needed,
// LVIO_E_NOT_SUPPORTED for the native flag with a count other than 2, 4 or
// 8, LVIO_E_PARAMETER_ERROR for a term that is no integer); and the name and
// arity of a callable term (an atom has arity 0, a list cell is '.'/2): 0, or
// LV_ERR_WRONG_TYPE.
int64_t lv_integer_to_bytes(lv_term x, void* buffer, size_t* count, int native);
int lv_callable_name_arity(lv_term x, lv_term* name, int* arity);

// Writes "_" and the variable's word offset from the heap base into a buffer
// of the given size (always NUL-terminated when size > 0); an invalid
// reference writes "_$". Answers 1, or 0 when the text did not fit.
int lv_variable_to_string(lv_term_ref t, char* buffer, size_t size);

// Writes the term to user_error as the debugging printer does, then a
// newline, and flushes it; an invalid reference writes '$invalid_ref'.
void LV_write_term(lv_term_ref t);
