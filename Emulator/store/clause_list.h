// The clause list of a static predicate, with its incremental first-argument
// index.
//
// Blocks are linked through their first header word; the last block's link
// holds its clause number instead (first clause 1). The list record itself is
// the pseudo-block before the first clause: a new list has head 0 and tail
// pointing to the record.
//
// A chain is an entry address: the static fail code (no candidate), the code
// of the single candidate clause, or the TRY word of the first of a series of
// try records. Outside all_chain a single candidate is entered past its
// first-argument test, which the index has already satisfied.
#pragma once

#include <cstdint>

#include "core/hashtab.h"
#include "store/code_block.h"
#include "store/predicates.h"
#include "store/try_record.h"

struct lv_clause_list {
  lv_code_block* head;         // first block (the pseudo-block's link)
  lv_code_block* tail;         // last block, or the record itself when empty
  const uint32_t* all_chain;   // the first argument unbound
  const uint32_t* list_chain;  // the first argument a list cell; null until indexed
  lv_keytab* key_table;        // key -> chain; empty entries hold the default chain
  lv_hashtab* large_table;     // large number -> chain, or null
};
static_assert(sizeof(lv_clause_list) == 48);

// Clause key bits (the low nine bits of a block's size word).
enum : uint32_t {
  LV_KEY_NONE = 31,     // bits 0-4 as a number: the clause has no first-argument key
  LV_KEY_ALL = 0x1,     // enters all_chain
  LV_KEY_LIST = 0x8,    // enters list_chain
  LV_KEY_KEYED = 0x16,  // enters key chains
  LV_KEY_STOP = 0x20,   // later clauses join no key or list chain through this block
  LV_KEY_FLAG = 0x80,   // sets the predicate's clause flag
  LV_KEY_JOIN = 0x100,  // "fail for now" continues into the next clause via alt_entry
};

// The clause number a last block holds in its link.
inline uint64_t lv_clause_number(const lv_code_block* b) { return reinterpret_cast<uint64_t>(b->next); }

// A new definition: type 4 a dynamic clause table, any other type an empty
// clause list; then update_exports (pred, type).
void lv_new_clause_list(lv_pred* pred, uint32_t type);

// Appends a clause: the block with its key bits and first-argument key (a
// large number's key is its box header word).
void lv_append_clause(lv_pred* pred, lv_code_block* block, uint32_t bits, lv_term key);

// The first-argument key of a clause from its first instructions: the
// constant or functor word, [] for GET_NIL_X0, '.'/2 for lists, a large
// number's box header; 0 when the clause has none.
lv_term lv_first_arg_key(const lv_code_block* block);
// The inline box of a clause whose first argument is a large number, or null.
const uint32_t* lv_large_key(const lv_code_block* block);

// The chain of a large number (its box cells from the header on) in the
// list's large-number table, or null when it has none.
const uint32_t* lv_large_chain(lv_clause_list* list, const lv_term* box);

// Clears a definition and makes the record undefined; code that may still run
// waits for deferred reclamation.
void lv_clear_definition(lv_pred* pred);

// Erases the clauses whose source key is in keys (a list ended by []), or all
// clauses when keys is 0; the remaining clauses are indexed anew.
void lv_erase_clauses(lv_pred* pred, lv_term keys);

// Calls visit for every block of a list, in order.
void lv_for_each_clause(lv_clause_list* list, void (*visit)(lv_code_block* b, void* arg), void* arg);

// The try records of a chain (for reclamation): calls visit for each.
void lv_for_each_try_record(const uint32_t* chain, void (*visit)(lv_try_record* r, void* arg), void* arg);

// Frees a clause list's index (tables and try records), not its blocks.
void lv_free_clause_index(lv_clause_list* list);

// The definition of type 5: the heads of four chains of the solver's
// indexical definition records. The solver allocates it (lv_checkalloc with
// flag 0) and owns the chains; freeing the definition hands each head to the
// solver's definition-free hook, then frees the record.
struct lv_fd_definition {
  uint64_t chains[4];
};
