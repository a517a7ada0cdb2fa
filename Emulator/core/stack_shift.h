// Making room on the engine's stacks: heap and local-stack overflow, room
// between the trail and the choice stack, and the moves of the two stack
// blocks with the relocation of every pointer into them.
//
// After any of these calls every register, saved value, term reference,
// registered cell and argument register points into the new stacks; term
// words kept anywhere else by C code are stale.
#pragma once

#include <cstdint>

#include "core/worker.h"

// Makes room for heap cells a and local cells b (b includes the local
// reserve); a < 0 asks for a collection regardless of policy. The result is
// not used by callers.
int64_t heap_overflow(lv_worker* w, int64_t heap_cells, int64_t local_cells);

// heap_overflow that keeps argument registers X0..Xn-1 valid.
void call_overflow(lv_worker* w, int64_t heap_cells, int64_t live_registers);

// Makes sure that cells heap cells are free below the heap limit (the
// reserve lies beyond it), keeping X0..X(live-1); call_overflow only when
// they are not.
inline void lv_heap_room(lv_worker* w, int64_t cells, int64_t live) {
  if (w->heap_hard_limit - w->H < cells) call_overflow(w, cells, live);
}

// Makes sure that at least 2n words minus the pair index are free between
// TR and B, first tidying the trail (not for n < 0, which asks for -n).
// Returns the milliseconds spent.
int64_t lv_ensure_choice_space(lv_worker* w, int64_t n);
int64_t lv_choice_overflow(lv_worker* w, int64_t n);

// lv_ensure_choice_space(n) keeping the k words that the caller placed at TR:
// afterwards they are at the (possibly moved) TR again.
void lv_shift_args_to_choice(lv_worker* w, int64_t k, int64_t n);

// Moves the first block to an area of new_size bytes laid out for heap_cells
// and local_cells, and relocates. old_size is the block's present size.
// Returns the choicepoint just older than the newest marked one (stored as
// marked_choice), as lv_shift_trail_choice does.
lv_term* lv_shift_heap_stack(lv_worker* w, uint64_t old_size, uint64_t new_size, uint64_t heap_cells,
                             uint64_t local_cells, int trace);

// Moves the second block to an area of new_size bytes. Returns the
// choicepoint just older than the newest marked one.
lv_term* lv_shift_trail_choice(lv_worker* w, uint64_t old_size, uint64_t new_size);

// Relocation after the first block moved or was re-divided. Deltas are in
// bytes; the old bounds and the present H (not yet moved) say which words
// point where. Heap pointers move by heap_delta, local references by
// local_delta.
void lv_relocate_after_shift(lv_worker* w, int64_t heap_delta, int64_t local_delta, lv_term* old_heap_start,
                             lv_term* old_local_base, lv_term* old_local_end);
// The same when only the local stack moved (the heap is not scanned).
void lv_relocate_local(lv_worker* w, int64_t local_delta, lv_term* old_local_base, lv_term* old_local_end);

// Stores the newest choicepoint whose saved TR carries the generation mark
// as marked_choice, and returns the one just older than it.
lv_term* lv_newest_marked_choice(lv_worker* w);

// Words a first block needs for the given cells; words a second block needs
// for the given trail and choice words.
inline uint64_t lv_block_words(uint64_t heap_cells, uint64_t local_cells) {
  return (heap_cells + local_cells + 31) / 32 * 33;
}
inline uint64_t lv_tc_block_words(uint64_t words) { return (words + 63) / 64 * 65; }

// Words of the second block's map for a block of the given words: one bit
// per word, an even number of words.
inline uint64_t lv_tc_map_words(uint64_t block_words) { return ((block_words + 64) / 65 + 1) & ~uint64_t{1}; }

// Process-wide counters, read by the statistics built-ins.
struct lv_shift_statistics {
  uint64_t heap_overflows;
  uint64_t heap_short;          // overflows with too little heap
  uint64_t local_short;         // overflows with too little local stack
  uint64_t local_short_only;    // ... while the heap had room
  uint64_t collections;         // collections run by an overflow
  uint64_t collections_local;   // ... while only the local stack was short
  uint64_t heap_shifts;         // moves of the first block
  uint64_t shifts;              // every relocation
  uint64_t trail_choice_overflows;
  uint64_t shift_ms;            // thread CPU time in shifting and choice-space handling
};
extern lv_shift_statistics lv_shift_stats;

// Debug setting: when on, every heap overflow moves the first block to a new
// area (instead of re-dividing it in place or leaving it alone), and every
// call of lv_ensure_choice_space moves the second block, so that relocation
// runs on every overflow rather than only when the stacks really grow. Off by
// default; the yes/no setting LV_SHIFT_ALWAYS_MOVE turns it on for a whole
// run (read at the first overflow). lv_shift_set_always_move sets it for a
// test: 1 on, 0 off, -1 from the setting again.
void lv_shift_set_always_move(int mode);
bool lv_shift_always_move();

// $garbage_collect(Full): unless Full is 0, clears the generation marks so
// that the whole heap is collected; then runs heap_overflow for a
// collection. Succeeds.
int prolog_gc_start(lv_worker* w);

// The stack step of memory trimming: shrinks both blocks to what is in use
// (not below their configured initial sizes).
void lv_trim_stacks(lv_worker* w, int mode);
