// The engine context's hash tables of binary-decision-diagram terms.
//
// Reduced ordered decision diagrams with complemented edges live on the heap
// as ordinary terms: the terminals are the small integers 0 and 1, a node is
// '$bdd_pos'(Var, Low, High) or its complement '$bdd_neg'(Var, Low, High).
// The node table hash-conses the nodes, so equal diagrams are the same term.
// The memo table keeps results under '$bdd_key'(A, B, C) keys, the
// substitution table the results of the substitution running now.
//
// The tables only index heap terms. Each entry is also on its table's
// creation list, newest first, and the terms of the entries lie in creation
// order on the heap; so backtracking is followed lazily: before each lookup
// the entries above the heap top are taken off the head of the list, which
// leaves the open-addressing table exactly as it was before they were
// entered. A rebuild re-enters the entries oldest first for the same reason.
// After a stack shift the entries move with the heap and are hashed again;
// after a collection the entries of the collected part are dropped and the
// surviving nodes entered again, in heap order.
#pragma once

#include <cstdint>

#include "core/predefined_atoms.h"
#include "core/worker.h"

struct lv_bdd_entry {
  uint64_t hash;
  lv_term term;  // tagged heap pointer; 0 = empty
  lv_term value;
  lv_bdd_entry* next;  // creation list, newest first
};
static_assert(sizeof(lv_bdd_entry) == 32);

struct lv_bdd_table {
  uint64_t mask;  // capacity - 1
  uint64_t count;
  // capacity entries follow
};

constexpr uint64_t LV_BDD_INITIAL_CAPACITY = 32;

enum lv_bdd_table_kind : unsigned {
  LV_BDD_NODES = 0,  // term: a node; value: the node
  LV_BDD_MEMO = 1,   // term: '$bdd_key'(A, B, C); value: the stored result
  LV_BDD_SUBST = 2,  // term: a pair [Node|Value] made when stored; value: Value
};

constexpr lv_term LV_FUNCTOR_BDD_POS = lv_predefined_atom(158) | (lv_term{3} << 55);
constexpr lv_term LV_FUNCTOR_BDD_NEG = lv_predefined_atom(159) | (lv_term{3} << 55);
constexpr lv_term LV_FUNCTOR_BDD_KEY = lv_predefined_atom(160) | (lv_term{3} << 55);
static_assert((LV_FUNCTOR_BDD_POS ^ LV_FUNCTOR_BDD_NEG) == 8);

inline lv_bdd_entry* lv_bdd_entries(lv_bdd_table* t) { return reinterpret_cast<lv_bdd_entry*>(t + 1); }
inline lv_bdd_table* lv_bdd_table_of(const lv_worker* w, unsigned kind) {
  return static_cast<lv_bdd_table*>(w->bdd_tables[kind]);
}
inline lv_bdd_entry* lv_bdd_list(const lv_worker* w, unsigned kind) {
  return reinterpret_cast<lv_bdd_entry*>(w->bdd_lists[kind]);
}

// Hash of a four-word term (functor f, arguments a1, a2, a3).
inline uint64_t lv_bdd_hash(lv_term f, lv_term a1, lv_term a2, lv_term a3) { return a2 + a1 / 2 + f / 4 + a3 * 2; }

// Whether t is a node term (a structure with either node functor).
inline bool lv_bdd_is_node(lv_term t) {
  if (!lv_is_struct(t)) return false;
  lv_term f = *lv_struct_cells(t);
  return f == LV_FUNCTOR_BDD_POS || f == LV_FUNCTOR_BDD_NEG;
}

// Creates the three tables (32 entries each) with empty creation lists and
// clears the node-count word; frees them.
void lv_bdd_tables_new(lv_worker* w);
void lv_bdd_tables_free(lv_worker* w);

// Takes the entries whose term lies at or above the heap top (or the given
// limit) off the table: they are the newest, and the table is left as it
// was before they were entered.
void lv_bdd_cut_back(lv_worker* w, unsigned kind);
void lv_bdd_cut_back_to(lv_worker* w, unsigned kind, const lv_term* limit);

// The node (functor, var, low, high): the existing one, or a new one pushed
// on the heap (4 cells; the caller has made room) and entered.
lv_term lv_bdd_node(lv_worker* w, lv_term functor, lv_term var, lv_term low, lv_term high);

// Enters a node term that is on the heap already, unless an equal node is
// in the table.
void lv_bdd_enter_node(lv_worker* w, lv_term node);

// The memo entry of '$bdd_key'(a, b, c), or null.
lv_bdd_entry* lv_bdd_memo_find(lv_worker* w, lv_term a, lv_term b, lv_term c);
// Enters '$bdd_key'(a, b, c) (built on the heap, 4 cells) with value.
void lv_bdd_memo_add(lv_worker* w, lv_term a, lv_term b, lv_term c, lv_term value);

// The substitution entry of a node, or null; entering one (a pair on the
// heap, 2 cells).
lv_bdd_entry* lv_bdd_subst_find(lv_worker* w, lv_term node);
void lv_bdd_subst_add(lv_worker* w, lv_term node, lv_term value);
// Empties the substitution table.
void lv_bdd_subst_clear(lv_worker* w);

// Rebuilds a table at the given capacity, re-entering oldest first the
// entries that keep(entry) accepts; keep may change the entry's term and
// value, and the hash is computed again.
typedef bool (*lv_bdd_keep)(lv_worker* w, unsigned kind, lv_bdd_entry* entry, void* data);
void lv_bdd_rebuild(lv_worker* w, unsigned kind, uint64_t capacity, lv_bdd_keep keep, void* data);

// After the heap moved by offset bytes (new heap top new_top): every entry's
// heap pointers move with it, entries above the heap top or no longer of
// their table's kind are dropped, and each table is hashed again.
void lv_bdd_shift_adjust(lv_worker* w, int64_t offset, lv_term* new_top);

// After a collection of the heap above from, which left nodes node
// structures there: the entries at or above from are dropped (they are the
// newest, and older entries name only older terms) and the nodes found on
// the heap from there are entered again, in heap order. Nothing is
// allocated unless the node table must grow.
void lv_bdd_gc_adjust(lv_worker* w, lv_term* from, uint64_t nodes);
