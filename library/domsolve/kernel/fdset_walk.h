// What the set operations share: a cursor over a set's intervals (their
// bounds as keys) and the growing result list.
#pragma once

#include "kernel/fdset.h"

namespace fdset_walk {

// The interval under the cursor: its list cell, its interval term and its
// bounds as keys. done once the list is exhausted.
struct cursor {
  fdset list;
  lv_term interval = 0;
  int64_t lo = 0, hi = 0;
  bool done;

  explicit cursor(fdset s) { load(s); }
  void load(fdset s) {
    list = s;
    done = s == FD_NIL;
    if (done) [[unlikely]]
      return;
    interval = fd_list_cells(s)[0];
    const lv_term* iv = fd_list_cells(interval);
    lo = fd_bound_key(iv[0]);
    hi = fd_bound_key(iv[1]);
  }
  void next() { load(fd_list_cells(list)[1]); }
};

// The result under construction: cells appended at the tail, which is
// closed by finish with [] or with a shared rest.
struct out_list {
  const lv_foreign_env* env;
  lv_term head = FD_NIL;
  lv_term* tail = &head;

  explicit out_list(const lv_foreign_env* e) : env(e) {}
  out_list(const out_list&) = delete;

  // A new interval (keys).
  void add(int64_t lo, int64_t hi) { add_bounds(fd_key_bound(lo), fd_key_bound(hi)); }
  void add_bounds(lv_term lo, lv_term hi) {
    lv_term* p = fdset_alloc(env, 4);
    p[0] = fd_make_list(p + 2);
    p[2] = lo;
    p[3] = hi;
    *tail = fd_make_list(p);
    tail = &p[1];
  }
  // An input interval kept by reference.
  void keep(lv_term interval) {
    lv_term* p = fdset_alloc(env, 2);
    p[0] = interval;
    *tail = fd_make_list(p);
    tail = &p[1];
  }
  // The interval under a cursor: kept when [lo, hi] is exactly it.
  void add_from(const cursor& c, int64_t lo, int64_t hi) {
    if (lo == c.lo && hi == c.hi) keep(c.interval);
    else add(lo, hi);
  }
  fdset finish(fdset rest = FD_NIL) {
    *tail = rest;
    return head;
  }
};

// An interval being widened by merging (union): its bounds, and the input
// interval it still equals (0 once widened beyond it).
struct pending {
  int64_t lo, hi;
  lv_term interval;

  void start(const cursor& c) {
    lo = c.lo;
    hi = c.hi;
    interval = c.interval;
  }
  // c starts at or after lo; true when it touches (overlaps or adjoins) and
  // was absorbed.
  bool absorb(const cursor& c) {
    if (c.lo > hi + 1) return false;
    if (c.hi > hi) {
      interval = c.lo == lo ? c.interval : 0;
      hi = c.hi;
    }
    return true;
  }
  void flush(out_list& out) const {
    if (interval != 0) out.keep(interval);
    else out.add(lo, hi);
  }
};

}  // namespace fdset_walk
