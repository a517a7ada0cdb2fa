// A clause of a dynamic predicate: a stored term block [Head|Body] whose
// header words the database uses as the clause record. Chains are rings
// whose last link is the first record's address with bit 0 set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/stored_block.h"

struct lv_pred;

struct lv_db_clause {
  uint64_t next;         // next clause in table order; odd at the end
  uint64_t prev;         // previous clause; the first's is the last
  lv_pred* pred;         // owning predicate
  uint64_t key_next;     // the same two links within the key chain
  uint64_t key_prev;
  lv_term key;           // first-argument key (see lv_stored_key)
  lv_term seq;           // order number (small integer); 0 once detached
  lv_term stamp;         // stamp of the block's '$ref'
  int64_t ref_index;     // index of the block's '$ref'
  lv_term source_key;    // source key term, [] when none; erased: next erased clause
  lv_term source;        // source term, [] when none
  void* positions;       // source-position table, or null
  uint64_t* side_table;  // side table (first word its byte size), or null
  void* instances;       // root of the clause-instance records, or null
  uint32_t birth;        // generation at which the clause became visible
  uint32_t death;        // generation at which it was erased; LV_GEN_ALIVE while alive
  uint32_t size;         // bytes of the whole block
  uint32_t reserved;
};
static_assert(sizeof(lv_db_clause) == sizeof(lv_stored_block));
static_assert(offsetof(lv_db_clause, key) == offsetof(lv_stored_block, key));
static_assert(offsetof(lv_db_clause, positions) == offsetof(lv_stored_block, links));
static_assert(offsetof(lv_db_clause, birth) == offsetof(lv_stored_block, db_c));
static_assert(offsetof(lv_db_clause, size) == offsetof(lv_stored_block, size));

constexpr uint32_t LV_GEN_ALIVE = 0xFFFFFFFFu;

inline lv_db_clause* lv_clause_of(lv_stored_block* b) { return reinterpret_cast<lv_db_clause*>(b); }
inline lv_stored_block* lv_block_of(lv_db_clause* c) { return reinterpret_cast<lv_stored_block*>(c); }

// Ring links: an odd word ends a chain.
inline bool lv_link_is_end(uint64_t link) { return (link & 1) != 0; }
inline lv_db_clause* lv_link_clause(uint64_t link) { return reinterpret_cast<lv_db_clause*>(link & ~uint64_t{1}); }
inline lv_db_clause* lv_clause_next(const lv_db_clause* c) { return lv_link_is_end(c->next) ? nullptr : lv_link_clause(c->next); }
inline lv_db_clause* lv_clause_key_next(const lv_db_clause* c) {
  return lv_link_is_end(c->key_next) ? nullptr : lv_link_clause(c->key_next);
}

inline bool lv_clause_alive(const lv_db_clause* c) { return c->death == LV_GEN_ALIVE; }
inline bool lv_clause_visible(const lv_db_clause* c, uint32_t g) { return c->birth <= g && g < c->death; }

// The stored term [Head|Body]: its root pair is the block's last two cells.
inline const lv_term* lv_clause_root(lv_db_clause* c) {
  lv_stored_block* b = lv_block_of(c);
  return lv_block_cells(b) + lv_block_cell_count(b) - 2;
}
// A cell of the block named by a stored (offset) word.
inline const lv_term* lv_clause_cell(lv_db_clause* c, lv_term stored) {
  return lv_block_cells(lv_block_of(c)) + (stored & ~uint64_t{3}) / 8;
}
// Argument i (from 1) of the stored head, as a stored word (a variable's
// cell holds its own offset); 0 when the head has no such argument.
lv_term lv_clause_head_arg(lv_db_clause* c, unsigned i, const lv_term** cell);
