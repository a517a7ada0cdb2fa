// The engine context as the solver addresses it: the runtime lays out its
// first words at fixed offsets (the plug-in and native code rely on them),
// and the solver reads and writes the fields below through this view. The
// stacks: the heap grows up from area_start; the trail grows up from
// trail_base towards the choice stack, which grows down from choice_base to
// B. A choicepoint is {alternative, local top, H, TR, E, CP, saved
// registers...}; its alternative word points at a 32-bit instruction word
// whose preceding 32-bit word holds the choicepoint's size in bytes; bit 0
// of the alternative word marks choicepoints that guard entries of the
// handle list (deferred frees).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/terms.h"

struct fd_termref_slot {
  lv_term term;
  uint64_t zero;
};

// The record of the C predicate being run.
struct fd_foreign_call {
  fd_termref_slot* termrefs;
  lv_term* x0;
  int32_t status;
  int32_t reserved;
};

struct fd_engine {
  fd_foreign_call* foreign_call;  // 0
  uint64_t words_1_5[5];
  int32_t pair_index;             // 6
  int32_t wakeup_count;           //   pending attributed-variable wake-ups
  uint64_t words_7_13[7];
  int32_t termref_capacity;       // 14
  int32_t termref_top;
  fd_termref_slot* termrefs;      // 15
  lv_term* area_start;            // 16: heap base
  lv_term* area_end;              // 17
  lv_term* heap_hard_limit;       // 18
  lv_term* heap_soft_limit;       // 19: 0 asks for an event check; written by other threads
  lv_term* local_base;            // 20
  lv_term* local_end;             // 21
  lv_term* local_limit;           // 22
  lv_term* choice_base;           // 23
  lv_term* tc_start;              // 24
  lv_term* trail_base;            // 25
  lv_term* tc_end;                // 26
  uint64_t native_scratch;        // 27
  lv_term* numstack_top;          // 28
  lv_term* numstack_chunk;        // 29: the current chunk's limit, 0 before the first chunk
  uint64_t words_30_31[2];
  lv_term* saved_local_top;       // 32
  lv_term* HB;                    // 33: heap top saved in the newest choicepoint
  lv_term* B;                     // 34: newest choicepoint
  lv_term* local_top;             // 35
  lv_term* H;                     // 36
  lv_term* TR;                    // 37
  lv_term* E;                     // 38
  const uint32_t* CP;             // 39
  lv_term X[256];                 // 40
};

#define FD_ENGINE_WORD(field, word) static_assert(offsetof(fd_engine, field) == 8 * (word), #field)
FD_ENGINE_WORD(foreign_call, 0);
FD_ENGINE_WORD(pair_index, 6);
FD_ENGINE_WORD(termref_capacity, 14);
FD_ENGINE_WORD(termrefs, 15);
FD_ENGINE_WORD(area_start, 16);
FD_ENGINE_WORD(heap_hard_limit, 18);
FD_ENGINE_WORD(heap_soft_limit, 19);
FD_ENGINE_WORD(local_base, 20);
FD_ENGINE_WORD(choice_base, 23);
FD_ENGINE_WORD(trail_base, 25);
FD_ENGINE_WORD(numstack_top, 28);
FD_ENGINE_WORD(numstack_chunk, 29);
FD_ENGINE_WORD(saved_local_top, 32);
FD_ENGINE_WORD(HB, 33);
FD_ENGINE_WORD(B, 34);
FD_ENGINE_WORD(H, 36);
FD_ENGINE_WORD(TR, 37);
FD_ENGINE_WORD(X, 40);
#undef FD_ENGINE_WORD
static_assert(offsetof(fd_engine, wakeup_count) == 8 * 6 + 4);
static_assert(sizeof(fd_foreign_call) == 24);

// Choicepoint words.
enum : unsigned { FD_CP_ALT = 0, FD_CP_H = 2, FD_CP_TR = 3 };

// Heap cells kept free below the local stack; trail bytes kept free below
// the newest choicepoint; trail entries asked for when short.
constexpr int64_t FD_HEAP_RESERVE_CELLS = 1152;
constexpr int64_t FD_TRAIL_GAP_BYTES = 4096;
constexpr int64_t FD_TRAIL_REQUEST_CELLS = 512;

inline fd_engine* fd_engine_of(const lv_foreign_env* env) { return static_cast<fd_engine*>(env->engine); }

// The size in bytes of the choicepoint at b, from its alternative.
inline int64_t fd_choice_size(const lv_term* b) {
  const uint32_t* insn = reinterpret_cast<const uint32_t*>(b[FD_CP_ALT] & ~lv_term{1});
  return static_cast<int64_t>((insn[-1] + 15) & ~15u);
}

// A heap cell older than the newest choicepoint (it must be trailed before
// it changes).
inline bool fd_older_than_choice(const fd_engine* w, const lv_term* cell) { return cell < w->HB; }
inline bool fd_on_heap(const fd_engine* w, const lv_term* cell) { return cell >= w->area_start && cell < w->H; }

inline void fd_request_event(fd_engine* w) { __atomic_store_n(&w->heap_soft_limit, nullptr, __ATOMIC_RELAXED); }
inline lv_term* fd_soft_limit(const fd_engine* w) { return __atomic_load_n(&w->heap_soft_limit, __ATOMIC_RELAXED); }
