// Built-ins over database references: the module of a clause's predicate
// and the clause's position.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_db_clause;

// The 1-based position of a dynamic clause in its predicate's clause chain
// (erased clauses still in the chain count); 0 when the predicate is not
// dynamic, has no clauses, or the clause is not in the chain.
uint64_t lv_clause_number(const lv_db_clause* clause);

int prolog_instance_module(lv_worker* w);  // $instance_module(Ref, Module)
int prolog_nth_instance(lv_worker* w);     // $nth_instance(Ref, N)
