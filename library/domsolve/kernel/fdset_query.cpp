// Questions about sets, and the iterator: nothing here allocates.
#include "kernel/fdset.h"
#include "kernel/fdset_walk.h"

using fdset_walk::cursor;

lv_term fdset_max(fdset s) {
  while (fdset_rest(s) != FD_NIL) s = fdset_rest(s);
  return fdset_first_max(s);
}

int64_t fdset_size(fdset s) {
  int64_t n = 0;
  for (cursor c(s); !c.done; c.next()) n += c.hi - c.lo + 1;
  return n;
}

int fdset_size_fits(fdset s) {
  int64_t n = 0;
  for (fdset t = s; t != FD_NIL; t = fdset_rest(t)) {
    const lv_term* iv = fdset_interval_cell(t);
    if (!fd_is_small(iv[0]) || !fd_is_small(iv[1])) return 0;
    if (__builtin_add_overflow(n, fd_small_value(iv[1]) - fd_small_value(iv[0]) + 1, &n) || n > FD_SMALL_MAX) return 0;
  }
  return 1;
}

int fdset_singleton(fdset s) {
  return s != FD_NIL && fdset_rest(s) == FD_NIL && fdset_first_min(s) == fdset_first_max(s);
}

int fdset_member(lv_term value, fdset s) {
  int64_t v = fd_bound_key(value);
  for (cursor c(s); !c.done; c.next()) {
    if (v < c.lo) return 0;
    if (v <= c.hi) return 1;
  }
  return 0;
}

int fdset_intersects(fdset s1, fdset s2) { return fdset_first_common(s1, s2) != 0; }

int fdset_find_overlap(lv_term a, lv_term b, fdset s, fdset* rest) {
  int64_t lo = fd_bound_key(a), hi = fd_bound_key(b);
  cursor c(s);
  while (!c.done && c.hi < lo) c.next();
  *rest = c.list;
  return !c.done && c.lo <= hi && lo <= hi;
}

int fdset_intersects_interval(fdset s, lv_term a, lv_term b) {
  fdset rest;
  return fdset_find_overlap(a, b, s, &rest);
}

lv_term fdset_first_common(fdset s1, fdset s2) {
  cursor a(s1), b(s2);
  while (!a.done && !b.done) {
    if (a.hi < b.lo) a.next();
    else if (b.hi < a.lo) b.next();
    else return fd_key_bound(a.lo > b.lo ? a.lo : b.lo);
  }
  return 0;
}

lv_term fdset_intersect_witness(fdset s1, fdset s2) {
  cursor a(s1), b(s2);
  lv_term found = 0;
  while (!a.done && !b.done) {
    if (a.hi < b.lo) {
      a.next();
    } else if (b.hi < a.lo) {
      b.next();
    } else {
      int64_t ahi = a.hi, bhi = b.hi;
      found = fd_key_bound(ahi < bhi ? ahi : bhi);
      if (ahi <= bhi) a.next();
      if (bhi <= ahi) b.next();
    }
  }
  return found;
}

lv_term fdset_next_value(fdset s, lv_term value) {
  int64_t v = fd_bound_key(value);
  for (cursor c(s); !c.done; c.next())
    if (c.hi > v) return fd_key_bound(c.lo > v ? c.lo : v + 1);
  return FD_SUP;
}

lv_term fdset_prev_value(fdset s, lv_term value) {
  int64_t v = fd_bound_key(value);
  lv_term found = FD_INF;
  for (cursor c(s); !c.done && c.lo < v; c.next()) found = fd_key_bound(c.hi < v ? c.hi : v - 1);
  return found;
}

int fd_value_compare_interval(lv_term value, lv_term lo, lv_term hi) {
  int64_t v = fd_bound_key(value);
  if (v < fd_bound_key(lo)) return -1;
  if (v > fd_bound_key(hi)) return 1;
  return 0;
}

int64_t fdset_median(fdset s) {
  int64_t position = (fdset_size(s) - 1) / 2;
  cursor c(s);
  while (position > c.hi - c.lo) {
    position -= c.hi - c.lo + 1;
    c.next();
  }
  return c.lo + position;
}

int64_t fdset_middle(fdset s) {
  int64_t m = (fd_small_value(fdset_min(s)) + fd_small_value(fdset_max(s))) / 2;
  lv_term mid = fd_make_small(m);
  if (fdset_member(mid, s)) return m;
  int64_t below = fd_small_value(fdset_prev_value(s, mid));
  int64_t above = fd_small_value(fdset_next_value(s, mid));
  return m - below < above - m ? below : above;
}

namespace {

// The relation of two interval lists given as cursors, with the three
// flags: the second has values outside the first, the first has values
// outside the second, common values exist.
int relation(cursor a, cursor b) {
  bool second_out = false, first_out = false, common = false;
  int64_t alo = a.lo, blo = b.lo;
  while (!a.done && !b.done && !(second_out && first_out && common)) {
    if (a.hi < blo) {
      first_out = true;
      a.next();
      if (!a.done) alo = a.lo;
    } else if (b.hi < alo) {
      second_out = true;
      b.next();
      if (!b.done) blo = b.lo;
    } else {
      common = true;
      if (alo < blo) first_out = true;
      else if (blo < alo) second_out = true;
      int64_t m = a.hi < b.hi ? a.hi : b.hi;
      if (a.hi == m) {
        a.next();
        if (!a.done) alo = a.lo;
      } else {
        alo = m + 1;
      }
      if (b.hi == m) {
        b.next();
        if (!b.done) blo = b.lo;
      } else {
        blo = m + 1;
      }
    }
  }
  if (!a.done) first_out = true;
  if (!b.done) second_out = true;
  if (first_out && second_out) return common ? FDSET_OVERLAP : FDSET_DISJOINT;
  if (second_out) return FDSET_INSIDE;
  if (first_out) return FDSET_CONTAINS;
  return FDSET_EQUAL;
}

}  // namespace

int fdset_compare(fdset s1, fdset s2) { return relation(cursor(s1), cursor(s2)); }

int fdset_compare_interval(fdset s, lv_term a, lv_term b) {
  if (fd_bound_key(a) > fd_bound_key(b)) return relation(cursor(s), cursor(FD_NIL));
  lv_term one[4] = {0, FD_NIL, a, b};  // the set [[a|b]], on the stack
  one[0] = fd_make_list(one + 2);
  return relation(cursor(s), cursor(fd_make_list(one)));
}

void fdset_iter_init(fdset_iter* it, fdset s) {
  if (s == FD_NIL) {
    it->value = FD_SUP;
    it->rest = FD_NIL;
    return;
  }
  it->value = fdset_first_min(s);
  it->max = fdset_first_max(s);
  it->rest = fdset_rest(s);
}

namespace {

void iter_next_interval(fdset_iter* it) {
  if (it->rest == FD_NIL) {
    it->value = FD_SUP;
    return;
  }
  it->value = fdset_first_min(it->rest);
  it->max = fdset_first_max(it->rest);
  it->rest = fdset_rest(it->rest);
}

}  // namespace

lv_term fdset_iter_next(fdset_iter* it) {
  lv_term v = it->value;
  if (fd_bound_key(v) < fd_bound_key(it->max)) it->value = fd_bound_succ(v);
  else iter_next_interval(it);
  return v;
}

void fdset_iter_next_interval(fdset_iter* it, lv_term* lo, lv_term* hi) {
  *lo = it->value;
  *hi = it->max;
  iter_next_interval(it);
}
