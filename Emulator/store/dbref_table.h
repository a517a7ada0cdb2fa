// Database references: the table through which Prolog names stored blocks
// as '$ref'(Index, Stamp). A used entry holds the block's address (even), a
// free one 2 * (next free index) + 1. The stamp makes a stale reference
// unusable once its index is reused.
#pragma once

#include <cstdint>

#include "core/stored_block.h"

struct lv_dbref_table {
  int64_t free_head;  // first free index, 0 = none
  int64_t used;       // indices handed out so far (entry 0 is never used)
  int64_t capacity;
  uint64_t entries[];
};
static_assert(sizeof(lv_dbref_table) == 24);

constexpr int64_t LV_DBREF_INITIAL_CAPACITY = 1024;

// Makes the table and the stamp counter (start-up); frees the table.
void lv_dbref_init();
void lv_dbref_free_all();
lv_dbref_table* lv_dbref_table_now();

// With fresh set, gives the block a free index and the next stamp; else
// keeps its own. Writes '$ref'(Index, Stamp) (three words) at *heap,
// advances it and returns the term.
lv_term lv_register_dbref(lv_stored_block* block, lv_term** heap, bool fresh);
// The block named by a '$ref' term, or null unless it names a live entry
// whose block has the same index and stamp.
lv_stored_block* lv_dbref_to_block(lv_term term);
lv_stored_block* lv_decode_dbref(lv_term term);
// Frees the block's index and the block.
void lv_release_dbref(lv_stored_block* block);

// The index and stamp a block carries (header words 8 and 9).
int64_t lv_block_ref_index(const lv_stored_block* block);
lv_term lv_block_ref_stamp(const lv_stored_block* block);

int prolog_print_dbrefs(struct lv_worker* w);
