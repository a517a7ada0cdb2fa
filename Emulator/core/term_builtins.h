// Built-ins over whole terms: cycles, variables, subsumption, identity and
// age. Each takes its arguments in X0, X1, ... and answers 1 (success) or 0
// (failure).
#pragma once

#include "core/worker.h"

int prolog_acyclic(lv_worker* w);                        // $acyclic(Term)
int prolog_unify_with_occurs_check(lv_worker* w);        // $unify_with_occurs_check(X, Y)
int prolog_term_variables_dfs(lv_worker* w);             // $term_variables_dfs(Term, Vars)
int prolog_term_attributed_variables_dfs(lv_worker* w);  // $term_attributed_variables_dfs(Term, Vars)
int prolog_subsumes_chk(lv_worker* w);                   // $subsumes_chk(General, Specific)
int prolog_compare_term_identity(lv_worker* w);          // $compare_term_identity(Order, X, Y)
int prolog_compare_compound_term_age(lv_worker* w);      // $compare_compound_term_age(Order, X, Y)
int prolog_eq(lv_worker* w);                             // $eq(X, Y)
