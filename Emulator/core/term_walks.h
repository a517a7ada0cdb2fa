// Whole-term walks that visit every shared cell once, by pointer reversal
// (no stack), with the 2-bit mark map. Marks during a walk: 0 not visited,
// 1 finished, 2 a reference cell on the current path, 3 an argument cell on
// the current path (both hold the back pointer meanwhile). A marking walk
// leaves marks behind; the unmarking walk on the same term clears them.
#pragma once

#include <cstdint>

#include "core/worker.h"

// Heap cells of the term's compound parts, each shared cell counted once
// (structures arity + 1, list cells 2, boxes their full size); 1 for a
// variable or an atomic term. Leaves marks behind.
uint64_t lv_term_size(lv_worker* w, lv_term t);

// Clears every mark a marking walk left on the term.
void lv_term_unmark_walk(lv_worker* w, lv_term t);
