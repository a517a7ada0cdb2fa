// Set operations of the indexical evaluator: residues of a set modulo a
// constant (floor and truncating), and the set of differences.
#include "kernel/fdset.h"
#include "kernel/indexical_sets.h"

namespace {

int64_t floor_mod(int64_t x, int64_t c) {
  int64_t r = x % c;
  return (r != 0 && ((r < 0) != (c < 0))) ? r + c : r;
}

// The residues (floor modulo c) of [a, b] added to out.
fdset mod_interval(const lv_foreign_env* env, fdset out, lv_term a, lv_term b, int64_t c) {
  lv_term first = fd_make_small(c > 0 ? 0 : c + 1), last = fd_make_small(c > 0 ? c - 1 : 0);
  int64_t m = c > 0 ? c : -c;
  if (!fd_is_small(a) || !fd_is_small(b) || fd_small_value(b) - fd_small_value(a) + 1 >= m)
    return fdset_union_interval(env, out, first, last);
  int64_t r1 = floor_mod(fd_small_value(a), c), r2 = floor_mod(fd_small_value(b), c);
  if (r2 >= r1) return fdset_union_interval(env, out, fd_make_small(r1), fd_make_small(r2));
  out = fdset_union_interval(env, out, fd_make_small(r1), last);
  return fdset_union_interval(env, out, first, fd_make_small(r2));
}

// The residues (x rem m, m > 0) of [a, b] with 0 <= a.
fdset rem_nonnegative(const lv_foreign_env* env, fdset out, lv_term a, lv_term b, int64_t m) {
  return mod_interval(env, out, a, b, m);
}

}  // namespace

fdset fdset_mod_set(const lv_foreign_env* env, fdset s, int64_t c) {
  fdset out = FD_NIL;
  if (c == 0) return out;
  for (; s != FD_NIL; s = fdset_rest(s)) out = mod_interval(env, out, fdset_first_min(s), fdset_first_max(s), c);
  return out;
}

fdset fdset_rem_set(const lv_foreign_env* env, fdset s, int64_t c) {
  fdset out = FD_NIL;
  if (c == 0) return out;
  int64_t m = c > 0 ? c : -c;
  for (; s != FD_NIL; s = fdset_rest(s)) {
    lv_term a = fdset_first_min(s), b = fdset_first_max(s);
    // The part at or above 0 has the residues of floor modulo m.
    if (fd_bound_compare(b, fd_make_small(0)) >= 0) {
      lv_term lo = fd_bound_compare(a, fd_make_small(0)) > 0 ? a : fd_make_small(0);
      out = rem_nonnegative(env, out, lo, b, m);
    }
    // The part below 0: the negated residues of its reflection.
    if (fd_bound_compare(a, fd_make_small(0)) < 0) {
      lv_term hi = fd_bound_compare(b, fd_make_small(-1)) < 0 ? b : fd_make_small(-1);
      fdset positive = rem_nonnegative(env, FD_NIL, fd_bound_neg(hi), fd_bound_neg(a), m);
      out = fdset_union(env, out, fdset_reflect(env, positive, fd_make_small(0)));
    }
  }
  return out;
}

fdset fdset_combine_difference(const lv_foreign_env* env, fdset a, fdset b, lv_term lo, lv_term hi) {
  if (a == FD_NIL || b == FD_NIL) return FD_NIL;
  return fdset_combine(env, a, fdset_reflect(env, b, fd_make_small(0)), lo, hi);
}
