// Predicate information for the development tools: the $predinfo listing,
// the predicate/11 term and the built-ins that reach them.
#pragma once

#include "core/term.h"

struct lv_module;
struct lv_pred;
struct lv_worker;

// Prints on user_error what is known of a predicate as asked for in a
// module: its spec, native code, home module, properties, type, definition
// and, for a static predicate, its index and clauses with their code; for a
// dynamic one its clause table. A null predicate prints "does not exist".
// Flushes.
void lv_print_pred_info(lv_module* asked, const lv_pred* pred);

// By names: the module's name, the predicate's name and arity.
void lv_print_pred_info_named(lv_term module_name, lv_term name, unsigned arity);

// Unifies the term reference's term with predicate/11 (lv_pred_properties_term)
// of the predicate named; fails when it does not exist.
int lv_pred_properties(lv_worker* w, lv_term module_name, lv_term name, unsigned arity, int64_t term_ref);

int prolog_predinfo(lv_worker* w);              // $predinfo(+Goal, +Module)
int prolog_disassemble(lv_worker* w);           // $disassemble(+PC)
int prolog_disassemble_predicate(lv_worker* w);  // $disassemble_predicate(+Spec, +Module, -Props)
