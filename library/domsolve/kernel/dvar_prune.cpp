// Pruning a dvar: every operation narrows the working copy only and answers
// -1 (empty), 0 (no change) or the change bits.
#include "kernel/dvar.h"
#include "kernel/solver_state.h"

namespace {

inline bool below(lv_term a, lv_term b) { return fd_bound_compare(a, b) < 0; }

// Stores new bounds into a record without holes; the set field is no longer
// the exact domain.
int store_interval_bounds(dvar* d, int bits, lv_term lo, lv_term hi) {
  d->flags &= ~DVAR_SET_CURRENT;
  if (lo == hi) bits |= DVAR_FIXED;
  d->min = lo;
  d->max = hi;
  d->flags |= static_cast<uint32_t>(bits) & ~DVAR_DOM_CHANGED;
  return bits;
}

// New bounds for any record: through the set when it has holes.
int narrow(dvar* d, int bits, lv_term lo, lv_term hi) {
  if (d->flags & DVAR_INTERVAL) return store_interval_bounds(d, bits, lo, hi);
  return dvar_narrow_in_set(d, bits, lo, hi, d->set);
}

}  // namespace

int dvar_narrow_in_set(dvar* d, int bits, lv_term lo, lv_term hi, fdset set) {
  // The first interval that reaches lo; lo moves up out of a hole.
  fdset s = set;
  while (s != FD_NIL && below(fdset_first_max(s), lo)) s = fdset_rest(s);
  if (s == FD_NIL) return -1;
  if (below(lo, fdset_first_min(s))) {
    lo = fdset_first_min(s);
    bits |= DVAR_MIN_CHANGED;
  }
  if (below(hi, lo)) return -1;
  d->flags &= ~(DVAR_INTERVAL | DVAR_SET_CURRENT);
  if (set == d->set && d->ends_at_max && hi == d->max) {
    // The set ends at hi already: nothing to look for behind s.
    if (fdset_rest(s) == FD_NIL) d->flags |= DVAR_INTERVAL;
    if (fdset_first_min(s) == lo) d->flags |= DVAR_SET_CURRENT;
  } else {
    // The last interval that starts at or below hi; hi moves down out of a
    // hole or past the set's end.
    fdset last = s;
    while (fdset_rest(last) != FD_NIL && !below(hi, fdset_first_min(fdset_rest(last)))) last = fdset_rest(last);
    if (below(fdset_first_max(last), hi)) {
      hi = fdset_first_max(last);
      bits |= DVAR_MAX_CHANGED;
    }
    if (last == s) d->flags |= DVAR_INTERVAL;
    bool ends = fdset_first_max(last) == hi && fdset_rest(last) == FD_NIL;
    if (fdset_first_min(s) == lo && ends) d->flags |= DVAR_SET_CURRENT;
    d->ends_at_max = ends ? 1 : 0;
  }
  d->set = s;
  if (lo == hi) bits |= DVAR_FIXED;
  d->min = lo;
  d->max = hi;
  d->flags |= static_cast<uint32_t>(bits) & ~DVAR_DOM_CHANGED;
  return bits;
}

int dvar_fix_interval(const lv_foreign_env*, dvar* d, lv_term a, lv_term b) {
  int bits = 0;
  lv_term lo = d->min, hi = d->max;
  if (below(lo, a)) {
    bits = DVAR_DOM_CHANGED | DVAR_MIN_CHANGED;
    lo = a;
  }
  if (below(b, hi)) {
    bits |= DVAR_DOM_CHANGED | DVAR_MAX_CHANGED;
    hi = b;
  }
  if (bits == 0) return 0;
  if (below(hi, lo)) return -1;
  if (lo == hi && !fd_is_small(lo)) return -1;  // both inf or both sup: no integer left
  if ((d->flags & DVAR_INTERVAL) == 0) return dvar_narrow_in_set(d, bits, lo, hi, d->set);
  return store_interval_bounds(d, bits, lo, hi);
}

int dvar_prune_interval(const lv_foreign_env* env, dvar* d, lv_term a, lv_term b) {
  if (below(b, a)) return 0;
  if (below(b, d->min) || below(d->max, a)) return 0;
  if (!below(d->min, a)) {
    if (!below(b, d->max)) return -1;
    if (b == fd_make_small(FD_SMALL_MAX)) {
      fd_set_overflow(env, FD_OVERFLOW_SUP);
      return -1;
    }
    return narrow(d, DVAR_DOM_CHANGED | DVAR_MIN_CHANGED, fd_bound_succ(b), d->max);
  }
  if (!below(b, d->max)) {
    if (a == fd_make_small(FD_SMALL_MIN)) {
      fd_set_overflow(env, FD_OVERFLOW_INF);
      return -1;
    }
    return narrow(d, DVAR_DOM_CHANGED | DVAR_MAX_CHANGED, d->min, fd_bound_pred(a));
  }
  // A hole strictly inside the bounds.
  bool interval = (d->flags & DVAR_INTERVAL) != 0;
  if (!interval && !fdset_intersects_interval(d->set, a, b)) return 0;
  fdset base = interval ? fdset_interval(env, d->min, d->max) : d->set;
  d->set = fdset_delete_interval(env, base, a, b);
  d->flags &= ~DVAR_INTERVAL;
  if (interval) {
    d->flags |= DVAR_SET_CURRENT;
    d->ends_at_max = 1;
  }
  d->flags |= DVAR_DOM_CHANGED;
  return DVAR_DOM_CHANGED | (d->flags & DVAR_FIXED);
}

int dvar_prune_set(const lv_foreign_env* env, dvar* d, fdset s) {
  if (s == FD_NIL) return 0;
  bool interval = (d->flags & DVAR_INTERVAL) != 0;
  int relation = interval ? fdset_compare_interval(s, d->min, d->max) : fdset_compare(s, dvar_get_set(env, d));
  if (relation == FDSET_EQUAL || relation == FDSET_CONTAINS) return -1;
  if (relation == FDSET_DISJOINT) return 0;
  fdset domain = interval ? fdset_interval(env, d->min, d->max) : d->set;
  fdset rest = fdset_subtract(env, domain, s);
  d->flags |= DVAR_DOM_CHANGED;
  return dvar_narrow_in_set(d, DVAR_DOM_CHANGED, d->min, d->max, rest);
}

int dvar_fix_set(const lv_foreign_env* env, dvar* d, fdset s) {
  if (s == FD_NIL) return -1;
  // One interval, or the complement of one (inf..p, q..sup: a value or a
  // range taken out, as X #\= V is told): narrowed or cut in place, so that
  // the domain's rest is shared and the cost does not grow with its length.
  fdset second = fdset_rest(s);
  if (second == FD_NIL) return dvar_fix_interval(env, d, fdset_first_min(s), fdset_first_max(s));
  if (fdset_rest(second) == FD_NIL && fdset_first_min(s) == FD_INF && fdset_first_max(second) == FD_SUP)
    return dvar_prune_interval(env, d, fd_bound_succ(fdset_first_max(s)), fd_bound_pred(fdset_first_min(second)));
  bool interval = (d->flags & DVAR_INTERVAL) != 0;
  int relation = interval ? fdset_compare_interval(s, d->min, d->max) : fdset_compare(s, dvar_get_set(env, d));
  if (relation == FDSET_EQUAL || relation == FDSET_CONTAINS) return 0;
  if (relation == FDSET_DISJOINT) return -1;
  fdset next = relation == FDSET_INSIDE || interval ? s : fdset_intersection(env, d->set, s);
  d->flags |= DVAR_DOM_CHANGED;
  return dvar_narrow_in_set(d, DVAR_DOM_CHANGED, d->min, d->max, next);
}
