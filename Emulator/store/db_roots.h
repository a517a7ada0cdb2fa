// The dynamic database's roots for atom collection.
#pragma once

#include "core/stored_block.h"

// Calls visit with the key and every atomic cell of a stored block (boxes
// skipped).
void lv_walk_block_cells(lv_stored_block* block, void (*visit)(lv_term word));
// The same over n stored cells without a block (no key).
void lv_walk_stored_cells(const lv_term* cells, uint64_t n, void (*visit)(lv_term word));

// Installs the database's steps in atom collection.
void lv_db_roots_init();
