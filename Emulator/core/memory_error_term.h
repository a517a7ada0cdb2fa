// The prebuilt memory-exhaustion exception
// error(resource_error(memory), resource_error(0, memory)), stored once at
// start-up so that raising it allocates nothing.
#pragma once

#include "core/stored_block.h"
#include "core/worker.h"

// The stored exception, or null before start-up made it.
extern lv_stored_block* lv_memory_error_block;

// Builds the stored exception (once; later calls return the same block).
// Uses X0 and heap cells that it gives back.
lv_stored_block* lv_make_memory_error_term(lv_worker* w);

// Frees it (shutdown).
void lv_free_memory_error_term();
