// Set algebra: each operation is one merge over ascending interval lists,
// keeping unchanged intervals by reference and sharing unchanged rests.
#include "kernel/fdset.h"
#include "kernel/fdset_walk.h"

using fdset_walk::cursor;
using fdset_walk::out_list;
using fdset_walk::pending;

fdset fdset_union(const lv_foreign_env* env, fdset s1, fdset s2) {
  if (s1 == FD_NIL || s1 == s2) return s2;
  if (s2 == FD_NIL) return s1;
  out_list out(env);
  cursor a(s1), b(s2);
  pending p;
  cursor& first = a.lo <= b.lo ? a : b;
  p.start(first);
  first.next();
  while (!a.done && !b.done) {
    cursor& c = a.lo <= b.lo ? a : b;
    if (!p.absorb(c)) {
      p.flush(out);
      p.start(c);
    }
    c.next();
  }
  // One list is exhausted: merge what still touches the pending interval,
  // then share the rest of the other.
  cursor& r = a.done ? b : a;
  while (!r.done && p.absorb(r)) r.next();
  p.flush(out);
  return out.finish(r.done ? FD_NIL : r.list);
}

fdset fdset_intersection(const lv_foreign_env* env, fdset s1, fdset s2) {
  if (s1 == s2) return s1;
  out_list out(env);
  cursor a(s1), b(s2);
  while (!a.done && !b.done) {
    if (a.hi < b.lo) {
      a.next();
    } else if (b.hi < a.lo) {
      b.next();
    } else {
      int64_t lo = a.lo > b.lo ? a.lo : b.lo;
      int64_t hi = a.hi < b.hi ? a.hi : b.hi;
      if (lo == b.lo && hi == b.hi) out.keep(b.interval);
      else out.add_from(a, lo, hi);
      int64_t ahi = a.hi, bhi = b.hi;
      if (ahi <= bhi) a.next();
      if (bhi <= ahi) b.next();
    }
  }
  return out.finish();
}

fdset fdset_subtract(const lv_foreign_env* env, fdset s1, fdset s2) {
  if (s1 == FD_NIL || s2 == FD_NIL) return s1;
  out_list out(env);
  cursor a(s1), b(s2);
  int64_t lo = a.lo;  // the part of a's interval not yet decided
  while (!a.done) {
    if (b.done) {
      // Nothing more to remove: the cut interval, then the rest as it is.
      if (lo != a.lo) {
        out.add(lo, a.hi);
        a.next();
      }
      return out.finish(a.done ? FD_NIL : a.list);
    }
    if (b.hi < lo) {
      b.next();
    } else if (b.lo > a.hi) {
      out.add_from(a, lo, a.hi);
      a.next();
      if (!a.done) lo = a.lo;
    } else {
      if (b.lo > lo) out.add(lo, b.lo - 1);
      if (b.hi < a.hi) {
        lo = b.hi + 1;
        b.next();
      } else {
        a.next();
        if (!a.done) lo = a.lo;
      }
    }
  }
  return out.finish();
}

fdset fdset_complement_range(const lv_foreign_env* env, lv_term a, lv_term b, fdset s) {
  int64_t lo = fd_bound_key(a), hi = fd_bound_key(b);
  out_list out(env);
  for (cursor c(s); !c.done && lo <= hi; c.next()) {
    if (c.hi < lo) continue;
    if (c.lo > hi) break;
    if (c.lo > lo) out.add(lo, c.lo - 1);
    lo = c.hi + 1;
  }
  if (lo <= hi) out.add(lo, hi);
  return out.finish();
}

fdset fdset_restrict(const lv_foreign_env* env, fdset s, lv_term min, lv_term max) {
  int64_t lo = fd_bound_key(min), hi = fd_bound_key(max);
  cursor c(s);
  while (!c.done && c.hi < lo) c.next();
  if (c.done) return FD_NIL;
  // Nothing above hi from here on: the rest is shared, behind the first
  // interval clipped at lo.
  cursor d = c;
  while (!d.done && d.hi <= hi) d.next();
  out_list out(env);
  if (d.done) {
    if (c.lo >= lo) return c.list;
    out.add(lo, c.hi);
    return out.finish(fdset_rest(c.list));
  }
  for (; !c.done; c.next()) {
    if (c.lo > hi) break;
    out.add_from(c, c.lo > lo ? c.lo : lo, c.hi < hi ? c.hi : hi);
  }
  return out.finish();
}

fdset fdset_restrict_below(const lv_foreign_env* env, fdset s, lv_term min) {
  int64_t lo = fd_bound_key(min);
  cursor c(s);
  while (!c.done && c.hi < lo) c.next();
  if (c.done || c.lo >= lo) return c.done ? FD_NIL : c.list;
  out_list out(env);
  out.add(lo, c.hi);
  return out.finish(fdset_rest(c.list));
}

fdset fdset_delete_interval(const lv_foreign_env* env, fdset s, lv_term a, lv_term b) {
  if (!fdset_intersects_interval(s, a, b)) return s;
  int64_t lo = fd_bound_key(a), hi = fd_bound_key(b);
  out_list out(env);
  for (cursor c(s); !c.done; c.next()) {
    if (c.hi < lo) {
      out.keep(c.interval);
    } else if (c.lo > hi) {
      return out.finish(c.list);
    } else {
      if (c.lo < lo) out.add(c.lo, lo - 1);
      if (c.hi > hi) out.add(hi + 1, c.hi);
    }
  }
  return out.finish();
}

fdset fdset_union_interval(const lv_foreign_env* env, fdset s, lv_term a, lv_term b) {
  int64_t lo = fd_bound_key(a), hi = fd_bound_key(b);
  if (lo > hi) return s;
  out_list out(env);
  cursor c(s);
  for (; !c.done && c.hi + 1 < lo; c.next()) out.keep(c.interval);
  // c is the first interval that touches [lo, hi] or lies above it.
  if (!c.done && c.lo <= lo && c.hi >= hi) return s;  // already a subset
  for (; !c.done && c.lo <= hi + 1; c.next()) {
    if (c.lo < lo) lo = c.lo;
    if (c.hi > hi) hi = c.hi;
  }
  out.add(lo, hi);
  return out.finish(c.done ? FD_NIL : c.list);
}

fdset fdset_add_value(const lv_foreign_env* env, lv_term v, fdset s) {
  if (fdset_member(v, s)) return s;
  return fdset_union_interval(env, s, v, v);
}

fdset fdset_union_if_needed(const lv_foreign_env* env, fdset s1, fdset s2) {
  int r = fdset_compare(s1, s2);
  if (r == FDSET_EQUAL || r == FDSET_INSIDE) return s2;
  return fdset_union(env, s1, s2);
}
