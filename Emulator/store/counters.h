// Execution counters of predicates.
#pragma once

#include <cstdint>

#include "core/hashtab.h"

struct lv_pred;

// A predicate's counter object, filled by the instrumented emulator.
struct lv_counter_object {
  lv_keytab* table;       // word table: key -> 2 x count, bit 0 once an exit was non-determinate
  uint64_t choices;       // TRY instructions and backtracks into the code
  uint64_t instructions;  // instructions run in the code
  uint64_t calls;         // 2 x calls, bit 0 the predicate's non-determinate flag
};
static_assert(sizeof(lv_counter_object) == 32);

// A new object with an empty four-slot table; freeing it frees the table.
lv_counter_object* lv_new_counter_object();
void lv_free_counter_object(lv_counter_object* counters);

// Sets the non-determinate bit of the key's count, entering the key with
// the count 0 when it is absent.
void lv_profile_mark_nondet(lv_counter_object* counters, uint64_t key);

// Frees the predicate's counter record and its counter range, if any.
void lv_counters_free(lv_pred* pred);
