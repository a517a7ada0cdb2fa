// The blackboard built-ins: (Module, Key, ...) with an atomic Key; the
// value is kept as a stored term.
#pragma once

#include "core/worker.h"

struct lv_module;
struct lv_stored_block;

// The term in X[reg] stored as a block holding [Term] (registers below reg
// are kept).
lv_stored_block* lv_db_store_term(lv_worker* w, unsigned reg);

int prolog_bb_put(lv_worker* w);     // (Module, Key, Term)
int prolog_bb_get(lv_worker* w);     // (Module, Key, Term)
int prolog_bb_delete(lv_worker* w);  // (Module, Key, Term)
int prolog_bb_update(lv_worker* w);  // (Module, Key, Old, New, _)

// Empties a module's blackboard; the keys stay.
void lv_db_free_buckets(lv_module* m);
