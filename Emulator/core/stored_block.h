// Stored term blocks: a term copied off the stacks into one memory block in a
// position-independent form, and copied back onto the heap by adding the heap
// address to every pointer.
//
// The stored term is a list cell [Head|Tail]. The cells are its heap copy,
// except that the root pair (the copy's first two cells, Head and Tail) comes
// last: the block's final two cells. Every cell whose tag is not 11 holds a
// byte offset from the start of the cells (byte 128) with its tag kept; boxes
// are stored whole; a root cell that is an unbound variable holds its own
// offset.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/worker.h"

struct lv_stored_block {
  uint64_t db_a[5];   // 0-39: database record fields
  lv_term key;        // 40: indexing key of the stored term
  uint64_t db_b[5];   // 48-87: database record fields
  uint64_t links[3];  // 88-111: database links, zero when made
  uint64_t db_c;      // 112: database record field
  uint32_t size;      // 120: bytes of the whole block
  uint32_t db_d;      // 124: zero when made
};
static_assert(sizeof(lv_stored_block) == 128);
static_assert(offsetof(lv_stored_block, key) == 40 && offsetof(lv_stored_block, links) == 88 &&
              offsetof(lv_stored_block, size) == 120);

inline lv_term* lv_block_cells(lv_stored_block* b) { return reinterpret_cast<lv_term*>(b + 1); }
inline uint64_t lv_block_cell_count(const lv_stored_block* b) { return (b->size - sizeof(lv_stored_block)) / 8; }

// Stores the list cell held in X[reg] (registers below reg are kept across
// overflow handling). Returns the block (memory category "interpreted
// code:"); a block that cannot be had is a memory fault.
lv_stored_block* lv_store_term(lv_worker* w, unsigned reg);

// Copies the cells onto the heap (making room for them, the extra cells and
// the heap reserve, keeping X0..Xn-1) and returns the stored list cell.
lv_term lv_block_to_heap(lv_worker* w, lv_stored_block* block, unsigned live, uint64_t extra);

// The cells of a stored term without a block: lv_store_cells stores the list
// cell held in X[reg] as lv_store_term does, into the n cells room(context,
// n) hands out (room must not touch the heap; null is a memory fault of the
// category), and returns n; lv_cells_to_heap copies them onto the heap as
// lv_block_to_heap does.
uint64_t lv_store_cells(lv_worker* w, unsigned reg, lv_term* (*room)(void* context, uint64_t n), void* context,
                        int32_t category);
lv_term lv_cells_to_heap(lv_worker* w, const lv_term* cells, uint64_t n, unsigned live, uint64_t extra);

// Copies onto the heap the box held in the first argument of the stored
// list's head structure.
lv_term lv_block_term_to_heap(lv_stored_block* block);

void lv_free_stored_block(lv_stored_block* block);

// The indexing key of a stored list [T|_]: for a structure T, the principal
// functor word of its first argument ('.'/2 for a list, the word itself for
// an atomic term, the header of a box, 0 for a variable); 0 otherwise.
lv_term lv_stored_key(lv_term stored);
