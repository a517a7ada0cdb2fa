// Term references: indices into the engine context's term-reference array,
// whose slots the collector and the stack shifter treat as roots. Global
// term references live in blocks on a process-wide circular list; their
// slots are roots too.
#pragma once

#include <cstdint>

#include "core/worker.h"

typedef int32_t lv_term_ref;

constexpr int32_t LV_TERMREF_INITIAL_CAPACITY = 256;
constexpr int32_t LV_TERMREF_RESERVED = 15;

// Allocates the context's term-reference array (slots 0-14 reserved).
void lv_termrefs_init(lv_worker* w);
void lv_termrefs_free(lv_worker* w);
// Fills the reserved slots on the heap: 0-4 and 14 fresh variables, 5 the
// term $mutable(0, 0) and 6-13 $mutable([], 0) (the runtime's named global
// terms, read by $ref_term). Run while the stacks are set up, before the
// bottom choicepoint saves the heap top.
void lv_termrefs_fill_reserved(lv_worker* w);
// The heap words the reserved slots' terms take.
constexpr int64_t LV_TERMREF_RESERVED_HEAP_WORDS = 6 + 9 * 3;
// Doubles the array until it has at least the given number of slots.
void lv_termrefs_grow(lv_worker* w, int64_t slots);

lv_term_ref LV_new_term_ref();
lv_term_ref LV_new_term_refs(int32_t count);
void LV_reset_term_refs(lv_term_ref index);

// A valid term reference: 0 <= ref < termref_top. Invalid ones set the
// interface error 2.
bool lv_term_ref_valid(lv_term_ref ref);
inline lv_term& lv_term_ref_cell(lv_worker* w, lv_term_ref ref) { return w->termrefs[ref].term; }

// Global term references.
struct lv_globref_block {
  uint64_t bytes;  // block size
  uint64_t count;  // slots
  lv_globref_block* next;
  lv_globref_block* prev;
  // count slots of 16 bytes follow
};
static_assert(sizeof(lv_globref_block) == 32);

inline lv_termref_slot* lv_globref_slots(lv_globref_block* b) { return reinterpret_cast<lv_termref_slot*>(b + 1); }

lv_termref_slot* LV_alloc_globrefs(uint64_t count);
void LV_free_globrefs(lv_termref_slot* first);
// The list of blocks (any block of the circular list, or null).
lv_globref_block* lv_globref_list();
