// Small term helpers of the propagators, and sorting integers.
#pragma once

#include <cstdint>

#include "kernel/quicksort.h"
#include "kernel/runtime.h"
#include "kernel/terms.h"

// The number of list cells, stopping at the first tail that is no list cell.
inline int64_t fd_list_length(lv_term list) {
  int64_t n = 0;
  for (list = fd_deref(list); fd_is_list(list); list = fd_deref(fd_list_cells(list)[1])) n++;
  return n;
}

// The number of cells of a list ending in [], or -1 for any other list
// (partial, ending otherwise, or cyclic: a second pointer moving two cells
// per step meets the first).
inline int64_t fd_proper_length(lv_term list) {
  lv_term slow = fd_deref(list), fast = slow;
  int64_t n = 0;
  for (;;) {
    for (int k = 0; k < 2; k++) {
      if (fast == FD_NIL) return n;
      if (!fd_is_list(fast)) return -1;
      fast = fd_deref(fd_list_cells(fast)[1]);
      n++;
    }
    slow = fd_deref(fd_list_cells(slow)[1]);
    if (slow == fast) return -1;
  }
}

// out[0] = the second argument, out[1] = the first, dereferenced.
inline void fd_get_arg_pair(lv_term term, lv_term out[2]) {
  const lv_term* cells = fd_struct_cells(fd_deref(term));
  out[0] = fd_deref(cells[2]);
  out[1] = fd_deref(cells[1]);
}

inline int fd_compare_longs(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// Ascending sort of 64-bit signed integers.
inline void fd_sort_longs(const lv_foreign_env*, int64_t* array, int64_t n) {
  fd_quicksort(array, n, fd_compare_longs);
}
inline void fd_sort_longs2(const lv_foreign_env*, int64_t* array, int64_t n) {
  fd_quicksort(array, n, fd_compare_longs);
}
