// The destructive operations: merging two interval lists and sorting any
// list of intervals into a set, by relinking the input's cells. Nothing is
// allocated.
#include "kernel/fdset.h"

int fd_interval_relation(lv_term a1, lv_term b1, lv_term a2, lv_term b2) {
  int64_t x1 = fd_bound_key(a1), x2 = fd_bound_key(a2);
  int64_t s1 = fd_bound_key(b1) + 1, s2 = fd_bound_key(b2) + 1;
  if (x1 < x2) {
    if (x2 > s1) return 0;   // after, with a gap
    if (x2 == s1) return 1;  // adjacent above
    if (s1 < s2) return 2;   // overlaps, ends later
    if (s1 == s2) return 3;  // inside, same end
    return 4;                // strictly inside
  }
  if (x1 == x2) {
    if (s1 < s2) return 5;   // same start, longer
    if (s1 == s2) return 6;  // equal
    return 7;                // same start, shorter
  }
  if (s1 < s2) return 8;     // covers and ends later
  if (s1 == s2) return 9;    // covers, same end
  if (x1 < s2) return 10;    // overlaps from below
  if (x1 == s2) return 11;   // adjacent below
  return 12;                 // before, with a gap
}

namespace {

lv_term* cell_of(fdset l) { return fd_list_cells(l); }
lv_term* interval_of(fdset l) { return fd_list_cells(fd_list_cells(l)[0]); }

// Places the list cell q after the last placed cell *last (relation codes 0
// to 7): links it (0), widens the placed interval to q's end (1, 2, 5) or
// drops q (3, 4, 6, 7).
void place(fdset* last, fdset q, int code) {
  lv_term* p = interval_of(*last);
  switch (code) {
    case 0:
      cell_of(*last)[1] = q;
      *last = q;
      break;
    case 1:
    case 2:
    case 5:
      p[1] = interval_of(q)[1];
      break;
    default:
      break;
  }
}

int relate(fdset last, fdset q) {
  const lv_term* p = interval_of(last);
  const lv_term* iv = interval_of(q);
  return fd_interval_relation(p[0], p[1], iv[0], iv[1]);
}

bool takes_first(fdset l1, fdset l2) {
  return fd_bound_key(interval_of(l1)[0]) <= fd_bound_key(interval_of(l2)[0]);
}

}  // namespace

fdset fdset_merge(fdset l1, fdset l2) {
  if (l1 == FD_NIL) return l2;
  if (l2 == FD_NIL) return l1;
  fdset head;
  if (takes_first(l1, l2)) {
    head = l1;
    l1 = fdset_rest(l1);
  } else {
    head = l2;
    l2 = fdset_rest(l2);
  }
  fdset last = head;
  while (l1 != FD_NIL || l2 != FD_NIL) {
    fdset q;
    if (l2 == FD_NIL || (l1 != FD_NIL && takes_first(l1, l2))) {
      q = l1;
      l1 = fdset_rest(l1);
    } else {
      q = l2;
      l2 = fdset_rest(l2);
    }
    place(&last, q, relate(last, q));
  }
  cell_of(last)[1] = FD_NIL;
  return head;
}

fdset fdset_sort_intervals(fdset l) {
  // Runs (proper sets made of intervals that each start at or after the
  // run's last one) are merged as in a binary counter: run k is merged with
  // one stored result for every trailing zero bit of k.
  constexpr int PARTS = 32;
  fdset parts[PARTS];
  int stored = 0;
  uint64_t runs = 0;
  while (l != FD_NIL) {
    fdset head = l, last = l;
    l = fdset_rest(l);
    while (l != FD_NIL) {
      int code = relate(last, l);
      if (code >= 8) break;
      fdset q = l;
      l = fdset_rest(l);
      place(&last, q, code);
    }
    cell_of(last)[1] = FD_NIL;
    fdset run = head;
    runs++;
    for (uint64_t k = runs; (k & 1) == 0 && stored > 0; k >>= 1) run = fdset_merge(parts[--stored], run);
    if (stored == PARTS) run = fdset_merge(parts[--stored], run);
    parts[stored++] = run;
  }
  fdset result = FD_NIL;
  while (stored > 0) result = fdset_merge(parts[--stored], result);
  return result;
}
