// The garbage collector of the heap: a generational mark-and-slide collector.
//
// It collects the heap above the H saved in the newest choicepoint that
// carries the generation mark (bit 0 of its saved TR word; the stack shifter
// stores that choicepoint as marked_choice). Live cells are marked by pointer
// reversal from every root, every pointer to a live cell is threaded into a
// relocation chain through the cells themselves, and the live cells slide
// down in address order, so the heap keeps its age order. Nothing is
// allocated and nothing recurses: the only side storage is the two mark maps
// of the stack blocks and, for cells outside the blocks, the word that
// follows each such cell (term-reference and registered cells are 16-byte
// slots whose second word is 0 between collections).
//
// The roots: the trail entries made since the marked choicepoint, the
// term-reference array (every slot, so that the argument registers kept
// above its top are covered), the registered cells, the argument registers
// X0-X255, the pending error's culprit, the permanent variables of every
// environment frame reachable from the current frame and from the
// choicepoints of the collected segment, the saved argument registers of
// those choicepoints, and whatever the solver plug-in marks through its
// hook. Root words that C code or a running clause may have left stale are
// checked before they are followed (see gc_roots.cpp).
#pragma once

#include <cstdint>

#include "core/predefined_atoms.h"
#include "core/worker.h"

constexpr lv_term LV_ATOM_TERSE = lv_predefined_atom(65);
constexpr lv_term LV_ATOM_VERBOSE = lv_predefined_atom(66);

// The settings kept by $gc_mode, $gc_trace and $gc_margin.
struct lv_gc_settings {
  lv_term mode;    // on or off: off disables collection on ordinary overflows
  lv_term trace;   // off, terse or verbose
  int64_t margin;  // kilobytes
};
extern lv_gc_settings lv_gc_setting;

// The collector's two debug words: when either is non-zero, heap_overflow
// runs the consistency check first; the first also makes it report its
// entry and exit on the C standard error stream.
extern int64_t lv_gc_debug_words[2];

// Collects the heap above the H saved in marked_choice (the whole heap when
// that is the bottom choicepoint); returns the estimate of garbage left in
// the older part (cells): the cells that became old since the last full
// collection.
int64_t lv_gc(lv_worker* w);

// The trail sweep: removes (zeroes) the trail entries made since
// marked_choice that backtracking to no choicepoint of that segment needs.
// Always followed by lv_gc_trail_compact, which closes up the trail, keeps
// every mutable's stamp naming its newest entry, and lowers the saved TR of
// the segment's choicepoints; with mark set it also gives them the
// generation mark.
void lv_gc_trail_sweep(lv_worker* w);
void lv_gc_trail_compact(lv_worker* w, int mark);

// Checks the heap, the trail, the choicepoints and the mark maps; prints a
// "%% GC check:" line for each problem found and returns their number.
int64_t lv_gc_check(lv_worker* w);

// For the solver plug-in's hook, while a collection runs: markTerm marks
// what the term reaches (called at hook event 2); intoRelocationChain threads
// a cell of the plug-in that points at target into target's relocation chain
// (hook event 3, whose argument is the start of the collected part). The
// cell's relocation flag lives in the word after it. Outside a collection
// both do nothing, as they do for words that do not point into the
// collected part.
void markTerm(lv_term term);
void intoRelocationChain(lv_worker* w, lv_term* target, lv_term* cell);

// Solver hook event of the threading step; its argument is the start of the
// collected part.
constexpr int64_t LV_FD_EVENT_GC_RELOCATE = 3;

// Process-wide counters, read by the statistics built-ins.
struct lv_gc_statistics {
  uint64_t collections;
  uint64_t cells_reclaimed;
  uint64_t milliseconds;     // thread CPU time spent collecting
  uint64_t last_marked;      // cells marked by the latest collection
  int64_t old_garbage;       // the latest estimate returned
};
extern lv_gc_statistics lv_gc_stats;

// Debug setting for soak runs: every stack overflow collects the heap,
// whatever the margin and whichever stack overflowed (unless collection is
// off). The yes/no setting LV_GC_ALWAYS turns it on (read at the first
// call). lv_gc_set_always sets it for a test: 1 on, 0 off, -1 from the
// setting again.
bool lv_gc_always();
void lv_gc_set_always(int mode);

// Built-ins: each unifies Old with the present value, then sets the value
// from New, or fails (leaving it) on a value outside its set.
int prolog_gc_mode(lv_worker* w);    // $gc_mode(Old, New): on, off
int prolog_gc_trace(lv_worker* w);   // $gc_trace(Old, New): off, terse, verbose
int prolog_gc_margin(lv_worker* w);  // $gc_margin(Old, New): kilobytes, 0 to 2^40
