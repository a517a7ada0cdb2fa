// Domain sets (fdset): a proper list of disjoint, ascending intervals held as
// ordinary terms, [] for the empty set. An interval is one list cell
// [Min|Max]; bounds are small integers, `inf` (only as the first Min) or
// `sup` (only as the last Max). Between two intervals at least one value is
// missing: adjacent intervals are always merged.
//
// New cells come from the engine's number stack (the scratch region): an
// interval costs four words written together, the list cell {head, tail}
// followed by the interval cell {Min, Max}; an unchanged interval is kept
// by reference under a new two-word list cell; an unchanged rest of a list
// is shared as the tail of the result. Inputs are never changed, except by
// fdset_merge and fdset_sort_intervals, which relink their input's cells.
//
// Inside the algorithms a bound is a key, a plain integer in which `inf` is
// the value below the smallest small integer and `sup` the value above the
// largest: the successor of the largest small integer is then `sup`, the
// predecessor of the smallest is `inf`, and the successor of `sup` lies above
// it, all without wrapping. Results whose bounds saturated ([inf|inf],
// [sup|sup], an interval starting at `sup` or ending at `inf`) are
// representable; fdset_copy_checked detects them.
#pragma once

#include <cstdint>

#include "arith/bounds.h"
#include "kernel/engine.h"
#include "kernel/runtime.h"
#include "kernel/terms.h"

typedef lv_term fdset;

// Keys.
constexpr int64_t FD_KEY_INF = FD_SMALL_MIN - 1;
constexpr int64_t FD_KEY_SUP = FD_SMALL_MAX + 1;

inline int64_t fd_bound_key(lv_term b) {
  if (fd_is_small(b)) [[likely]]
    return fd_small_value(b);
  return b == FD_INF ? FD_KEY_INF : FD_KEY_SUP;
}
inline lv_term fd_key_bound(int64_t k) {
  if (k < FD_SMALL_MIN) return FD_INF;
  if (k > FD_SMALL_MAX) return FD_SUP;
  return fd_make_small(k);
}
// Successor and predecessor of a bound, as bounds: the successor of the
// largest small integer is `sup`, the predecessor of the smallest `inf`.
inline lv_term fd_bound_succ(lv_term b) { return fd_is_small(b) ? fd_key_bound(fd_small_value(b) + 1) : b; }
inline lv_term fd_bound_pred(lv_term b) { return fd_is_small(b) ? fd_key_bound(fd_small_value(b) - 1) : b; }
// Bound order: -1, 0 or 1.
inline int fd_bound_compare(lv_term a, lv_term b) {
  int64_t x = fd_bound_key(a), y = fd_bound_key(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

// The parts of a set.
inline lv_term* fdset_interval_cell(fdset s) { return fd_list_cells(fd_list_cells(s)[0]); }
inline lv_term fdset_first_min(fdset s) { return fdset_interval_cell(s)[0]; }
inline lv_term fdset_first_max(fdset s) { return fdset_interval_cell(s)[1]; }
inline fdset fdset_rest(fdset s) { return fd_list_cells(s)[1]; }
inline bool fdset_empty(fdset s) { return s == FD_NIL; }

// Scratch allocation: n words from the number stack, moving to the next
// chunk (numstack_overflow) while the current one lacks room; a limit of 0
// counts as no room.
inline lv_term* fdset_alloc(const lv_foreign_env* env, int64_t words) {
  fd_engine* w = fd_engine_of(env);
  while (w->numstack_chunk == nullptr || w->numstack_chunk - w->numstack_top < words) fd_rt::numstack_overflow(env);
  lv_term* p = w->numstack_top;
  w->numstack_top = p + words;
  return p;
}
// Empties the scratch region: the next allocation starts afresh at the
// first chunk.
inline void fd_scratch_reset(const lv_foreign_env* env) { fd_engine_of(env)->numstack_chunk = nullptr; }

// Construction and conversion.
fdset fdset_interval(const lv_foreign_env* env, lv_term min, lv_term max);
fdset fdset_pair(const lv_foreign_env* env, lv_term a, lv_term b);
fdset fdset_interval_complement(const lv_foreign_env* env, lv_term a, lv_term b);
fdset fdset_progression(const lv_foreign_env* env, int64_t n, int64_t step);
// The smallest value in *first and the set without it.
fdset fdset_split_first(const lv_foreign_env* env, fdset s, lv_term* first);
// The set with every cell that lies on the heap copied into the scratch
// region.
fdset fdset_copy_off_heap(const lv_foreign_env* env, fdset s);

// Detaches the set's prefix from the heap: walks the list cells that lie
// off the heap from *set on, giving each an interval cell off the heap too
// (a copy where it shared one on the heap), and returns the address of the
// word that ends the walk: *set itself or the tail word of the last such
// cell, holding [] or the rest of the list that lies on the heap. That word
// is then the set's only pointer into the heap (pin it across anything
// that may move the heap). *prefix receives the number of cells walked.
lv_term* fdset_detach_prefix(const lv_foreign_env* env, fdset* set, int64_t* prefix);

// Queries (no allocation). Min and max of a non-empty set.
inline lv_term fdset_min(fdset s) { return fdset_first_min(s); }
lv_term fdset_max(fdset s);
// Number of values of a finite set (plain); and whether every bound is an
// integer and that number is a small integer.
int64_t fdset_size(fdset s);
int fdset_size_fits(fdset s);
int fdset_singleton(fdset s);
int fdset_member(lv_term value, fdset s);
int fdset_intersects(fdset s1, fdset s2);
int fdset_intersects_interval(fdset s, lv_term a, lv_term b);
// As fdset_intersects_interval; *rest receives the list from the first
// interval that does not lie wholly below a.
int fdset_find_overlap(lv_term a, lv_term b, fdset s, fdset* rest);
// The smallest / largest common value, or 0 when there is none.
lv_term fdset_first_common(fdset s1, fdset s2);
lv_term fdset_intersect_witness(fdset s1, fdset s2);
// The smallest value above v (`sup` when none); the largest below v (`inf`
// when none).
lv_term fdset_next_value(fdset s, lv_term v);
lv_term fdset_prev_value(fdset s, lv_term v);
// -1 when v < lo, 1 when v > hi, 0 inside.
int fd_value_compare_interval(lv_term v, lv_term lo, lv_term hi);
// Lower median and middle value of a non-empty finite set (plain).
int64_t fdset_median(fdset s);
int64_t fdset_middle(fdset s);

// Relation codes of fdset_compare.
enum : int {
  FDSET_EQUAL = 0,
  FDSET_CONTAINS = 1,   // the first strictly contains the second
  FDSET_INSIDE = 2,     // the first lies strictly inside the second
  FDSET_DISJOINT = 3,   // both non-empty
  FDSET_OVERLAP = 4,    // common values, and each has values the other lacks
};
int fdset_compare(fdset s1, fdset s2);
int fdset_compare_interval(fdset s, lv_term a, lv_term b);

// Operations that build sets.
fdset fdset_union(const lv_foreign_env* env, fdset s1, fdset s2);
fdset fdset_union_interval(const lv_foreign_env* env, fdset s, lv_term a, lv_term b);
fdset fdset_add_value(const lv_foreign_env* env, lv_term v, fdset s);
fdset fdset_union_if_needed(const lv_foreign_env* env, fdset s1, fdset s2);
fdset fdset_intersection(const lv_foreign_env* env, fdset s1, fdset s2);
fdset fdset_restrict(const lv_foreign_env* env, fdset s, lv_term min, lv_term max);
// The set without its values below min; the rest is shared.
fdset fdset_restrict_below(const lv_foreign_env* env, fdset s, lv_term min);
fdset fdset_subtract(const lv_foreign_env* env, fdset s1, fdset s2);
fdset fdset_delete_interval(const lv_foreign_env* env, fdset s, lv_term a, lv_term b);
inline fdset fdset_delete_value(const lv_foreign_env* env, fdset s, lv_term v) {
  return fdset_delete_interval(env, s, v, v);
}
fdset fdset_complement_range(const lv_foreign_env* env, lv_term a, lv_term b, fdset s);
inline fdset fdset_complement_op(const lv_foreign_env* env, fdset s) {
  return fdset_complement_range(env, FD_INF, FD_SUP, s);
}
fdset fdset_add_constant(const lv_foreign_env* env, fdset s, lv_term c);
fdset fdset_reflect(const lv_foreign_env* env, fdset s, lv_term c);
fdset fdset_combine(const lv_foreign_env* env, fdset a, fdset b, lv_term lo, lv_term hi);
// The union of n sets, by halving.
fdset fdset_union_n(const lv_foreign_env* env, int64_t n, const fdset* sets);

// Builder: ascending, non-overlapping input; the result is head.
struct fdset_builder {
  fdset head;
  lv_term* last;  // the last interval cell, or null
};
inline void fdset_builder_init(fdset_builder* b) {
  b->head = FD_NIL;
  b->last = nullptr;
}
void fdset_builder_add_interval(const lv_foreign_env* env, fdset_builder* b, lv_term lo, lv_term hi);
inline void fdset_builder_add_value(const lv_foreign_env* env, fdset_builder* b, lv_term v) {
  fdset_builder_add_interval(env, b, v, v);
}

// Iterator: the current value (FD_SUP, above every small integer, once
// exhausted), the current interval's Max and the rest of the list.
struct fdset_iter {
  lv_term value;
  lv_term max;
  fdset rest;
};
void fdset_iter_init(fdset_iter* it, fdset s);
inline bool fdset_iter_done(const fdset_iter* it) { return it->value == FD_SUP; }
lv_term fdset_iter_next(fdset_iter* it);
// The current [value, Max] in *lo, *hi; advances to the next interval.
void fdset_iter_next_interval(fdset_iter* it, lv_term* lo, lv_term* hi);

// Destructive operations: they relink and overwrite the cells of their
// input. Both inputs of fdset_merge ascend by Min.
fdset fdset_merge(fdset l1, fdset l2);
fdset fdset_sort_intervals(fdset l);
// The relation code (0-12) of a placed interval [a1, b1] and a next one
// [a2, b2].
int fd_interval_relation(lv_term a1, lv_term b1, lv_term a2, lv_term b2);

// Checking a term that should be a set.
enum : int {
  FDSET_INVALID = 0,
  FDSET_FINITE = 1,
  FDSET_INFINITE = 2,  // valid, with `inf` or `sup` as a bound
};
// Whether t (dereferenced) is a proper set, reading every cell through
// references; *plain is cleared when some cell had to be dereferenced (the
// set operations need a set whose cells hold no references: see
// fdset_plain).
int fdset_check(lv_term t, bool* plain);
// A proper set whose cells may hold references, rebuilt in the scratch
// region without them.
fdset fdset_plain(const lv_foreign_env* env, lv_term t);

// Heap copies (need the engine): the set copied onto the heap (4 words an
// interval) with `extra` further words reserved behind it, which the caller
// may fill. The set must not lie on the heap (fdset_copy_off_heap) since
// making room may move the heap; live_registers argument registers are kept
// across that. An interval starting at `sup` or ending at `inf` records the
// pending overflow code 2 or 1.
fdset fdset_copy_checked(const lv_foreign_env* env, fdset s, int64_t extra, int64_t live_registers);
