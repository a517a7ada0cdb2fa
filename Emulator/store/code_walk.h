// Walking the code of a block.
#pragma once

#include <cstdint>

#include "store/code_block.h"

// Walks one clause's code from the block start to the first instruction
// that is not ordinary, replacing every "fail for now" operand by the
// block's alt_entry; returns the address reached.
const uint32_t* lv_code_block_end(lv_code_block* block);

// Walks the block's straight-line code and, in every internal entry header
// with several clauses, sets each clause entry's third word to the current
// retry end.
void lv_code_reset_entries(lv_code_block* block);
