// The clause table of a dynamic predicate: its clauses in table order, and
// a chain per first-argument key (variable, list, key word, large number).
#pragma once

#include "core/hashtab.h"
#include "store/db_clause.h"

struct lv_pred;
struct lv_stored_block;

struct lv_dynamic_clause_table {
  lv_db_clause* first;       // first clause, or null
  lv_db_clause* var_chain;   // first clause with a variable first argument
  lv_db_clause* list_chain;  // first clause whose key is '.'/2
  lv_keytab* key_table;      // key word -> first clause of its chain
  lv_hashtab* large_table;   // large number (box in the first clause's head) -> first clause, or null
};
static_assert(sizeof(lv_dynamic_clause_table) == 40);

inline lv_dynamic_clause_table* lv_dynamic_table(const lv_pred* pred);

// An empty table (memory category "int_info:").
lv_dynamic_clause_table* lv_dynamic_table_new(lv_pred* pred);
// Abolishes the predicate's clauses (lv_free_clause_chain) and frees the table.
void lv_dynamic_table_free(lv_pred* pred);

// Appends / prepends a clause: pred, birth := next, now := next, alive.
void lv_db_attach_clause(lv_pred* pred, lv_db_clause* clause);
void lv_db_attach_clause_first(lv_pred* pred, lv_db_clause* clause);
// Erases a clause at the generation next: freed at once when no call can
// see it, else queued on its predicate's erased list. An erased clause is
// left alone.
void lv_db_erase(lv_db_clause* clause);
// Unlinks a clause from the table order and its key chain, frees its side
// records, its reference index and its block.
void lv_db_detach_clause(lv_db_clause* clause, lv_dynamic_clause_table* table);
// Erases every live clause whose source key is in the list keys.
void lv_erase_clauses_by_key(lv_pred* pred, lv_term keys);
// Abolishes a dynamic predicate's clauses: erases the live ones and takes
// the table from the predicate. The table goes at once when no clause is
// left in it, else it waits with its clauses, linked as they were, until
// no call that started before can walk it (lv_db_keep_abolished).
void lv_free_clause_chain(lv_pred* pred);

// The first clause of a key chain, or null.
lv_db_clause* lv_key_chain_first(lv_dynamic_clause_table* table, lv_term key, const lv_term* box);
// The first live clause from c on in table order (c included); erased ones
// passed count as skipped.
lv_db_clause* lv_next_live_clause(lv_db_clause* c);

// The large-number key of a clause: the box in its stored head's first
// argument, or null; the hash and comparison of the term-keyed table.
const lv_term* lv_clause_box_key(lv_db_clause* clause);
uint64_t lv_term_key_hash(const lv_term* box);
int lv_box_equal(const lv_term* a, const lv_term* b);

// Table references handed to Prolog ($current_clauses) are predicate
// addresses; those of records that got a table or were handed out are
// remembered, so that a made-up number is refused. Made empty at start-up.
void lv_dynamic_refs_init();
void lv_dynamic_ref_handed_out(const lv_pred* pred);
bool lv_dynamic_ref_known(const lv_pred* pred);
// A record being freed: its number is refused from now on.
void lv_dynamic_ref_forget(const lv_pred* pred);

// Frees a tree of clause-instance records held in *slot.
void lv_free_key_tree(void** slot);

#include "store/predicates.h"
inline lv_dynamic_clause_table* lv_dynamic_table(const lv_pred* pred) {
  return static_cast<lv_dynamic_clause_table*>(pred->definition);
}
