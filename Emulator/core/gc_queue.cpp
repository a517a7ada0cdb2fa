// The walk over the registered term cells.
#include "core/gc_queue.h"

namespace {

lv_globref_block* block;  // the block of the cursor; null when done
uint64_t slot;            // the cursor's slot in that block

// The first non-empty block from b on, before the list comes round to its
// first block again; null when there is none.
lv_globref_block* non_empty_from(lv_globref_block* b) {
  lv_globref_block* first = lv_globref_list();
  while (b != nullptr && b->count == 0) {
    b = b->next;
    if (b == first) return nullptr;
  }
  return b;
}

}  // namespace

void lv_gc_queue_reset() {
  block = non_empty_from(lv_globref_list());
  slot = 0;
}

bool lv_gc_queue_done() { return block == nullptr; }

lv_termref_slot* lv_gc_queue_next() {
  if (block == nullptr) return nullptr;
  lv_termref_slot* s = &lv_globref_slots(block)[slot];
  if (++slot == block->count) {
    slot = 0;
    block = block->next == lv_globref_list() ? nullptr : non_empty_from(block->next);
  }
  return s;
}
