// X / Y = Z with / truncating toward zero (x/y=z) and X div Y = Z with div
// rounding toward minus infinity (x div y=z). Y is never 0. One pass per
// call, in three phases on the intervals of the variables:
//   Z gets the quotients of X's bounds by the ends of Y's negative and
//   positive parts (each rounding is monotone within one sign of the
//   divisor), the values between the two ranges removed;
//   Y keeps, within each sign, the interval of its values y for which
//   [min X / y, max X / y] meets Z;
//   X keeps the hulls of the values that some y and z reach (x / y = z for
//   x in one range per sign of y and sign of z), the values between them
//   removed.
// A fixed X then removes from Z the quotients no divisor gives. The
// quotient of the fixed values decides entailment.
#include "arith/arith_frame.h"

namespace {

enum fd_division_kind { FD_DIV_TRUNC, FD_DIV_FLOOR };

bool truncating(fd_division_kind k) { return k == FD_DIV_TRUNC; }

fd_xint quotient(fd_division_kind k, fd_xint a, fd_xint b, bool* defined) {
  return fd_xint_div(a, b, truncating(k) ? FD_ROUND_TRUNC : FD_ROUND_FLOOR, defined);
}

// The range of the quotients of [a, b] by the divisors [pl, ph] (one sign).
fd_xrange quotient_range(fd_division_kind k, fd_xint a, fd_xint b, fd_xint pl, fd_xint ph) {
  fd_xrange q{FD_XSUP, FD_XINF};
  for (fd_xint x : {a, b}) {
    for (fd_xint p : {pl, ph}) {
      bool defined;
      fd_xint v = quotient(k, x, p, &defined);
      if (!defined) continue;  // two infinities: another corner gives it
      q.lo = fd_xint_min(q.lo, v);
      q.hi = fd_xint_max(q.hi, v);
    }
  }
  return q;
}

constexpr fd_xrange ALL_POSITIVE{1, FD_XSUP};
constexpr fd_xrange NONE{1, 0};

fd_xrange meet(fd_xrange r, fd_xrange s) { return {fd_xint_max(r.lo, s.lo), fd_xint_min(r.hi, s.hi)}; }

// The positive divisors y with trunc(b / y) >= c.
fd_xrange trunc_at_least(fd_xint b, fd_xint c) {
  if (c == FD_XINF || b == FD_XSUP) return ALL_POSITIVE;
  if (b == FD_XINF || c == FD_XSUP) return NONE;
  if (c <= 0) {
    if (b >= 0) return ALL_POSITIVE;
    // -b < (1 - c) * y.
    return {fd_xint_floor_div(-b, 1 - c) + 1, FD_XSUP};
  }
  // b >= c * y.
  return {1, fd_xint_floor_div(b, c)};
}

// The positive divisors y with floor(b / y) >= c, that is b >= c * y.
fd_xrange floor_at_least(fd_xint b, fd_xint c) {
  if (c == FD_XINF || b == FD_XSUP) return ALL_POSITIVE;
  if (b == FD_XINF || c == FD_XSUP) return NONE;
  if (c > 0) return {1, fd_xint_floor_div(b, c)};
  if (b >= 0) return ALL_POSITIVE;
  if (c == 0) return NONE;
  return {fd_xint_ceil_div(b, c), FD_XSUP};
}

// The positive divisors y with floor(a / y) <= d, that is a < (d + 1) * y.
fd_xrange floor_at_most(fd_xint a, fd_xint d) {
  if (d == FD_XSUP || a == FD_XINF) return ALL_POSITIVE;
  if (a == FD_XSUP || d == FD_XINF) return NONE;
  fd_xint e = d + 1;
  if (e > 0) return {fd_xint_floor_div(a, e) + 1, FD_XSUP};
  if (e == 0) return a < 0 ? ALL_POSITIVE : NONE;
  return {1, fd_xint_ceil_div(a, e) - 1};
}

// The positive divisors y for which some x in [a, b] gives x op y in
// [c, d].
fd_xrange supporting_divisors(fd_division_kind k, fd_xint a, fd_xint b, fd_xint c, fd_xint d) {
  if (truncating(k)) return meet(trunc_at_least(b, c), trunc_at_least(-a, -d));
  return meet(floor_at_least(b, c), floor_at_most(a, d));
}

// The values x with x op y in [c, d] for some y in [p, q] (1 <= p <= q),
// as up to three ranges (hulls whose ends are reached).
int dividends(fd_division_kind k, fd_xint p, fd_xint q, fd_xint c, fd_xint d, fd_xrange* out) {
  int n = 0;
  auto mul = fd_xint_mul;
  auto add = fd_xint_add;
  if (!truncating(k)) {
    // z * y <= x <= z * y + y - 1.
    fd_xint lo = c >= 0 ? mul(c, p) : mul(c, q);
    fd_xint e = add(d, 1);
    fd_xint hi = add(e > 0 ? mul(e, q) : mul(e, p), -1);
    out[n++] = {lo, hi};
    return n;
  }
  // z > 0: z * y .. z * y + y - 1; z = 0: -(y - 1) .. y - 1;
  // z < 0: z * y - y + 1 .. z * y.
  if (d >= 1) {
    fd_xint c1 = fd_xint_max(c, 1);
    out[n++] = {mul(c1, p), add(mul(add(d, 1), q), -1)};
  }
  if (c <= 0 && d >= 0) out[n++] = {-add(q, -1), add(q, -1)};
  if (c <= -1) {
    fd_xint d2 = fd_xint_min(d, -1);
    out[n++] = {add(mul(add(c, -1), q), 1), mul(d2, p)};
  }
  return n;
}

fd_xrange negated(fd_xrange r) { return {-r.hi, -r.lo}; }

int division_pass(const lv_foreign_env* env, fd_division_kind k, dvar* rec) {
  if (!fd_divisor_nonzero(env, rec)) return 4;
  dvar *x = &rec[0], *y = &rec[1], *z = &rec[2];
  constexpr lv_term ONE = fd_make_small(1);
  constexpr lv_term ZERO = fd_make_small(0);
  if (truncating(k) && dvar_same_var(x, z) && !dvar_contains(x, ZERO) && dvar_fix_interval(env, y, ONE, ONE) < 0)
    return 4;
  // Phase Z.
  fd_xint a = fd_dvar_xmin(x), b = fd_dvar_xmax(x);
  fd_xint yl = fd_dvar_xmin(y), yh = fd_dvar_xmax(y);
  fd_xrange r[6];
  int n = 0;
  if (yl <= -1) r[n++] = quotient_range(k, a, b, yl, fd_xint_min(yh, -1));
  if (yh >= 1) r[n++] = quotient_range(k, a, b, fd_xint_max(yl, 1), yh);
  if (fd_arith_narrow_union(env, z, r, n) < 0) return 4;
  // Phase Y. A negative divisor y = -y': for truncation x / y = -(x / y'),
  // so y' must reach -Z from X; for floor division x div y = (-x) div y',
  // so y' must reach Z from -X.
  fd_xint c = fd_dvar_xmin(z), d = fd_dvar_xmax(z);
  n = 0;
  if (yh >= 1) r[n++] = meet(supporting_divisors(k, a, b, c, d), {fd_xint_max(yl, 1), yh});
  if (yl <= -1) {
    fd_xrange s = truncating(k) ? supporting_divisors(k, a, b, -d, -c) : supporting_divisors(k, -b, -a, c, d);
    r[n++] = meet(negated(s), {yl, fd_xint_min(yh, -1)});
  }
  if (fd_arith_narrow_union(env, y, r, n) < 0) return 4;
  // Phase X, from the new intervals of Y and Z; a negative divisor -y'
  // mirrors the dividends of y'.
  yl = fd_dvar_xmin(y);
  yh = fd_dvar_xmax(y);
  n = 0;
  if (yh >= 1) n += dividends(k, fd_xint_max(yl, 1), yh, c, d, r + n);
  if (yl <= -1) {
    int m = dividends(k, -fd_xint_min(yh, -1), -yl, c, d, r + n);
    for (int i = n; i < n + m; i++) r[i] = negated(r[i]);
    n += m;
  }
  if (fd_arith_narrow_union(env, x, r, n) < 0) return 4;
  // A fixed X = v, n = |v|: a divisor of magnitude 1 gives +-n, any other
  // at most n / 2 in magnitude (truncating), on the negative side down to
  // -((n + 1) div 2) (floor).
  if (dvar_is_fixed(x)) {
    int64_t v = fd_dvar_value(x), m = v < 0 ? -v : v;
    if (m >= 3) {
      if (fd_arith_prune_x(env, z, m / 2 + 1, m - 1) < 0) return 4;
      int64_t low = truncating(k) ? m / 2 : (m + 1) / 2;
      if (fd_arith_prune_x(env, z, -(m - 1), -low - 1) < 0) return 4;
    }
  }
  if (dvar_is_fixed(x) && dvar_is_fixed(y) && dvar_is_fixed(z)) {
    bool defined;
    fd_xint q = quotient(k, fd_dvar_value(x), fd_dvar_value(y), &defined);
    return defined && q == fd_dvar_value(z) ? 3 : 4;
  }
  return 2;
}

int trunc_pass(const lv_foreign_env* env, dvar* d) { return division_pass(env, FD_DIV_TRUNC, d); }
int floor_pass(const lv_foreign_env* env, dvar* d) { return division_pass(env, FD_DIV_FLOOR, d); }

}  // namespace

int fd_quotient(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return fd_arith_run(env, state, new_state, actions, goal, 3, 5, "x/y=z: malformed state", trunc_pass);
}

int fd_divide(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return fd_arith_run(env, state, new_state, actions, goal, 3, 5, "x div y=z: malformed state", floor_pass);
}
