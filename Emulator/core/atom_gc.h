// Atom garbage collection: marks every atom reachable from the roots and
// frees the others that have no reference count.
#pragma once

#include <cstdint>

#include "core/term.h"

struct lv_worker;

// Marks the atom of an atom or functor word; other words are ignored, so
// that any root word can be handed in.
void lv_atom_mark_word(lv_term word);
// Marks the atom words among count words that hold no boxes.
void lv_atom_mark_words(const lv_term* words, uint64_t count);

// Other parts of the runtime add their roots and steps. Before: runs before
// marking (reclaiming erased code and clauses). Roots: marks what the part
// holds. After marking: runs before the sweep (dropping records that hold
// nothing but unmarked atoms).
typedef void (*lv_atom_gc_step)(lv_worker* w);
void lv_atom_gc_add_before(lv_atom_gc_step step);
void lv_atom_gc_add_roots(lv_atom_gc_step step);
void lv_atom_gc_add_after_mark(lv_atom_gc_step step);

// Runs a collection (w: the engine context, or null for the current one).
void lv_garbage_collect_atoms(lv_worker* w);

uint64_t lv_atom_gc_threshold();
int64_t lv_atom_gc_margin();
// Sets the margin; the threshold moves by the difference (at most to the
// atom limit). Runs a collection when the live atoms reach the threshold.
void lv_atom_gc_set_margin(int64_t margin);
void lv_atom_gc_reset();

struct lv_atom_gc_stats {
  uint64_t collections;
  uint64_t milliseconds;
  uint64_t atoms_freed;
  uint64_t bytes_freed;
};
lv_atom_gc_stats lv_atom_gc_statistics();
