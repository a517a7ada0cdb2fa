// The solver's state record, one per loaded plug-in: built by domsolve_init,
// reached by every solver function through word 2 of its lv_foreign_env,
// freed by domsolve_deinit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/runtime.h"
#include "kernel/terms.h"

// The functor words interned at init (state words 13-35), by index.
enum fd_functor_index : unsigned {
  FD_F_IN_SET_2,        // in_set/2
  FD_F_MIN_1,           // min/1
  FD_F_MAX_1,           // max/1
  FD_F_MINMAX_1,        // minmax/1
  FD_F_VAL_1,           // val/1
  FD_F_NONE_1,          // none/1
  FD_F_CALL_1,          // call/1
  FD_F_EQUAL_2,         // =/2
  FD_F_INDEXICAL_EQ_2,  // 't=u IND'/2
  FD_F_LEQ_PLUS_3,      // 't=<u+c'/3
  FD_F_ALL_DISTINCT_1,  // all_distinct/1
  FD_F_COLORED_1,       // colored/1
  FD_F_COMPLEMENT_1,    // \/1
  FD_F_INTERSECTION_2,  // /\/2
  FD_F_UNION_2,         // \//2
  FD_F_RANGE_2,         // ../2
  FD_F_BRACES_1,        // {}/1
  FD_F_LIT_3,           // lit/3
  FD_F_A_1,             // a/1
  FD_F_D_1,             // d/1
  FD_F_H_1,             // h/1
  FD_F_L_1,             // l/1
  FD_F_T_1,             // t/1
  FD_FUNCTOR_COUNT
};

// The search heuristics' atoms (state words 46-52).
enum fd_heuristic_index : unsigned {
  FD_H_FF,
  FD_H_FFC,
  FD_H_ANTI_FIRST_FAIL,
  FD_H_OCCURRENCE,
  FD_H_MAX_REGRET,
  FD_H_IMPACT,
  FD_H_DOM_W_DEG,
  FD_HEURISTIC_COUNT
};

// Pending overflow codes.
enum : int32_t { FD_OVERFLOW_NONE = 0, FD_OVERFLOW_INF = 1, FD_OVERFLOW_SUP = 2 };

struct fd_queue_block;
struct fd_definition;

// A pinned word and the slot the collector works on.
struct fd_pin_entry {
  lv_term* word;
  fd_termref_slot slot;
};

// What the kernel keeps beside the state words (state word 8 points to it).
struct fd_kernel_tables {
  // Indexical definitions taken out of their predicate (replaced, or their
  // predicate's definition freed), kept while posted indexicals may still
  // use them; freed when the plug-in is unloaded.
  fd_definition* retired_definitions;
  // Keyed tables (address -> value; value 0 once removed):
  void* blocks;       // the live propagator blocks -> 1
  void* definitions;  // the predicates made indexical definitions -> their table of four chain heads
  void* tables;       // those tables -> their predicate
  void* records;      // every definition record ever made -> 1
  // The propagator a daemon runs for, where the daemon may update it; a
  // slot the engine hook keeps valid across collections and heap moves.
  fd_termref_slot daemon_propagator;
  // Pinned words: cells outside the heap that hold heap pointers across
  // calls that may move the heap (the shared rests of sets on their way to
  // a variable). The collector threads only two-word slots (the second word
  // flags a chain), so a collection works on a slot copy of each word,
  // written back once it is over (fd_pins_follow); a heap move updates the
  // words themselves.
  fd_pin_entry* pins;
  int64_t pin_count;
  int64_t pin_capacity;
  // Set while the slots, not the words, hold the pinned values.
  int64_t pins_in_slots;
};

struct fd_solver_state {
  void* scratch;                  // 0: the running propagator's C state, for sort callbacks
  int64_t debug;                  // 1: nonzero hands every propagator to the Prolog level
  int64_t overflow;               // 2: 1 error (call overflow_action/2), 0 fail
  int64_t resumptions;            // 3
  int64_t entailments;            // 4
  int64_t prunings;               // 5
  int64_t failures;               // 6
  int64_t constraints;            // 7
  fd_kernel_tables* tables;       // 8

  void* profile_free;             // 9: profile node free list of the scheduling propagators
  lv_module* module;              // 10: module domsolve
  lv_pred* overflow_handler;      // 11: domsolve:overflow_action/2, looked up when first needed
  int32_t pending_overflow;       // 12 (low half)
  int32_t unused_12;
  lv_term functors[FD_FUNCTOR_COUNT];  // 13-35
  lv_term event_templates[8];     // 36-43: {val/1, dom/1}, {min/1, dom/1}, {max/1, dom/1}, {minmax/1, dom/1}
  lv_term atom_min;               // 44
  lv_term atom_max;               // 45
  lv_term heuristics[FD_HEURISTIC_COUNT];  // 46-52
  fd_queue_block* queues;         // 53
  void* propagators;              // 54: keyed hash table, functor word -> C function
};
static_assert(sizeof(fd_solver_state) == 55 * 8);
static_assert(offsetof(fd_solver_state, module) == 10 * 8);
static_assert(offsetof(fd_solver_state, pending_overflow) == 12 * 8);
static_assert(offsetof(fd_solver_state, functors) == 13 * 8);
static_assert(offsetof(fd_solver_state, event_templates) == 36 * 8);
static_assert(offsetof(fd_solver_state, heuristics) == 46 * 8);
static_assert(offsetof(fd_solver_state, queues) == 53 * 8);
static_assert(offsetof(fd_solver_state, propagators) == 54 * 8);

inline fd_solver_state* fd_state(const lv_foreign_env* env) {
  return reinterpret_cast<fd_solver_state*>(env->state);
}

inline fd_kernel_tables* fd_tables(const lv_foreign_env* env) { return fd_state(env)->tables; }

// Records a pending overflow (FD_OVERFLOW_INF or FD_OVERFLOW_SUP).
inline void fd_set_overflow(const lv_foreign_env* env, int32_t code) { fd_state(env)->pending_overflow = code; }

// The kernel's keyed tables of addresses: the value stored for key, and
// storing one (0 counts as absent).
uint64_t fd_keyed_get(const lv_foreign_env* env, void* table, const void* key);
void fd_keyed_put(const lv_foreign_env* env, void** table, const void* key, uint64_t value);
// Calls f(key, value) for every key of a keyed table (the table's layout:
// {byte mask = (capacity - 1) * 16, count}, then capacity {key, value}
// entries, key 0 for an empty one).
template <typename F>
void fd_keyed_for_each(void* table, F f) {
  const uint64_t* header = static_cast<const uint64_t*>(table);
  const fd_hash_entry* entries = reinterpret_cast<const fd_hash_entry*>(header + 2);
  uint64_t capacity = header[0] / 16 + 1;
  for (uint64_t i = 0; i < capacity; i++)
    if (entries[i].key != 0) f(entries[i].key, entries[i].value);
}

// The C propagator of a goal's functor word (an atom counts as arity 0), or
// null when the propagator table has none.
typedef int (*fd_propagator_fn)(lv_foreign_env* env, lv_term_ref state, lv_term_ref new_state, lv_term_ref actions,
                                lv_term_ref goal);
fd_propagator_fn fd_find_propagator(const lv_foreign_env* env, lv_term key);

// The overflow report that every propagator exit goes through: takes the
// pending overflow code and clears it; 1 when none was pending; otherwise
// fails the running predicate (LV_fail) after calling overflow_action(Goal,
// Code) of module domsolve when the setting is `error` (raising what it
// raised), and returns 0.
int fd_report_overflow(lv_foreign_env* env, lv_term goal);

// The plug-in's init and deinit, as the runtime calls them: with the
// environment and the loading stage (When), which they do not need.
extern "C" void domsolve_init(lv_foreign_env* env, int when);
extern "C" void domsolve_deinit(lv_foreign_env* env, int when);
