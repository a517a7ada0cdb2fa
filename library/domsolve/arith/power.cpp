// X ^ Y = Z (x^y=z) over integers: for Y >= 0 the power (0^0 = 1); for
// Y < 0 only the bases 1 and -1 have integer powers. Each call computes,
// from the domains read afresh, a hull for Z, one for Y and one for X, and
// intersects the three variables with them. The reasoning turns on the
// special values -1, 0 and 1, on signs and on the parity of the exponent;
// magnitudes are computed exactly on integers (a double gives the first
// guess of a root, corrected by exact powers), so that no power beyond the
// precision of a double loses its exact value.
#include <cmath>

#include "arith/arith_frame.h"
#include "kernel/solver_state.h"

namespace {

// base ^ e for e >= 0, exact while it stays within 2^64 in magnitude and
// clamped beyond.
fd_xint ipow(fd_xint base, fd_xint e) {
  if (e == 0) return 1;
  if (base == 0 || base == 1) return base;
  if (base == -1) return (e & 1) != 0 ? -1 : 1;
  bool negative = base < 0 && (e & 1) != 0;
  if (e >= 64) return negative ? -FD_XBEYOND : FD_XBEYOND;
  fd_xint m = base < 0 ? -base : base, p = 1;
  for (fd_xint i = 0; i < e; i++) {
    p *= m;
    if (p >= FD_XBEYOND) return negative ? -FD_XBEYOND : FD_XBEYOND;
  }
  return negative ? -p : p;
}

// The largest t >= 0 with t^k <= s (s >= 0, k >= 1), and the smallest t
// with t^k >= r.
fd_xint root_floor(fd_xint s, fd_xint k) {
  if (k == 1 || s <= 1) return s;
  if (k >= 64) return 1;
  fd_xint t = static_cast<fd_xint>(std::pow(static_cast<double>(s), 1.0 / static_cast<double>(k)));
  while (t > 0 && ipow(t, k) > s) t--;
  while (ipow(t + 1, k) <= s) t++;
  return t;
}
fd_xint root_ceil(fd_xint r, fd_xint k) {
  if (r <= 0) return 0;
  fd_xint t = root_floor(r, k);
  return ipow(t, k) == r ? t : t + 1;
}

// For base >= 2: the largest e with base^e <= s (s >= 1), and the smallest
// e with base^e >= r (r >= 1).
fd_xint log_floor(fd_xint s, fd_xint base) {
  fd_xint e = 0;
  for (fd_xint p = base; p <= s; p *= base) {
    e++;
    if (p >= FD_XBEYOND) break;
  }
  return e;
}
fd_xint log_ceil(fd_xint r, fd_xint base) {
  fd_xint e = log_floor(r, base);
  return ipow(base, e) == r ? e : e + 1;
}

bool odd(fd_xint v) { return (v & 1) != 0; }

// What a call reads of a variable: its bounds and the flags of the special
// values.
struct facts {
  fd_xint lo, hi;
  bool below_m1, has_m1, has_0, has_1, above_1;
};

facts read_facts(const dvar* d) {
  facts f;
  f.lo = fd_dvar_xmin(d);
  f.hi = fd_dvar_xmax(d);
  f.below_m1 = f.lo < -1;
  f.has_m1 = dvar_contains(d, fd_make_small(-1));
  f.has_0 = dvar_contains(d, fd_make_small(0));
  f.has_1 = dvar_contains(d, fd_make_small(1));
  f.above_1 = f.hi > 1;
  return f;
}

// The values of a record as extended integers: the next above v, the
// previous below v.
fd_xint next_above(const dvar* d, fd_xint v) {
  int64_t n = dvar_next_value(d, static_cast<int64_t>(v));
  return n == DVAR_PLAIN_SUP ? FD_XSUP : n;
}
fd_xint prev_below(const dvar* d, fd_xint v) {
  int64_t p = dvar_prev_value(d, static_cast<int64_t>(v));
  return p == DVAR_PLAIN_INF ? FD_XINF : p;
}

// Hulls of parts of a domain: N, the values <= -2; P, the values >= 2;
// with a parity, the same after dropping the values of the other parity
// from each finite end (E: even, O: odd; O's parts start at -3 and 3).
// Empty when nothing is left.
// The hull of the values <= -k, and of the values >= k.
fd_xrange negative_part(const dvar* d, fd_xint k) {
  fd_xint lo = fd_dvar_xmin(d), hi = prev_below(d, 1 - k);
  if (hi == FD_XINF || lo > hi) return {1, 0};
  return {lo, hi};
}
fd_xrange positive_part(const dvar* d, fd_xint k) {
  fd_xint lo = next_above(d, k - 1), hi = fd_dvar_xmax(d);
  if (lo == FD_XSUP || lo > hi) return {1, 0};
  return {lo, hi};
}
fd_xrange parity_part(const dvar* d, fd_xrange r, bool want_odd) {
  if (r.empty()) return r;
  while (fd_xint_finite(r.lo) && r.lo <= r.hi && odd(r.lo) != want_odd) r.lo = next_above(d, r.lo);
  while (fd_xint_finite(r.hi) && r.lo <= r.hi && odd(r.hi) != want_odd) r.hi = prev_below(d, r.hi);
  return r;
}

struct parities {
  fd_xrange even_neg, even_pos, odd_neg, odd_pos, neg, pos;
};
parities read_parities(const dvar* d) {
  parities p;
  p.neg = negative_part(d, 2);
  p.pos = positive_part(d, 2);
  p.even_neg = parity_part(d, p.neg, false);
  p.even_pos = parity_part(d, p.pos, false);
  p.odd_neg = parity_part(d, negative_part(d, 3), true);
  p.odd_pos = parity_part(d, positive_part(d, 3), true);
  return p;
}

struct hull {
  fd_xint lo = FD_XSUP, hi = FD_XINF;
  void add(fd_xint l, fd_xint h) {
    if (l > h) return;
    lo = fd_xint_min(lo, l);
    hi = fd_xint_max(hi, h);
  }
  void add(fd_xint v) { add(v, v); }
};

// The smallest odd (even) value at or above v, the largest at or below v;
// infinities stay.
fd_xint parity_up(fd_xint v, bool want_odd) { return fd_xint_finite(v) && odd(v) != want_odd ? v + 1 : v; }
fd_xint parity_down(fd_xint v, bool want_odd) { return fd_xint_finite(v) && odd(v) != want_odd ? v - 1 : v; }

hull hull_of_z(const facts& x, const facts& y, const facts& z, const parities& px, const parities& py) {
  hull h;
  if (y.has_1) h.add(x.lo, x.hi);
  if (z.has_1 && (y.has_0 || x.has_1 || (x.has_m1 && (!py.even_neg.empty() || !py.even_pos.empty())))) h.add(1);
  if (z.has_0 && y.above_1 && x.has_0) h.add(0);
  if (z.has_m1 && x.has_m1 && (y.has_m1 || !py.odd_neg.empty() || !py.odd_pos.empty())) h.add(-1);
  if (z.below_m1 && x.below_m1 && !py.odd_pos.empty() && !px.neg.empty()) {
    // Odd exponents of negative bases.
    fd_xint a = py.odd_pos.lo, b = py.odd_pos.hi, p = px.neg.lo, q = px.neg.hi;
    h.add(b == FD_XSUP || p == FD_XINF ? FD_XINF : ipow(p, b), ipow(q, a));
  }
  if (z.above_1 && x.below_m1 && !py.even_pos.empty() && !px.neg.empty()) {
    fd_xint a = py.even_pos.lo, b = py.even_pos.hi, p = px.neg.lo, q = px.neg.hi;
    h.add(ipow(q, a), b == FD_XSUP || p == FD_XINF ? FD_XSUP : ipow(p, b));
  }
  if (z.above_1 && x.above_1 && !py.pos.empty() && !px.pos.empty()) {
    fd_xint a = py.pos.lo, b = py.pos.hi, p = px.pos.lo, q = px.pos.hi;
    h.add(ipow(p, a), b == FD_XSUP || q == FD_XSUP ? FD_XSUP : ipow(q, b));
  }
  return h;
}

hull hull_of_y(const facts& x, const facts& y, const facts& z, const parities& px, const parities& pz) {
  hull h;
  if (x.has_1 && z.has_1) {
    h.add(FD_XINF, FD_XSUP);
    return h;
  }
  if (x.has_m1) {
    if (z.has_m1) h.add(parity_up(y.lo, true), parity_down(y.hi, true));
    if (z.has_1) h.add(parity_up(y.lo, false), parity_down(y.hi, false));
  }
  bool positive_exponent = y.has_1 || y.above_1;
  if (positive_exponent && x.has_0 && z.has_0) h.add(1, FD_XSUP);
  if (y.has_0 && z.has_1 && (x.has_0 || x.below_m1 || x.above_1)) h.add(0);
  if (x.below_m1 && !px.neg.empty()) {
    fd_xint p = px.neg.lo, q = px.neg.hi;
    if (z.below_m1 && !pz.neg.empty()) {
      // |x|^y = |z| with an odd y.
      fd_xint r = pz.neg.lo, s = pz.neg.hi;
      fd_xint m = p == FD_XINF ? 1 : log_ceil(-s, -p);
      fd_xint o = r == FD_XINF ? y.hi : log_floor(-r, -q);
      h.add(parity_up(fd_xint_max(m, y.lo), true), parity_down(fd_xint_min(o, y.hi), true));
    }
    if (z.above_1 && !pz.pos.empty()) {
      fd_xint r = pz.pos.lo, s = pz.pos.hi;
      fd_xint m = p == FD_XINF ? 2 : log_ceil(r, -p);
      fd_xint o = s == FD_XSUP ? y.hi : log_floor(s, -q);
      h.add(parity_up(fd_xint_max(m, y.lo), false), parity_down(fd_xint_min(o, y.hi), false));
    }
  }
  if (positive_exponent && x.above_1 && z.above_1 && !px.pos.empty() && !pz.pos.empty()) {
    fd_xint p = px.pos.lo, q = px.pos.hi, r = pz.pos.lo, s = pz.pos.hi;
    fd_xint m = q == FD_XSUP ? 1 : log_ceil(r, q);
    fd_xint o = s == FD_XSUP ? y.hi : log_floor(s, p);
    h.add(m, o);
  }
  return h;
}

hull hull_of_x(const facts& x, const facts& y, const facts& z, const parities& py, const parities& pz) {
  hull h;
  if (z.has_1 && y.has_0) {
    h.add(x.lo, x.hi);
    return h;
  }
  if (y.has_1) h.add(z.lo, z.hi);
  if (x.has_m1) {
    bool odd_exponent = y.has_m1 || (y.below_m1 && !py.odd_neg.empty()) || (y.above_1 && !py.odd_pos.empty());
    bool even_exponent = (y.below_m1 && !py.even_neg.empty()) || (y.above_1 && !py.even_pos.empty());
    if ((z.has_m1 && odd_exponent) || (z.has_1 && even_exponent)) h.add(-1);
  }
  if (x.has_0 && z.has_0 && (y.has_1 || y.above_1)) h.add(0);
  if (x.has_1 && z.has_1) h.add(1);
  if (x.above_1 && z.above_1 && y.above_1 && !py.odd_pos.empty() && !pz.pos.empty()) {
    fd_xint a = py.odd_pos.lo, b = py.odd_pos.hi, r = pz.pos.lo, s = pz.pos.hi;
    fd_xint low = b == FD_XSUP ? 2 : fd_xint_max(root_ceil(r, b), 2);
    fd_xint high = s == FD_XSUP ? x.hi : root_floor(s, a);
    h.add(low, high);
  }
  if (z.above_1 && y.above_1 && !py.even_pos.empty() && !pz.pos.empty()) {
    fd_xint a = py.even_pos.lo, s = pz.pos.hi;
    if (s == FD_XSUP) {
      h.add(x.lo, x.hi);
    } else {
      fd_xint t = root_floor(s, a);
      h.add(-t, t);
    }
  }
  if (x.below_m1 && z.below_m1 && y.above_1 && !py.odd_pos.empty() && !pz.neg.empty()) {
    fd_xint a = py.odd_pos.lo, b = py.odd_pos.hi, r = pz.neg.lo, s = pz.neg.hi;
    fd_xint low = r == FD_XINF ? x.lo : -root_floor(-r, a);
    fd_xint high = b == FD_XSUP ? -2 : fd_xint_min(-root_ceil(-s, b), -2);
    h.add(low, high);
  }
  return h;
}

int power_pass(const lv_foreign_env* env, dvar* d) {
  dvar *x = &d[0], *y = &d[1], *z = &d[2];
  facts fx = read_facts(x), fy = read_facts(y), fz = read_facts(z);
  parities px = read_parities(x), py = read_parities(y), pz = read_parities(z);
  hull hz = hull_of_z(fx, fy, fz, px, py);
  hull hy = hull_of_y(fx, fy, fz, px, pz);
  hull hx = hull_of_x(fx, fy, fz, py, pz);
  for (const hull* h : {&hz, &hy, &hx}) {
    if (h->lo > h->hi) return 4;
    lv_term lo = fd_xint_bound(h->lo), hi = fd_xint_bound(h->hi);
    // A hull stuck beyond the small integers: an overflow.
    if (lo == hi && !fd_is_small(lo)) {
      fd_set_overflow(env, lo == FD_SUP ? FD_OVERFLOW_SUP : FD_OVERFLOW_INF);
      return 4;
    }
  }
  int rx = fd_arith_narrow_x(env, x, hx.lo, hx.hi);
  int ry = rx < 0 ? -1 : fd_arith_narrow_x(env, y, hy.lo, hy.hi);
  int rz = ry < 0 ? -1 : fd_arith_narrow_x(env, z, hz.lo, hz.hi);
  if (rz < 0) return 4;
  return rx == 0 && ry == 0 && rz == 0 && dvar_is_fixed(x) && dvar_is_fixed(y) ? 3 : 2;
}

}  // namespace

int fd_power(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return fd_arith_run(env, state, new_state, actions, goal, 3, 5, "x^y=z: malformed state", power_pass);
}
