// X * Y = Z (x*y=z), on bounds: one pass of three phases per call.
//   Z gets the hull of the products of X's and Y's bounds;
//   Y gets the quotients Z / X over the negative and the positive part of X
//   (0 left out), rounded inward, the values between the two parts removed;
//   X the same from Y and Z.
// The last step removes 0 (and its neighbours) from a factor whenever the
// product cannot be 0. Holes are neither read nor made, but for that gap.
// Before the phases, X * Y = X with X never 0 fixes Y to 1 (and likewise
// for Y * X = Y).
#include "arith/arith_frame.h"

namespace {

// The quotient range of C over the part [pl, ph] of the other factor (one
// sign, no 0): the least of the quotients rounded up and the greatest
// rounded down, over the four corners; a corner of two infinities is left
// out (the part's end nearest 0, always finite, gives that infinity).
fd_xrange quotient_range(fd_xint cl, fd_xint ch, fd_xint pl, fd_xint ph) {
  fd_xrange q{FD_XSUP, FD_XINF};
  for (fd_xint c : {cl, ch}) {
    for (fd_xint p : {pl, ph}) {
      bool defined;
      fd_xint up = fd_xint_div(c, p, FD_ROUND_CEIL, &defined);
      if (!defined) continue;
      fd_xint down = fd_xint_div(c, p, FD_ROUND_FLOOR, &defined);
      q.lo = fd_xint_min(q.lo, up);
      q.hi = fd_xint_max(q.hi, down);
    }
  }
  return q;
}

// Narrows T to what T * A = C allows, from the bounds of A and C: -1
// failure, else the change bits.
int quotient_phase(const lv_foreign_env* env, dvar* t, const dvar* a, const dvar* c) {
  fd_xint al = fd_dvar_xmin(a), ah = fd_dvar_xmax(a), cl = fd_dvar_xmin(c), ch = fd_dvar_xmax(c);
  // a = 0 supports every t when c may be 0.
  if (al <= 0 && ah >= 0 && cl <= 0 && ch >= 0) return 0;
  fd_xrange parts[2];
  int n = 0;
  if (al <= -1) parts[n++] = quotient_range(cl, ch, al, fd_xint_min(ah, -1));
  if (ah >= 1) parts[n++] = quotient_range(cl, ch, fd_xint_max(al, 1), ah);
  // With two parts (A spans 0, C lacks it) the two ranges lie on opposite
  // sides of 0 and the values between them go.
  return fd_arith_narrow_union(env, t, parts, n);
}

int product_pass(const lv_foreign_env* env, dvar* d) {
  dvar *x = &d[0], *y = &d[1], *z = &d[2];
  constexpr lv_term ONE = fd_make_small(1);
  constexpr lv_term ZERO = fd_make_small(0);
  if (dvar_same_var(z, x) && !dvar_contains(x, ZERO) && dvar_fix_interval(env, y, ONE, ONE) < 0) return 4;
  if (dvar_same_var(z, y) && !dvar_contains(y, ZERO) && dvar_fix_interval(env, x, ONE, ONE) < 0) return 4;
  fd_xint xl = fd_dvar_xmin(x), xh = fd_dvar_xmax(x), yl = fd_dvar_xmin(y), yh = fd_dvar_xmax(y);
  fd_xint lo = FD_XSUP, hi = FD_XINF;
  for (fd_xint a : {xl, xh}) {
    for (fd_xint b : {yl, yh}) {
      fd_xint p = fd_xint_mul(a, b);
      lo = fd_xint_min(lo, p);
      hi = fd_xint_max(hi, p);
    }
  }
  if (fd_arith_narrow_x(env, z, lo, hi) < 0) return 4;
  if (quotient_phase(env, y, x, z) < 0) return 4;
  if (quotient_phase(env, x, y, z) < 0) return 4;
  return dvar_is_fixed(x) && dvar_is_fixed(y) && dvar_is_fixed(z) ? 3 : 2;
}

}  // namespace

int fd_product(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return fd_arith_run(env, state, new_state, actions, goal, 3, 5, "x*y=z: malformed state", product_pass);
}
