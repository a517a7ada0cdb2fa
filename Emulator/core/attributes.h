// Attributes of attributed variables: the registry of attribute modules and
// the three operations each attribute module's predicates run (call kinds
// $get_attributes/3, $put_attributes/2, $delete_attributes/1).
//
// An attributed variable is {-1, cell, vector, goals} (core/suspension.h).
// The vector is []/N, N being the number of attribute modules registered when
// it was built; argument i holds module i's attribute or an unbound variable.
// A variable without attributes has [] in place of the vector.
#pragma once

#include "core/worker.h"

struct lv_module;

constexpr uint32_t LV_MAX_ATTRIBUTE_MODULES = 255;

// Gives the module the next attribute index when it has none and defines its
// three attribute predicates. Returns 0 when 255 modules are registered.
int lv_attr_module_register(lv_module* module);
// The number of registered attribute modules.
uint32_t lv_attr_module_count();
// Forgets the registered modules (the module table is made anew).
void lv_attr_modules_reset();
// The slots of an attribute vector: N for a []/N compound, else 0.
uint32_t lv_attr_vector_slots(lv_term vector);
// The names of the registered modules in index order: names[i - 1] for
// module i. Returns the count.
uint32_t lv_attr_module_names(lv_term names[LV_MAX_ATTRIBUTE_MODULES]);

// The operations for the attribute module with index m, on X0.. of the call
// of pred. Each returns 1 (proceed) or 0 (fail, also after raising the error
// of a first argument that is not a variable).
int lv_inline_get_attribute(lv_worker* w, uint32_t m, const struct lv_pred* pred);
int lv_inline_put_attribute(lv_worker* w, uint32_t m, const struct lv_pred* pred);
int lv_inline_delete_attribute(lv_worker* w, uint32_t m, const struct lv_pred* pred);

// The same operations for C callers, on an unbound variable (dereferenced)
// and an attribute module. put_attributes and delete_attributes may grow
// the heap: they use X0 and X1 to keep the variable and the value, so the
// caller keeps its other terms in term references.
// The module's attribute when it is a compound, else 0.
lv_term get_attributes(lv_worker* w, lv_term var, const lv_module* module);
void put_attributes(lv_worker* w, lv_term var, const lv_module* module, lv_term value);
void delete_attributes(lv_worker* w, lv_term var, const lv_module* module);
// 1 when the variable has no suspended goals and no other module's slot is
// bound.
int pure_attributes(lv_worker* w, lv_term var, const lv_module* module);
// 1 when the variable is attributed, has no goals, and the module's slot is
// its only bound slot.
int single_attribute(lv_worker* w, lv_term var, const lv_module* module);
