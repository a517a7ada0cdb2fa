// $statistics/2: the engine's counters and times by key.
#include "embed/statistics_builtins.h"

#include <cstring>

#include "core/atom_gc.h"
#include "core/atoms.h"
#include "core/clock.h"
#include "core/gc.h"
#include "core/memory.h"
#include "core/memory_builtins.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/thread_time.h"
#include "core/unify.h"
#include "store/db_generations.h"
#include "store/reclaim.h"

namespace {

// The highest atom count the atom table allows.
constexpr int64_t ATOM_LIMIT = 33554431;

// The "last query" values of the three [Total, SinceLast] keys.
struct last_values {
  uint64_t runtime_now;
  uint64_t runtime_excluded;  // collector and shift times at that query
  uint64_t total_now;
  uint64_t wall_now;
};
last_values last;

// Milliseconds of the six collector and stack-shift times.
uint64_t excluded_ms() {
  return lv_shift_stats.shift_ms + lv_gc_stats.milliseconds + lv_reclaim_statistics().milliseconds + lv_db.reclaim_ms +
         lv_atom_gc_statistics().milliseconds;
}

// The reserve between the heap's limit and the local stack's start, which
// neither stack owns; each is counted half of it as free.
int64_t shared_reserve_bytes(const lv_worker* w) { return (w->local_base - w->heap_hard_limit) * 8; }

// [T, D] on the heap.
lv_term pair_list(lv_worker* w, int64_t t, int64_t d) {
  lv_term a = lv_make_integer(w, t);
  lv_term b = lv_make_integer(w, d);
  lv_term* cells = w->H;
  w->H += 4;
  cells[0] = a;
  cells[1] = lv_make_list(cells + 2);
  cells[2] = b;
  cells[3] = LV_ATOM_NIL;
  return lv_make_list(cells);
}

// The value of a key whose value is one integer; false for other keys.
bool integer_key(const lv_worker* w, const char* key, int64_t* v) {
  lv_atom_gc_stats agc = lv_atom_gc_statistics();
  lv_atom_stats atoms = lv_atoms_stats();
  lv_reclaim_stats reclaim = lv_reclaim_statistics();
  uint64_t used = 0, free_bytes = 0;
  struct entry {
    const char* name;
    int64_t value;
  };
  const entry table[] = {
      {"agc_count", static_cast<int64_t>(agc.collections)},
      {"agc_nbfreed", static_cast<int64_t>(agc.atoms_freed)},
      {"agc_freed", static_cast<int64_t>(agc.bytes_freed)},
      {"agc_time", static_cast<int64_t>(agc.milliseconds)},
      {"atoms_nbused", static_cast<int64_t>(atoms.live)},
      {"atoms_nbfree", ATOM_LIMIT - static_cast<int64_t>(atoms.live)},
      {"atoms_used", static_cast<int64_t>(atoms.bytes_held)},
      {"gc_count", static_cast<int64_t>(lv_gc_stats.collections)},
      {"gc_freed", static_cast<int64_t>(lv_gc_stats.cells_reclaimed * 8)},
      {"gc_time", static_cast<int64_t>(lv_gc_stats.milliseconds)},
      // The code of erased and replaced static clauses (dead predicate
      // code) and the database's erased clauses are reclaimed apart; the
      // engine has no defragmenter.
      {"dpgc_count", static_cast<int64_t>(reclaim.runs)},
      {"dpgc_time", static_cast<int64_t>(reclaim.milliseconds)},
      {"dcgc_count", static_cast<int64_t>(lv_db.reclaim_runs)},
      {"dcgc_time", static_cast<int64_t>(lv_db.reclaim_ms)},
      {"defrag_count", 0},
      {"defrag_time", 0},
      {"ss_global", static_cast<int64_t>(lv_shift_stats.heap_short)},
      {"ss_local", static_cast<int64_t>(lv_shift_stats.local_short)},
      {"ss_choice", static_cast<int64_t>(lv_shift_stats.trail_choice_overflows)},
      {"ss_time", static_cast<int64_t>(lv_shift_stats.shift_ms)},
      {"global_stack_used", (w->H - w->area_start) * 8},
      {"global_stack_free", (w->heap_hard_limit - w->H) * 8 + shared_reserve_bytes(w) / 2},
      {"local_stack_used", (w->local_top - w->local_base) * 8},
      {"local_stack_free", (w->local_limit - w->local_top) * 8 + shared_reserve_bytes(w) / 2},
      {"memory_used", static_cast<int64_t>(lv_mem_used_bytes())},
      {"memory_free", static_cast<int64_t>(lv_mem_free_bytes())},
      {"memory_culprit", lv_mem_culprit()},
      // No native-code compiler hands over code yet.
      {"jit_count", 0},
      {"jit_time", 0},
  };
  for (const entry& e : table)
    if (std::strcmp(e.name, key) == 0) {
      *v = e.value;
      return true;
    }
  if (std::strcmp(key, "trail_used") == 0 || std::strcmp(key, "trail_free") == 0) {
    lv_trail_usage(w, &used, &free_bytes);
    *v = static_cast<int64_t>(key[6] == 'u' ? used : free_bytes);
    return true;
  }
  if (std::strcmp(key, "choice_used") == 0 || std::strcmp(key, "choice_free") == 0) {
    lv_choice_usage(w, &used, &free_bytes);
    *v = static_cast<int64_t>(key[7] == 'u' ? used : free_bytes);
    return true;
  }
  return false;
}

}  // namespace

void lv_statistics_reset() {
  last.runtime_now = last.total_now = lv_mem_start_cpu_ms();
  last.runtime_excluded = excluded_ms();
  last.wall_now = lv_mem_start_wall_ms();
}

int prolog_statistics(lv_worker* w) {
  lv_term key = lv_deref(w->X[0]);
  if (!lv_is_atom(key)) return 0;
  const char* name = lv_atom_text(key);
  lv_heap_room(w, 128, 2);  // the most: memory_buckets, 28 boxed counters and their structure
  lv_term value;
  int64_t v;
  if (integer_key(w, name, &v)) {
    value = lv_make_integer(w, v);
  } else if (std::strcmp(name, "memory_buckets") == 0) {
    value = lv_mem_bucket_counts(w);
  } else if (std::strcmp(name, "runtime") == 0) {
    uint64_t now = lv_thread_cpu_ms();
    uint64_t excluded = excluded_ms();
    int64_t t = static_cast<int64_t>(now - lv_mem_start_cpu_ms() - excluded);
    int64_t d = static_cast<int64_t>((now - last.runtime_now) - (excluded - last.runtime_excluded));
    last.runtime_now = now;
    last.runtime_excluded = excluded;
    value = pair_list(w, t, d);
  } else if (std::strcmp(name, "total_runtime") == 0) {
    uint64_t now = lv_thread_cpu_ms();
    value = pair_list(w, static_cast<int64_t>(now - lv_mem_start_cpu_ms()), static_cast<int64_t>(now - last.total_now));
    last.total_now = now;
  } else if (std::strcmp(name, "walltime") == 0) {
    uint64_t now = lv_clock_ms();
    value = pair_list(w, static_cast<int64_t>(now - lv_mem_start_wall_ms()), static_cast<int64_t>(now - last.wall_now));
    last.wall_now = now;
  } else {
    value = LV_ATOM_NIL;
  }
  return cunify(w, w->X[1], value);
}

int prolog_local_stack_avail(lv_worker* w) {
  lv_heap_room(w, 3, 1);
  return cunify(w, w->X[0], lv_make_integer(w, w->local_limit - w->local_top));
}
