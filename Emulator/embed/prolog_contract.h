// The predicates the engine calls by role, found at start-up in module
// prolog by the names of the contract (prolog_contract.def).
#pragma once

#include "machine/instructions.h"
#include "store/predicates.h"

struct lv_roles {
#define LV_ROLE(field, name, arity) lv_pred* field;
#define LV_KIND_PRED(kind, name, arity)
#include "embed/prolog_contract.def"
#undef LV_ROLE
#undef LV_KIND_PRED
};

extern lv_roles lv_role;

// The predicates that carry the built-in call kinds, by kind (null for the
// other kinds), once lv_define_kind_predicates has made them.
extern lv_pred* lv_kind_pred[LV_CALL_KIND_COUNT];

// Looks up every role predicate (null when absent) and makes the call
// stubs the error handlers are called through.
void lv_lookup_role_predicates();

// Creates the predicates that carry the built-in call kinds.
void lv_define_kind_predicates();
