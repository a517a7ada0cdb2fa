// Holding predicates of a restore: where a record goes that a state has for
// a predicate of the other kind in this runtime (dynamic clauses for a
// static predicate, code for a dynamic one).
#pragma once

#include <cstdint>

struct lv_pred;

// The predicate of pred's name and arity in module $restore. When it is
// undefined it gets an empty clause list of the type (LV_DEF_COMPACTCODE or
// LV_DEF_DYNAMIC), and the fact '$restore'(Module, Name, Arity) (pred's
// defining module, name and arity) is added to the dynamic predicate
// $restore/3 of module $restore; the Prolog level's restore/1 reports
// these. Null when it is defined with the other type.
lv_pred* lv_state_holding_predicate(lv_pred* pred, uint32_t type);
