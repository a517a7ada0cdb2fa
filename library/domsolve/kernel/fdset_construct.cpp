// Making sets: from bounds and values, by shifting, reflecting and adding
// sets, and the builder.
#include "kernel/fdset.h"
#include "kernel/fdset_walk.h"

using fdset_walk::cursor;
using fdset_walk::out_list;

fdset fdset_interval(const lv_foreign_env* env, lv_term min, lv_term max) {
  if (fd_bound_key(max) < fd_bound_key(min)) return FD_NIL;
  out_list out(env);
  out.add_bounds(min, max);
  return out.finish();
}

fdset fdset_pair(const lv_foreign_env* env, lv_term a, lv_term b) {
  int64_t x = fd_bound_key(a), y = fd_bound_key(b);
  if (y < x) {
    int64_t t = x;
    x = y;
    y = t;
  }
  out_list out(env);
  if (y <= x + 1) {
    out.add(x, y);
  } else {
    out.add(x, x);
    out.add(y, y);
  }
  return out.finish();
}

fdset fdset_interval_complement(const lv_foreign_env* env, lv_term a, lv_term b) {
  out_list out(env);
  if (a != FD_INF) out.add(FD_KEY_INF, fd_bound_key(a) - 1);
  if (b != FD_SUP) out.add(fd_bound_key(b) + 1, FD_KEY_SUP);
  return out.finish();
}

fdset fdset_progression(const lv_foreign_env* env, int64_t n, int64_t step) {
  if (step == 1) return fdset_interval(env, fd_make_small(0), fd_key_bound(n));
  lv_term* p = fdset_alloc(env, 4 * (n + 1));
  for (int64_t i = 0; i <= n; i++, p += 4) {
    int64_t v;
    lv_term value = __builtin_mul_overflow(i, step, &v) ? FD_SUP : fd_key_bound(v);
    p[0] = fd_make_list(p + 2);
    p[1] = i < n ? fd_make_list(p + 4) : FD_NIL;
    p[2] = value;
    p[3] = value;
  }
  return fd_make_list(p - 4 * (n + 1));
}

fdset fdset_split_first(const lv_foreign_env* env, fdset s, lv_term* first) {
  cursor c(s);
  *first = fd_key_bound(c.lo);
  fdset rest = fd_list_cells(s)[1];
  if (c.lo == c.hi) return rest;
  out_list out(env);
  out.add(c.lo + 1, c.hi);
  return out.finish(rest);
}

fdset fdset_add_constant(const lv_foreign_env* env, fdset s, lv_term c) {
  out_list out(env);
  for (fdset t = s; t != FD_NIL; t = fdset_rest(t)) {
    const lv_term* iv = fdset_interval_cell(t);
    out.add_bounds(fd_bound_add(iv[0], c), fd_bound_add(iv[1], c));
  }
  return out.finish();
}

fdset fdset_reflect(const lv_foreign_env* env, fdset s, lv_term c) {
  // Each new interval goes in front of the ones made before, so the result
  // ascends.
  fdset head = FD_NIL;
  for (fdset t = s; t != FD_NIL; t = fdset_rest(t)) {
    const lv_term* iv = fdset_interval_cell(t);
    lv_term* p = fdset_alloc(env, 4);
    p[0] = fd_make_list(p + 2);
    p[1] = head;
    p[2] = fd_bound_sub(c, iv[1]);
    p[3] = fd_bound_sub(c, iv[0]);
    head = fd_make_list(p);
  }
  return head;
}

fdset fdset_union_n(const lv_foreign_env* env, int64_t n, const fdset* sets) {
  if (n == 0) return FD_NIL;
  if (n == 1) return sets[0];
  int64_t half = n / 2;
  fdset left = fdset_union_n(env, half, sets);
  fdset right = fdset_union_n(env, n - half, sets + half);
  return fdset_union(env, left, right);
}

namespace {

int64_t interval_count(fdset s) {
  int64_t n = 0;
  for (; s != FD_NIL; s = fdset_rest(s)) n++;
  return n;
}

// {x + y : x in [a, b], y in longer} restricted to [lo, hi] (keys): the
// shifted intervals ascend, so neighbours that meet are merged as they come;
// the walk stops once a shifted interval starts above hi.
fdset shifted_part(const lv_foreign_env* env, lv_term a, lv_term b, fdset longer, int64_t lo, int64_t hi) {
  out_list out(env);
  bool open = false;
  int64_t plo = 0, phi = 0;
  for (fdset t = longer; t != FD_NIL; t = fdset_rest(t)) {
    const lv_term* iv = fdset_interval_cell(t);
    int64_t x = fd_bound_key(fd_bound_add(a, iv[0]));
    int64_t y = fd_bound_key(fd_bound_add(b, iv[1]));
    if (x > hi) break;
    if (y < lo) continue;
    if (x < lo) x = lo;
    if (y > hi) y = hi;
    if (open && x <= phi + 1) {
      if (y > phi) phi = y;
    } else {
      if (open) out.add(plo, phi);
      plo = x;
      phi = y;
      open = true;
    }
  }
  if (open) out.add(plo, phi);
  return out.finish();
}

}  // namespace

fdset fdset_combine(const lv_foreign_env* env, fdset a, fdset b, lv_term lo, lv_term hi) {
  if (a == FD_NIL || b == FD_NIL) return FD_NIL;
  int64_t na = interval_count(a), nb = interval_count(b);
  fdset shorter = na <= nb ? a : b, longer = na <= nb ? b : a;
  int64_t k = na <= nb ? na : nb;
  int64_t klo = fd_bound_key(lo), khi = fd_bound_key(hi);
  fdset* parts = reinterpret_cast<fdset*>(fdset_alloc(env, k));
  int64_t i = 0;
  for (fdset t = shorter; t != FD_NIL; t = fdset_rest(t)) {
    const lv_term* iv = fdset_interval_cell(t);
    parts[i++] = shifted_part(env, iv[0], iv[1], longer, klo, khi);
  }
  return fdset_union_n(env, k, parts);
}

void fdset_builder_add_interval(const lv_foreign_env* env, fdset_builder* b, lv_term lo, lv_term hi) {
  if (b->last != nullptr && fd_bound_key(b->last[1]) + 1 == fd_bound_key(lo)) {
    b->last[1] = hi;
    return;
  }
  lv_term* p = fdset_alloc(env, 4);
  p[0] = fd_make_list(p + 2);
  p[1] = FD_NIL;
  p[2] = lo;
  p[3] = hi;
  if (b->last != nullptr) (b->last - 2)[1] = fd_make_list(p);
  else b->head = fd_make_list(p);
  b->last = p + 2;
}
