// Intervals gathered in any order into fresh cells of the number stack and
// turned into one set at the end (sorted and merged in place), so that a
// union of many sets costs one sort instead of a union per set.
#pragma once

#include "kernel/fdset.h"

struct fd_interval_bag {
  fdset head;
};

inline void fd_interval_bag_init(fd_interval_bag* b) { b->head = FD_NIL; }

inline void fd_interval_bag_add(const lv_foreign_env* env, fd_interval_bag* b, lv_term lo, lv_term hi) {
  lv_term* p = fdset_alloc(env, 4);
  p[0] = fd_make_list(p + 2);
  p[1] = b->head;
  p[2] = lo;
  p[3] = hi;
  b->head = fd_make_list(p);
}

// Every interval of the set.
inline void fd_interval_bag_add_set(const lv_foreign_env* env, fd_interval_bag* b, fdset s) {
  for (; s != FD_NIL; s = fdset_rest(s)) fd_interval_bag_add(env, b, fdset_first_min(s), fdset_first_max(s));
}

// The union of the intervals (the bag's cells are reused).
inline fdset fd_interval_bag_set(fd_interval_bag* b) {
  fdset s = fdset_sort_intervals(b->head);
  b->head = FD_NIL;
  return s;
}
