// Whole-term walks that visit every shared cell once, by pointer reversal
// (no stack), with the 2-bit mark map. Marks during a walk: 0 not visited,
// 1 finished, 2 a reference cell on the current path, 3 an argument cell on
// the current path (both hold the back pointer meanwhile). A marking walk
// leaves marks behind; the unmarking walk on the same term clears them.
#pragma once

#include <cstdint>

#include "core/worker.h"

// The frozen-variable marker of the k-th variable frozen by
// lv_freeze_variables: atom-tagged with bit 63 set, so that it equals no
// atom, no number and no other marker.
inline lv_term lv_frozen_marker(uint64_t k) { return 0x8000000000000007 + 8 * k; }
inline bool lv_is_frozen_marker(lv_term t) { return (t & 7) == LV_TAG_ATOM && static_cast<int64_t>(t) < 0; }

// Heap cells the term reaches, each shared cell counted once (a structure
// arity + 1, a list cell 2, a box its full size, a bound variable cell on the
// way 1); 1 for a variable or an atomic term. Leaves marks behind.
uint64_t lv_term_size(lv_worker* w, lv_term t);

// Whether the term is acyclic. Leaves marks behind.
bool lv_term_acyclic_walk(lv_worker* w, lv_term t);

// Whether the term is ground and holds no '$mutable'/2 structure. Leaves
// marks behind.
bool lv_term_ground_walk(lv_worker* w, lv_term t);

// Clears every mark a marking walk left on the term.
void lv_term_unmark_walk(lv_worker* w, lv_term t);

// Overwrites each distinct unbound variable of the term with the next frozen
// marker (k from 0 in walk order) and pushes the variable's cell address at
// TR; the caller has made room there. Leaves marks behind.
void lv_freeze_variables(lv_worker* w, lv_term t);

// Appends one list cell [V|_] per distinct unbound variable V of the term at
// H, in depth-first, left-to-right order of first occurrence: the first goes
// into **tail, and *tail is left at the last tail cell, for the caller to
// close. A cell is appended only while more than 1032 bytes of heap remain
// below the heap limit; otherwise the walk still completes and the result is
// 0 (else 1). Leaves marks behind.
int lv_collect_variables(lv_worker* w, lv_term t, lv_term** tail);
// The same for attributed variables only.
int lv_collect_attributed_variables(lv_worker* w, lv_term t, lv_term** tail);
