// The table of built-in C predicates: the records of every subsystem's
// table in one array sorted by name, and the predicates they define.
#pragma once

#include <cstddef>

#include "core/builtins.h"

// The built-ins of start-up, foreign resources and the tool interface.
lv_builtin_table lv_startup_builtins();

// Copies every subsystem's records into the table (memory-manager category
// 1), sorts it by name, and defines each record's predicate in its module
// (module index 0 prolog, 1 user, 2 domsolve) as implemented by its C
// function. false when memory runs out.
bool lv_builtin_registry_init();

// Adds a later batch: a new array of the old and the new records, sorted
// again (the old one is freed), and the batch's predicates defined.
bool lv_builtin_registry_merge(lv_builtin_table batch);

// The table (null and 0 before start-up).
const lv_builtin* lv_builtin_registry(size_t* count);

// Frees the table (shutdown).
void lv_builtin_registry_free();
