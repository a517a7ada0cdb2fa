// Copying a term onto the heap top, keeping its sharing and cycles: the
// machinery behind stored blocks and $copy_term.
//
// The copy is made breadth-first in the heap above H: the root word goes to
// H[0] and every compound after it. A copied structure or box has its first
// cell overwritten with a forwarding pointer to its copy; a copied list cell
// has its head cell overwritten with a reference to the copy's head cell (so
// that references to the head still lead to the same value). Both are saved
// on the pair stack and flagged in the mark map. Each unbound variable is
// bound to its copy and trailed. lv_copy_undo puts everything back.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_copy_state {
  lv_term* start;       // H at the start: the cell that receives the copied root
  lv_term* end;         // first cell after the copy
  lv_term* saved_tr;    // trail top before the copy
  int32_t saved_pairs;  // pair index before the copy
};

// Copies t onto the heap top (the caller has made room; H itself is not
// advanced). Boxes are shared instead of copied when share_boxes is set.
// '$mutable'/2 copies get the stamp 0; the list of a '$array1d'/2 structure
// is laid out as consecutive pairs directly behind it.
lv_copy_state lv_copy_to_heap_top(lv_worker* w, lv_term t, bool share_boxes);

// Restores the original term: forwarded cells, marks and variable bindings.
void lv_copy_undo(lv_worker* w, const lv_copy_state& state);

// Makes room for copying the term held in X[reg] (registers X0..X(live-1)
// are kept): at least 2c + 6 words between TR and B and
// 3c + LV_HEAP_RESERVE_CELLS heap cells, c being the term's size; the size is
// first estimated cheaply and only measured exactly when the estimate does
// not fit the space at hand.
void lv_copy_make_room(lv_worker* w, unsigned reg, unsigned live);
