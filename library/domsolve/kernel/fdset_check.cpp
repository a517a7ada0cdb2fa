// Sets coming from outside: checking that a term is a proper set before any
// cell of it is read as a set's, rebuilding one whose cells hold
// references, and moving a set's cells off the heap.
#include "kernel/fdset.h"
#include "kernel/fdset_walk.h"

namespace {

lv_term read_cell(lv_term word, bool* plain) {
  if (!fd_is_ref(word)) return word;
  *plain = false;
  return fd_deref(word);
}

}  // namespace

int fdset_check(lv_term t, bool* plain) {
  *plain = true;
  t = fd_deref(t);
  bool infinite = false, first = true;
  int64_t previous_hi = 0;
  // Strictly ascending bounds make a cyclic list fail the order test.
  while (t != FD_NIL) {
    if (!fd_is_list(t)) return FDSET_INVALID;
    const lv_term* cell = fd_list_cells(t);
    lv_term interval = read_cell(cell[0], plain);
    if (!fd_is_list(interval)) return FDSET_INVALID;
    const lv_term* iv = fd_list_cells(interval);
    lv_term lo = read_cell(iv[0], plain), hi = read_cell(iv[1], plain);
    int64_t klo, khi;
    if (fd_is_small(lo)) klo = fd_small_value(lo);
    else if (lo == FD_INF && first) klo = FD_KEY_INF, infinite = true;
    else return FDSET_INVALID;
    if (fd_is_small(hi)) khi = fd_small_value(hi);
    else if (hi == FD_SUP) khi = FD_KEY_SUP, infinite = true;
    else return FDSET_INVALID;
    // An interval ending in `sup` or in the largest small integer leaves no
    // room for another.
    if (khi < klo || (!first && klo <= previous_hi + 1)) return FDSET_INVALID;
    previous_hi = khi;
    first = false;
    t = read_cell(cell[1], plain);
  }
  return infinite ? FDSET_INFINITE : FDSET_FINITE;
}

fdset fdset_plain(const lv_foreign_env* env, lv_term t) {
  fdset_walk::out_list out(env);
  bool plain;
  for (t = fd_deref(t); t != FD_NIL; t = read_cell(fd_list_cells(t)[1], &plain)) {
    const lv_term* iv = fd_list_cells(read_cell(fd_list_cells(t)[0], &plain));
    out.add_bounds(read_cell(iv[0], &plain), read_cell(iv[1], &plain));
  }
  return out.finish();
}

namespace {

// Gives the list cell an interval cell off the heap: a copy of the one it
// has there.
void own_interval(const lv_foreign_env* env, const fd_engine* w, lv_term* cell) {
  lv_term* iv = fd_list_cells(cell[0]);
  if (!fd_on_heap(w, iv)) return;
  lv_term* copy = fdset_alloc(env, 2);
  copy[0] = iv[0];
  copy[1] = iv[1];
  cell[0] = fd_make_list(copy);
}

}  // namespace

fdset fdset_copy_off_heap(const lv_foreign_env* env, fdset s) {
  const fd_engine* w = fd_engine_of(env);
  fdset head = s;
  lv_term* link = &head;
  while (*link != FD_NIL) {
    lv_term* cell = fd_list_cells(*link);
    if (fd_on_heap(w, cell)) {
      lv_term* copy = fdset_alloc(env, 2);
      copy[0] = cell[0];
      copy[1] = cell[1];
      *link = fd_make_list(copy);
      cell = copy;
    }
    own_interval(env, w, cell);
    link = &cell[1];
  }
  return head;
}

lv_term* fdset_detach_prefix(const lv_foreign_env* env, fdset* set, int64_t* prefix) {
  const fd_engine* w = fd_engine_of(env);
  lv_term* word = set;
  int64_t n = 0;
  while (*word != FD_NIL && !fd_on_heap(w, fd_list_cells(*word))) {
    lv_term* cell = fd_list_cells(*word);
    own_interval(env, w, cell);
    word = &cell[1];
    n++;
  }
  *prefix = n;
  return word;
}
