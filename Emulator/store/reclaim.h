// Deferred reclamation of erased code. Code that a frame or choicepoint may
// still run is not freed at once: it waits on the zombie list until a scan of
// the engine's frames, choicepoints and registers finds nothing pointing
// into it.
#pragma once

#include <cstdint>

#include "store/clause_list.h"

struct lv_worker;

// Queues a clause list (with its blocks and try records) of the given type.
void lv_queue_erased_code(uint32_t type, lv_clause_list* list);
// Queues one code block on its own.
void lv_queue_erased_block(lv_code_block* block);

// Frees every zombie that nothing refers to. With keep set the item array
// keeps its size.
void lv_reclaim_erased_code(lv_worker* w, int keep);

// Forgets every zombie (start-up).
void lv_reclaim_reset();

struct lv_reclaim_stats {
  uint64_t zombies;        // zombie nodes waiting
  uint64_t zombie_items;   // their blocks and try records
  uint64_t runs;
  uint64_t milliseconds;
};
lv_reclaim_stats lv_reclaim_statistics();
