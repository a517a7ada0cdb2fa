// Copying a set onto the heap.
#include "kernel/fdset.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

fdset fdset_copy_checked(const lv_foreign_env* env, fdset s, int64_t extra, int64_t live_registers) {
  int64_t n = 0;
  for (fdset t = s; t != FD_NIL; t = fdset_rest(t)) n++;
  fd_heap_room(env, 4 * n + extra, live_registers);
  fd_engine* w = fd_engine_of(env);
  lv_term* h = w->H;
  fdset head = FD_NIL;
  lv_term* link = &head;
  int32_t overflow = FD_OVERFLOW_NONE;
  for (fdset t = s; t != FD_NIL; t = fdset_rest(t), h += 4) {
    const lv_term* iv = fdset_interval_cell(t);
    h[0] = fd_make_list(h + 2);
    h[2] = iv[0];
    h[3] = iv[1];
    *link = fd_make_list(h);
    link = &h[1];
    if (iv[0] == FD_SUP) overflow = FD_OVERFLOW_SUP;
    else if (iv[1] == FD_INF) overflow = FD_OVERFLOW_INF;
  }
  *link = FD_NIL;
  w->H = h;
  if (overflow != FD_OVERFLOW_NONE) fd_set_overflow(env, overflow);
  return head;
}
