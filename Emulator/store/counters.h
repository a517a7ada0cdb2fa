// Execution counters of predicates: the counter objects the profiled
// emulator fills, how a predicate reaches its object, and the counting
// routines the profiled emulator calls.
#pragma once

#include <cstdint>

#include "core/hashtab.h"
#include "machine/instructions.h"

struct lv_pred;
struct lv_instance_record;
struct lv_worker;

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

// The record that carries the predicate's counters, its object made on
// first use. A record of prolog shares its object with prolog's copy of the
// same name; an imported record counts in the record of its home module,
// whose importers are given the same object.
lv_pred* lv_predicate_counters(lv_pred* pred);
// Unlinks the record's object (also from the records of its module's two
// predicate tables that share it) and frees it.
void lv_free_predicate_counters(lv_pred* pred);
// Clears the counts of the record's object whose keys lie in [start, end):
// code being released.
void lv_clear_counters_in_range(lv_pred* pred, const void* start, const void* end);

// ---- Counting (the profiled emulator) ------------------------------------
// scratch is the emulator's counter object without a table: counts made
// into it are dropped.

// A call of pred: its calls are counted for a static (types 0, 1) or a
// dynamic (type 4) predicate. The object of a static predicate is returned,
// scratch otherwise.
lv_counter_object* lv_profile_enter(lv_pred* pred, lv_counter_object* scratch);
// The object of the predicate whose code holds address, or scratch.
lv_counter_object* lv_profile_counters_at(const void* address, lv_counter_object* scratch);
// One more under the key, when the object has a table.
void lv_profile_count(lv_counter_object* counters, uint64_t key);
// A meta-call target: the key is the record's address plus 1.
void lv_profile_count_pred(lv_counter_object* counters, const lv_pred* pred);
// A dynamic clause entered: counted under its instance record in its
// predicate's object. Nothing for a null record or a predicate without one.
void lv_profile_count_instance(lv_instance_record* record);
// The key of a clause: its code address, past the first-argument test that
// a key chain skips.
uint64_t lv_profile_clause_key(const uint32_t* code);

// The call trace: a call of kind k is traced unless the kind only leads to
// another (internal entries, Module:Goal, spy and block points, the native
// kinds), which traces instead. Level 2 prints the goal, any other level
// the predicate spec, on user_error.
inline bool lv_profile_traces_kind(uint32_t k) {
  return k != LV_KIND_ENTER_INTERNAL && k != LV_KIND_BUILTIN_COLON && k != LV_KIND_BREAKPOINT &&
         k != LV_KIND_BLOCKPOINT && k != LV_KIND_JITTABLE && k != LV_KIND_JITTED;
}
void lv_profile_trace(lv_worker* w, const lv_pred* pred, int level);

// Sets the non-determinate bit of the key's count, entering the key with
// the count 0 when it is absent.
void lv_profile_mark_nondet(lv_counter_object* counters, uint64_t key);
