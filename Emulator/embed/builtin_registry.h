// The table of built-in C predicates: the records of every subsystem's
// table in one array sorted by name, and the predicates they define.
#pragma once

#include <cstddef>

#include "core/builtins.h"

// The built-ins of start-up, foreign resources and the tool interface.
lv_builtin_table lv_startup_builtins();

// Copies every subsystem's records into the table (memory-manager category
// 1), sorts it, and defines each record's predicate in its module as
// implemented by its C function. false when memory runs out.
bool lv_builtin_registry_init();

// Adds a later batch: a new array of the old and the new records, sorted
// again (the old one is freed), and the batch's predicates defined. A batch
// record replaces an old record of the same predicate.
bool lv_builtin_registry_merge(lv_builtin_table batch);

// The module name of a record's flags word (bits 17-19: 0 prolog, 1 user,
// 2 domsolve, 3 alignments, 4 structs).
const char* lv_builtin_module_name(uint32_t flags);

// The table (null and 0 before start-up), sorted by name (bytes, unsigned),
// then arity, then module name; one record per predicate.
const lv_builtin* lv_builtin_registry(size_t* count);

// Frees the table (shutdown).
void lv_builtin_registry_free();
