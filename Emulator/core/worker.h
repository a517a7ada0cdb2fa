// The engine context: the abstract machine's registers, the bounds of its two
// stack blocks, the argument registers, the term-reference array, the number
// stack and the engine's counters. There is one, a static record. Native code
// and the solver plug-in address its fields by offset, so the layout is fixed
// (checked below).
//
// Stack blocks:
//   first block:  [area_start, local_base) heap, growing up from area_start
//                 [local_base, local_end)  local stack, growing up
//                 [local_end, area_end)    mark map, 2 bits per cell
//   second block: [trail_base, TR)         trail, growing up
//                 [B, choice_base)         choice stack, growing down
//                 [choice_base, tc_end)    map, 1 bit per word
// Choicepoint at B: {alternative, saved local top, saved H, saved TR (bit 0:
// the collector's generation mark), saved E, saved CP, saved X0...}
// (lv_choicepoint). Environment frame at E: {previous E, saved CP, Y0, Y1,
// ...} (lv_env_frame).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "core/term.h"
#include "store/try_record.h"

struct lv_pred;

// A term-reference slot: {term, 0}.
struct lv_termref_slot {
  lv_term term;
  uint64_t zero;
};
static_assert(sizeof(lv_termref_slot) == 16);

// The record of the C predicate being run.
struct lv_foreign_call {
  lv_termref_slot* termrefs;
  lv_term* x0;
  int32_t status;  // 1 while it runs; 0 once it raised an error
  int32_t reserved;
};
static_assert(sizeof(lv_foreign_call) == 24);

constexpr unsigned LV_X_REGISTERS = 256;
constexpr unsigned LV_DEBUG_WORDS = 32;

struct lv_worker {
  lv_foreign_call* foreign_call;    // 0
  const uint32_t* P;                // 1: saved instruction pointer
  lv_pred* called_pred;             // 2: the predicate being called
  lv_term* marked_choice;           // 3: newest choicepoint with the collector's mark
  lv_term* arg_vector;              // 4: argument vector of a goal being looked up (moved with the stacks)
  lv_term* cut_barrier;             // 5: choicepoint top when the running predicate was called (moved)
  int32_t pair_index;               // 6: unification pair stack, in words below B; rests at -6
  int32_t wakeup_count;             //    attributed-variable bindings not yet handled
  lv_term* bdd_lists[3];            // 7-9: creation lists of the decision-diagram tables
  uint64_t bdd_node_count;          // 10: node-count work word of the decision-diagram tables
  lv_term* next_node;               // 11: choicepoint being built (moved with the choice stack)
  int64_t status;                   // 12: emulator status word
  uint64_t emu_scratch;             // 13: emulator scratch word
  int32_t termref_capacity;         // 14: slots in the term-reference array
  int32_t termref_top;              //     first free slot
  lv_termref_slot* termrefs;        // 15
  lv_term* area_start;              // 16: heap base
  lv_term* area_end;                // 17
  lv_term* heap_hard_limit;         // 18: local_base - LV_HEAP_RESERVE_CELLS
  lv_term* heap_soft_limit;         // 19: the hard limit, or 0 to request an event check
  lv_term* local_base;              // 20
  lv_term* local_end;               // 21: start of the mark map
  lv_term* local_limit;             // 22: local_end - 528 cells
  lv_term* choice_base;             // 23: upper end of the choice stack
  lv_term* tc_start;                // 24
  lv_term* trail_base;              // 25: its first word is a 0 sentinel
  lv_term* tc_end;                  // 26
  uint64_t native_scratch;          // 27: a word the native-code glue parks a register in
  lv_term* numstack_top;            // 28
  lv_term* numstack_chunk;          // 29: header of the current chunk (its limit), or 0
  uint64_t jit_counter_limit;       // 30
  void* atom_pages;                 // 31: page table from atom words to atom records
  lv_term* saved_local_top;         // 32: local top saved in the newest choicepoint
  lv_term* HB;                      // 33: heap top saved in the newest choicepoint
  lv_term* B;                       // 34: newest choicepoint
  lv_term* local_top;               // 35
  lv_term* H;                       // 36: heap top
  lv_term* TR;                      // 37: trail top
  lv_term* E;                       // 38: current environment
  const uint32_t* CP;               // 39: continuation
  lv_term X[LV_X_REGISTERS];        // 40-295: argument registers
  uint64_t fcp;                     // 296: a code address native code keeps (a jump target)
  lv_term debug_words[LV_DEBUG_WORDS];  // debugger settings, `off` at start
  lv_foreign_call fcall;            // the record foreign_call points at
  int64_t interrupt_hold;           // nesting counter of queries run from C
  int64_t debug_mode;               // 1 to 4; 4 at start

  // Beyond the fixed layout: engine state that nothing addresses by offset.
  void* bdd_tables[3];              // the decision-diagram hash tables
  lv_term* numstack_first;          // header of the first number-stack chunk
  int gc_flag_a, gc_flag_b, gc_flag_c;
  bool debug_in_box;                // the debugger runs inside a procedure box (zero: off)
  bool debug_engine_switch;         // the engine's second debugger switch (zero: off)
};

#define LV_WORKER_WORD(field, word) static_assert(offsetof(lv_worker, field) == 8 * (word), #field)
LV_WORKER_WORD(foreign_call, 0);
LV_WORKER_WORD(P, 1);
LV_WORKER_WORD(called_pred, 2);
LV_WORKER_WORD(marked_choice, 3);
LV_WORKER_WORD(arg_vector, 4);
LV_WORKER_WORD(cut_barrier, 5);
LV_WORKER_WORD(pair_index, 6);
LV_WORKER_WORD(bdd_lists, 7);
LV_WORKER_WORD(next_node, 11);
LV_WORKER_WORD(termref_capacity, 14);
LV_WORKER_WORD(termrefs, 15);
LV_WORKER_WORD(area_start, 16);
LV_WORKER_WORD(heap_hard_limit, 18);
LV_WORKER_WORD(heap_soft_limit, 19);
LV_WORKER_WORD(local_base, 20);
LV_WORKER_WORD(choice_base, 23);
LV_WORKER_WORD(tc_end, 26);
LV_WORKER_WORD(native_scratch, 27);
LV_WORKER_WORD(numstack_top, 28);
LV_WORKER_WORD(jit_counter_limit, 30);
LV_WORKER_WORD(atom_pages, 31);
LV_WORKER_WORD(saved_local_top, 32);
LV_WORKER_WORD(HB, 33);
LV_WORKER_WORD(B, 34);
LV_WORKER_WORD(local_top, 35);
LV_WORKER_WORD(H, 36);
LV_WORKER_WORD(TR, 37);
LV_WORKER_WORD(E, 38);
LV_WORKER_WORD(CP, 39);
LV_WORKER_WORD(X, 40);
LV_WORKER_WORD(fcp, 296);
LV_WORKER_WORD(debug_words, 297);
LV_WORKER_WORD(fcall, 329);
LV_WORKER_WORD(interrupt_hold, 332);
LV_WORKER_WORD(debug_mode, 333);
#undef LV_WORKER_WORD
static_assert(offsetof(lv_worker, wakeup_count) == 8 * 6 + 4);
static_assert(offsetof(lv_worker, termref_top) == 8 * 14 + 4);

// Reserves kept free: heap cells below the local stack, local cells below
// the mark map, trail bytes below the newest choicepoint.
constexpr int64_t LV_HEAP_RESERVE_CELLS = 1152;
constexpr int64_t LV_LOCAL_RESERVE_CELLS = 528;
constexpr int64_t LV_TRAIL_GAP_BYTES = 4096;
constexpr int64_t LV_TRAIL_REQUEST_CELLS = 512;
constexpr int32_t LV_PAIR_INDEX_REST = -6;

// Choicepoint words.
enum : unsigned {
  LV_CP_ALT = 0,
  LV_CP_LOCAL_TOP = 1,
  LV_CP_H = 2,
  LV_CP_TR = 3,
  LV_CP_E = 4,
  LV_CP_CP = 5,
  LV_CP_ARGS = 6,
};
// Environment-frame words.
enum : unsigned { LV_FRAME_E = 0, LV_FRAME_CP = 1, LV_FRAME_Y = 2 };

// A choicepoint as it lies on the choice stack, seen through its words
// (native code addresses them by offset): the alternative (a try record's
// TRY word; bit 0 set while the choicepoint guards cleanup entries), the
// saved local top, H, TR (its low bits carry the collector's marks), E and
// CP, then the saved argument registers.
struct lv_choicepoint {
  lv_term alt;
  lv_term local_top;
  lv_term h;
  lv_term tr;
  lv_term e;
  lv_term cp;
  lv_term args[];

  lv_term* saved_local_top() const { return reinterpret_cast<lv_term*>(local_top); }
  lv_term* saved_h() const { return reinterpret_cast<lv_term*>(h); }
  lv_term* saved_tr() const { return reinterpret_cast<lv_term*>(tr & ~lv_term{7}); }
  lv_term* saved_e() const { return reinterpret_cast<lv_term*>(e); }
  const uint32_t* saved_cp() const { return reinterpret_cast<const uint32_t*>(cp); }
  const lv_try_record* alternative() const { return lv_alternative_record(alt); }
  // The size in bytes, from the alternative's record.
  int32_t size() const { return lv_alternative_cp_size(alt); }
  bool guards_cleanups() const { return (alt & 1) != 0; }

  // Saves the machine state that backtracking restores.
  void save(lv_term alternative, const lv_term* saved_local, const lv_term* heap_top, const lv_term* trail_top,
            const lv_term* env, const uint32_t* continuation) {
    alt = alternative;
    local_top = reinterpret_cast<lv_term>(saved_local);
    h = reinterpret_cast<lv_term>(heap_top);
    tr = reinterpret_cast<lv_term>(trail_top);
    e = reinterpret_cast<lv_term>(env);
    cp = reinterpret_cast<lv_term>(continuation);
  }
};
static_assert(std::is_standard_layout_v<lv_choicepoint> && sizeof(lv_choicepoint) == 8 * LV_CP_ARGS);
static_assert(offsetof(lv_choicepoint, alt) == 8 * LV_CP_ALT);
static_assert(offsetof(lv_choicepoint, local_top) == 8 * LV_CP_LOCAL_TOP);
static_assert(offsetof(lv_choicepoint, h) == 8 * LV_CP_H);
static_assert(offsetof(lv_choicepoint, tr) == 8 * LV_CP_TR);
static_assert(offsetof(lv_choicepoint, e) == 8 * LV_CP_E);
static_assert(offsetof(lv_choicepoint, cp) == 8 * LV_CP_CP);
static_assert(offsetof(lv_choicepoint, args) == 8 * LV_CP_ARGS);

inline lv_choicepoint* lv_choice_view(lv_term* b) { return reinterpret_cast<lv_choicepoint*>(b); }
inline const lv_choicepoint* lv_choice_view(const lv_term* b) { return reinterpret_cast<const lv_choicepoint*>(b); }

// An environment frame: the previous E, the continuation, then Y0, Y1, ...
struct lv_env_frame {
  lv_term e;
  lv_term cp;
  lv_term y[];

  lv_term* previous() const { return reinterpret_cast<lv_term*>(e); }
  const uint32_t* continuation() const { return reinterpret_cast<const uint32_t*>(cp); }
};
static_assert(std::is_standard_layout_v<lv_env_frame> && sizeof(lv_env_frame) == 8 * LV_FRAME_Y);
static_assert(offsetof(lv_env_frame, e) == 8 * LV_FRAME_E);
static_assert(offsetof(lv_env_frame, cp) == 8 * LV_FRAME_CP);
static_assert(offsetof(lv_env_frame, y) == 8 * LV_FRAME_Y);

inline lv_env_frame* lv_frame_view(lv_term* f) { return reinterpret_cast<lv_env_frame*>(f); }
inline const lv_env_frame* lv_frame_view(const lv_term* f) { return reinterpret_cast<const lv_env_frame*>(f); }

// The heap soft limit is the one word other threads write.
inline lv_term* lv_soft_limit(const lv_worker* w) { return __atomic_load_n(&w->heap_soft_limit, __ATOMIC_RELAXED); }
inline void lv_set_soft_limit(lv_worker* w, lv_term* limit) {
  __atomic_store_n(&w->heap_soft_limit, limit, __ATOMIC_RELAXED);
}
inline void lv_request_event(lv_worker* w) { lv_set_soft_limit(w, nullptr); }

// The pair stack (below B): walks over terms overwrite cells for their
// length (unification and comparison one compound of a pair they meet with
// the other, so that meeting the pair again takes one word; copying an
// original with its copy); each entry keeps the cell and its old contents.
// The caller makes room first.
inline void lv_pair_overwrite(lv_worker* w, lv_term* cell, lv_term value) {
  w->pair_index -= 2;
  lv_term* entry = w->B + w->pair_index;
  entry[0] = lv_make_ref(cell);
  entry[1] = *cell;
  *cell = value;
}
// Undoes the overwrites made since the pair stack stood at rest, newest
// first.
inline void lv_pair_undo(lv_worker* w, int32_t rest) {
  lv_term* b = w->B;
  for (int32_t j = w->pair_index; j < rest; j += 2) *lv_ref_cell(b[j]) = b[j + 1];
  w->pair_index = rest;
}

// The current engine context, or null.
lv_worker* get_current_worker();
void lv_set_current_worker(lv_worker* w);

// Creates the engine context (its stacks, number stack, term references and
// bottom frames); null when that fails. Destroys it again.
lv_worker* lv_create_worker();
void lv_destroy_worker(lv_worker* w);
bool lv_worker_destroyed();

// Stack blocks.
void lv_stack_areas_init(lv_worker* w);
void lv_stack_areas_free(lv_worker* w);
int lv_set_worker_bounds(lv_worker* w, uint64_t heap_cells, uint64_t local_cells, uint64_t move_words);
void lv_trail_usage(const lv_worker* w, uint64_t* used, uint64_t* free_bytes);
void lv_choice_usage(const lv_worker* w, uint64_t* used, uint64_t* free_bytes);

// The previous choicepoint: the alternative record gives the size.
inline lv_term* lv_choice_prev(lv_term* b) {
  return reinterpret_cast<lv_term*>(reinterpret_cast<char*>(b) + lv_choice_view(b)->size());
}

// Makes the choicepoint at b the newest: B, and HB and the protected local
// top from its saved words.
inline void lv_make_choice_current(lv_worker* w, lv_term* b) {
  const lv_choicepoint* c = lv_choice_view(b);
  w->B = b;
  w->HB = c->saved_h();
  w->saved_local_top = c->saved_local_top();
}
