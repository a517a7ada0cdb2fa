// The clause table of a dynamic predicate.
#pragma once

#include "core/hashtab.h"

struct lv_pred;
struct lv_stored_block;

struct lv_dynamic_clause_table {
  lv_stored_block* first;       // first clause, or null
  lv_stored_block* var_chain;   // first clause with a variable first argument
  lv_stored_block* list_chain;  // first clause whose key is '.'/2
  lv_keytab* key_table;         // key word -> first clause of its chain
  void* large_table;            // large number -> chain, or null
};
static_assert(sizeof(lv_dynamic_clause_table) == 40);

// An empty table (memory category "int_info:").
lv_dynamic_clause_table* lv_dynamic_table_new(lv_pred* pred);
// Frees the predicate's table.
void lv_dynamic_table_free(lv_pred* pred);
