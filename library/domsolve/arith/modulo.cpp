// X mod Y = Z (x mod y=z: the remainder of floor division, 0 or of the
// sign of Y) and X rem Y = Z (x rem y=z: of truncating division, 0 or of
// the sign of X), |Z| < |Y|, Y never 0.
//
// While Y is open, one pass on bounds: Z from X and Y (the remainders an
// interval of X can leave, per sign of Y), Y from X and Z (|Y| above |Z|,
// and no larger than |X - Z| when X and Z cannot be equal), X from Z and
// Y. A fixed Y = q is treated exactly: Z becomes the image of X's
// interval, X's bounds move to the nearest values whose remainder lies in
// Z. Then, for a fixed X = v, the remainders no divisor leaves go from Z.
#include "arith/arith_frame.h"
#include "kernel/solver_state.h"

namespace {

fd_xint floor_mod(fd_xint x, fd_xint q) { return x - fd_xint_floor_div(x, q) * q; }
fd_xint trunc_rem(fd_xint x, fd_xint q) { return x % q; }

bool overlap(fd_xint a, fd_xint b, fd_xint c, fd_xint d) { return fd_xint_max(a, c) <= fd_xint_min(b, d); }

// Narrows a record to [v, sup] (or [inf, v]); a v beyond the small integers
// records the pending overflow code and fails.
int set_min_checked(const lv_foreign_env* env, dvar* d, fd_xint v) {
  if (v > FD_SMALL_MAX || v < FD_SMALL_MIN) {
    fd_set_overflow(env, FD_OVERFLOW_SUP);
    return -1;
  }
  return dvar_fix_interval(env, d, fd_make_small(static_cast<int64_t>(v)), FD_SUP);
}
int set_max_checked(const lv_foreign_env* env, dvar* d, fd_xint v) {
  if (v > FD_SMALL_MAX || v < FD_SMALL_MIN) {
    fd_set_overflow(env, FD_OVERFLOW_INF);
    return -1;
  }
  return dvar_fix_interval(env, d, FD_INF, fd_make_small(static_cast<int64_t>(v)));
}

// Y open, modulo. -1 failure.
int modulo_open(const lv_foreign_env* env, dvar* x, dvar* y, dvar* z) {
  auto add = fd_xint_add;
  fd_xint a = fd_dvar_xmin(x), b = fd_dvar_xmax(x), yl = fd_dvar_xmin(y), yh = fd_dvar_xmax(y);
  // Phase Z: per part of Y, the remainders of [a, b].
  fd_xint lo = FD_XSUP, hi = FD_XINF;
  auto take = [&](fd_xint l, fd_xint h) {
    lo = fd_xint_min(lo, l);
    hi = fd_xint_max(hi, h);
  };
  if (yh >= 1) {
    fd_xint pl = fd_xint_max(yl, 1), ph = yh;
    if (a >= 0 && b < pl) take(a, b);
    else if (a >= 0) take(0, fd_xint_min(add(ph, -1), b));
    else if (b < 0 && add(a, pl) > 0) take(add(a, pl), add(b, ph));
    else take(0, add(ph, -1));
  }
  if (yl <= -1) {
    fd_xint nl = yl, nh = fd_xint_min(yh, -1);
    if (b <= 0 && a > nh) take(a, b);
    else if (b <= 0) take(fd_xint_max(add(nl, 1), a), 0);
    else if (a > 0 && b < -nh) take(add(a, nl), add(b, nh));
    else take(add(nl, 1), 0);
  }
  if (fd_arith_narrow_x(env, z, lo, hi) < 0) return -1;
  fd_xint c = fd_dvar_xmin(z), d = fd_dvar_xmax(z);
  // Phase Y. A divisor y with 0 < y <= x for every x needs a quotient of at
  // least 1, so y <= x - z; likewise on the negative side.
  bool meets = overlap(a, b, c, d);
  if (meets && a >= 1 && c >= 1 && fd_arith_prune_x(env, y, add(b, -c + 1), a) < 0) return -1;
  if (meets && b <= -1 && d <= -1 && fd_arith_prune_x(env, y, b, add(a, -d - 1)) < 0) return -1;
  // |y| above the remainder, and no larger than |x - z| when the quotient
  // cannot be 0 (x = z).
  lo = FD_XSUP;
  hi = FD_XINF;
  if (d >= 0) {
    fd_xint c0 = fd_xint_max(c, 0);
    take(c0 + 1, overlap(a, b, c0, d) ? FD_XSUP : fd_xint_max(add(b, -c0), add(d, -a)));
  }
  if (c <= 0) {
    fd_xint d0 = fd_xint_min(d, 0);
    take(overlap(a, b, c, d0) ? FD_XINF : -fd_xint_max(add(b, -c), add(d0, -a)), d0 - 1);
  }
  if (fd_arith_narrow_x(env, y, lo, hi) < 0) return -1;
  // Phase X: 0 mod y = 0.
  if ((c > 0 || d < 0) && fd_arith_prune_x(env, x, 0, 0) < 0) return -1;
  return 0;
}

// The least magnitude of Y's interval (Y has no 0).
fd_xint least_magnitude(fd_xint yl, fd_xint yh) {
  if (yl >= 1) return yl;
  if (yh <= -1) return -yh;
  return 1;
}

// Y open, remainder. -1 failure.
int remainder_open(const lv_foreign_env* env, dvar* x, dvar* y, dvar* z) {
  auto add = fd_xint_add;
  fd_xint a = fd_dvar_xmin(x), b = fd_dvar_xmax(x), yl = fd_dvar_xmin(y), yh = fd_dvar_xmax(y);
  fd_xint m = least_magnitude(yl, yh), big = fd_xint_max(-yl, yh);
  // Phase Z: X cannot wrap when every |x| lies below every |y|.
  fd_xint top = add(big, -1);
  if ((a >= 0 && b < m) || (b <= 0 && -a < m)) {
    if (fd_arith_narrow_x(env, z, a, b) < 0) return -1;
  } else if (a >= 0) {
    if (fd_arith_narrow_x(env, z, 0, fd_xint_min(b, top)) < 0) return -1;
  } else if (b <= 0) {
    if (fd_arith_narrow_x(env, z, fd_xint_max(a, -top), 0) < 0) return -1;
  } else if (fd_arith_narrow_x(env, z, fd_xint_max(a, -top), fd_xint_min(b, top)) < 0) {
    return -1;
  }
  fd_xint c = fd_dvar_xmin(z), d = fd_dvar_xmax(z);
  // Phase Y: |y| > |z|, and |y| <= |x - z| when x = z cannot hold.
  if (c > 0 && fd_arith_prune_x(env, y, -c, c) < 0) return -1;
  if (d < 0 && fd_arith_prune_x(env, y, d, -d) < 0) return -1;
  if (!overlap(a, b, c, d)) {
    fd_xint k = fd_xint_max(add(b, -c), add(d, -a));
    if (fd_arith_narrow_x(env, y, -k, k) < 0) return -1;
  }
  // Phase X: a zero quotient leaves x = z; any other needs |x| >= m.
  m = least_magnitude(fd_dvar_xmin(y), fd_dvar_xmax(y));
  if (c > 0) {
    if (fd_arith_prune_x(env, x, add(d, 1), add(m, c - 1)) < 0) return -1;
    if (fd_arith_narrow_x(env, x, c, FD_XSUP) < 0) return -1;
  } else if (d < 0) {
    if (fd_arith_prune_x(env, x, add(d, 1 - m), add(c, -1)) < 0) return -1;
    if (fd_arith_narrow_x(env, x, FD_XINF, d) < 0) return -1;
  } else {
    fd_xint t = fd_xint_max(-c, d);
    if (fd_arith_prune_x(env, x, t + 1, m - 1) < 0) return -1;
    if (fd_arith_prune_x(env, x, -(m - 1), -t - 1) < 0) return -1;
  }
  return 0;
}

// Y fixed to q: Z narrowed to the image of X's interval, whose remainders
// run up from r (at a) to s (at b) and wrap round at most once when the
// run is shorter than a period. -1 failure.
int image_of_run(const lv_foreign_env* env, dvar* z, fd_xint r, fd_xint s, fd_xint lo, fd_xint hi) {
  if (s < r) {
    if (fd_arith_prune_x(env, z, s + 1, r - 1) < 0) return -1;
    return fd_arith_narrow_x(env, z, lo, hi);
  }
  return fd_arith_narrow_x(env, z, r, s);
}

// Y fixed to q, both propagators: remainder is modulo or rem. -1 failure.
int fixed_divisor(const lv_foreign_env* env, bool modulo, dvar* x, dvar* z, fd_xint q) {
  fd_xint a = fd_dvar_xmin(x), b = fd_dvar_xmax(x), e = q < 0 ? -q : q;
  bool finite = fd_xint_finite(a) && fd_xint_finite(b);
  bool long_run = !finite || b - a + 1 >= e;
  auto residue = [&](fd_xint v) { return modulo ? floor_mod(v, q) : trunc_rem(v, e); };
  int r;
  if (modulo) {
    fd_xint lo = q < 0 ? q + 1 : 0, hi = q < 0 ? 0 : q - 1;
    r = long_run ? fd_arith_narrow_x(env, z, lo, hi) : image_of_run(env, z, residue(a), residue(b), lo, hi);
  } else if (a < 0 && b > 0) {
    r = fd_arith_narrow_x(env, z, fd_xint_max(a, 1 - e), fd_xint_min(b, e - 1));
  } else if (b <= 0) {
    r = long_run ? fd_arith_narrow_x(env, z, 1 - e, 0) : image_of_run(env, z, residue(a), residue(b), 1 - e, 0);
  } else {
    r = long_run ? fd_arith_narrow_x(env, z, 0, e - 1) : image_of_run(env, z, residue(a), residue(b), 0, e - 1);
  }
  if (r < 0) return -1;
  // X's bounds: to the value with remainder c in the same period or the
  // next one up (down for the upper bound).
  fd_xint c = fd_dvar_xmin(z), d = fd_dvar_xmax(z);
  if (fd_xint_finite(a)) {
    fd_xint ra = residue(a), v = a;
    if (ra < c) v = a - ra + c;
    else if (d < ra) v = a - ra + c + e;
    if (v != a && set_min_checked(env, x, v) < 0) return -1;
  }
  b = fd_dvar_xmax(x);
  if (fd_xint_finite(b)) {
    fd_xint sb = residue(b), v = b;
    if (d < sb) v = b - sb + d;
    else if (sb < c) v = b - sb + d - e;
    if (v != b && set_max_checked(env, x, v) < 0) return -1;
  }
  return 0;
}

int remainder_pass(const lv_foreign_env* env, bool modulo, dvar* d) {
  if (!fd_divisor_nonzero(env, d)) return 4;
  dvar *x = &d[0], *y = &d[1], *z = &d[2];
  int r;
  if (dvar_is_fixed(y)) r = fixed_divisor(env, modulo, x, z, fd_dvar_value(y));
  else r = modulo ? modulo_open(env, x, y, z) : remainder_open(env, x, y, z);
  if (r < 0) return 4;
  // A fixed X = v: a remainder other than v itself is at most about v / 2
  // in magnitude.
  if (dvar_is_fixed(x)) {
    int64_t v = fd_dvar_value(x);
    if (v >= 2 && fd_arith_prune_x(env, z, (v + 1) / 2, v - 1) < 0) return 4;
    if (v <= -2 && fd_arith_prune_x(env, z, v + 1, (v - 1) / 2) < 0) return 4;
    if (dvar_is_fixed(y) && dvar_is_fixed(z)) {
      fd_xint yv = fd_dvar_value(y);
      fd_xint rv = modulo ? floor_mod(v, yv) : trunc_rem(v, yv);
      return rv == fd_dvar_value(z) ? 3 : 4;
    }
  }
  return 2;
}

int modulo_pass(const lv_foreign_env* env, dvar* d) { return remainder_pass(env, true, d); }
int rem_pass(const lv_foreign_env* env, dvar* d) { return remainder_pass(env, false, d); }

}  // namespace

int fd_modulo(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return fd_arith_run(env, state, new_state, actions, goal, 3, 5, "x mod y=z: malformed state", modulo_pass);
}

int fd_remainder(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return fd_arith_run(env, state, new_state, actions, goal, 3, 5, "x rem y=z: malformed state", rem_pass);
}
