// The dynamic database's roots for atom collection.
#pragma once

#include "core/stored_block.h"

// Calls visit with the key and every atomic cell of a stored block (boxes
// skipped).
void lv_walk_block_cells(lv_stored_block* block, void (*visit)(lv_term word));

// Installs the database's steps in atom collection.
void lv_db_roots_init();
