// |X| = Y (abs(x)=y), X*X = Y (x*x=y) and A*X = Y for an integer constant
// A (ax=y).
//
// abs and square make one pass per call and end it at the first change,
// leaving further rounds to the propagation loop, which runs them again
// when their own changes wake them. Y is a magnitude: both first narrow it
// to 0..sup. ax=y keeps no block: its state s(A, p(X, AX), p(Y, AY)) is
// read into two dvars held by global references for the call; it narrows
// the bounds, then walks both domains in step (A*x against y) to remove
// every value without a partner.
#include <cmath>

#include "arith/arith_frame.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/memory.h"
#include "kernel/solver_state.h"
#include "kernel/term_helpers.h"

namespace {

constexpr lv_term ZERO = fd_make_small(0);

// The kind of a bound for the tables below.
enum bound_kind { K_INF, K_NEG, K_NONNEG, K_SUP };
bound_kind kind(lv_term b) {
  if (b == FD_INF) return K_INF;
  if (b == FD_SUP) return K_SUP;
  return fd_small_value(b) < 0 ? K_NEG : K_NONNEG;
}

// The larger of two bounds.
lv_term bound_max(lv_term a, lv_term b) { return fd_bound_compare(a, b) < 0 ? b : a; }

// Y >= 0: Y's values below 0 go first. -1 failure, otherwise the change
// bits.
int magnitude_first(const lv_foreign_env* env, dvar* y) {
  if (fd_bound_compare(y->min, ZERO) >= 0) return 0;
  return dvar_fix_interval(env, y, ZERO, FD_SUP);
}

// The set [-h, -l] followed by [l, h] (0 <= l <= h), or [-h, h] when l is 0.
fdset symmetric(const lv_foreign_env* env, lv_term l, lv_term h) {
  fdset_builder s;
  fdset_builder_init(&s);
  if (l == ZERO) {
    fdset_builder_add_interval(env, &s, fd_bound_neg(h), h);
  } else {
    fdset_builder_add_interval(env, &s, fd_bound_neg(h), fd_bound_neg(l));
    fdset_builder_add_interval(env, &s, l, h);
  }
  return s.head;
}

// Status after one pass: 4 failed, 2 changed (the pass ended there), else
// 3 when both are fixed and 2 otherwise.
int settle(int r, const dvar* x, const dvar* y) {
  if (r < 0) return 4;
  if (r > 0) return 2;
  return dvar_is_fixed(x) && dvar_is_fixed(y) ? 3 : 2;
}

int abs_pass(const lv_foreign_env* env, dvar* d) {
  dvar *x = &d[0], *y = &d[1];
  int r = magnitude_first(env, y);
  if (r != 0) return settle(r, x, y);
  lv_term xl = x->min, xh = x->max, yl = y->min, yh = y->max;
  bound_kind kl = kind(xl), kh = kind(xh);
  if (kl == K_NONNEG && kh == K_NONNEG) {
    // X >= 0: X = Y.
    if ((r = dvar_fix_interval(env, x, yl, yh)) != 0) return settle(r, x, y);
    return settle(dvar_fix_interval(env, y, xl, xh), x, y);
  }
  lv_term l = yl, h = yh;
  if (kl == K_INF && kh == K_NEG) {
    l = fd_bound_neg(xh);
  } else if (kl == K_NEG && kh == K_NEG) {
    l = fd_bound_neg(xh);
    h = fd_bound_neg(xl);
  } else if (kl == K_NEG && kh == K_NONNEG) {
    h = bound_max(xh, fd_bound_neg(xl));
  } else if (kl == K_NONNEG && kh == K_SUP) {
    l = xl;
  }
  if ((r = dvar_fix_interval(env, y, l, h)) != 0) return settle(r, x, y);
  return settle(dvar_fix_set(env, x, symmetric(env, y->min, y->max)), x, y);
}

// Integer square roots of a non-negative value: the largest t with t*t <= v
// and the smallest t with t*t >= v.
int64_t floor_sqrt(int64_t v) {
  int64_t t = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
  while (t > 0 && static_cast<__int128>(t) * t > v) t--;
  while (static_cast<__int128>(t + 1) * (t + 1) <= v) t++;
  return t;
}
int64_t ceil_sqrt(int64_t v) {
  int64_t t = floor_sqrt(v);
  return static_cast<__int128>(t) * t == v ? t : t + 1;
}

lv_term square(lv_term b) { return fd_bound_mul_int(b, b); }

int square_pass(const lv_foreign_env* env, dvar* d) {
  dvar *x = &d[0], *y = &d[1];
  int r = magnitude_first(env, y);
  if (r != 0) return settle(r, x, y);
  lv_term xl = x->min, xh = x->max, yl = y->min, yh = y->max;
  lv_term rt = fd_make_small(ceil_sqrt(fd_small_value(yl)));
  lv_term st = yh == FD_SUP ? FD_SUP : fd_make_small(floor_sqrt(fd_small_value(yh)));
  bound_kind kl = kind(xl), kh = kind(xh);
  constexpr int64_t SMALL_ROOT = (int64_t{1} << 30) - 1;
  if (kl == K_NONNEG && kh == K_NONNEG && fd_small_value(xh) <= SMALL_ROOT) {
    if ((r = dvar_fix_interval(env, x, rt, st)) != 0) return settle(r, x, y);
    return settle(dvar_fix_interval(env, y, square(xl), square(xh)), x, y);
  }
  lv_term l = yl, h = yh;
  if (kl == K_INF && kh == K_NEG) {
    l = square(xh);
  } else if (kl == K_NEG && kh == K_NEG) {
    l = square(xh);
    h = square(xl);
  } else if (kl == K_NEG && kh == K_NONNEG) {
    h = square(fd_bound_compare(fd_bound_neg(xl), xh) <= 0 ? xh : xl);
  } else if (kl == K_NONNEG && kh == K_SUP) {
    l = square(xl);
  } else if (kl == K_NONNEG && kh == K_NONNEG) {
    l = square(xl);
    h = square(xh);
  }
  // No square lies between yl and r*r.
  lv_term r2 = square(rt);
  if (l != FD_SUP && fd_bound_compare(l, r2) < 0) l = r2;
  r = dvar_fix_interval(env, y, l, h);
  if (r < 0 && l == FD_SUP) fd_set_overflow(env, FD_OVERFLOW_SUP);
  if (r != 0) return settle(r, x, y);
  r = dvar_fix_set(env, x, symmetric(env, rt, st));
  if (r < 0 && l == FD_SUP) fd_set_overflow(env, FD_OVERFLOW_SUP);
  return settle(r, x, y);
}

// ax=y: the walk in step over ascending sets, for A > 0: the values of X
// and of Y without a partner are collected into *rx and *ry.
void partnerless(const lv_foreign_env* env, int64_t a, fdset sx, fdset sy, fdset* rx, fdset* ry) {
  fdset_builder bx, by;
  fdset_builder_init(&bx);
  fdset_builder_init(&by);
  // The smallest value of the set at or above v, or false.
  auto next_at_or_above = [](fdset s, int64_t v, int64_t* out) {
    lv_term t = fdset_next_value(s, fd_make_small(v - 1));
    if (!fd_is_small(t)) return false;
    *out = fd_small_value(t);
    return true;
  };
  int64_t x = fd_small_value(fdset_min(sx)), y = fd_small_value(fdset_min(sy));
  int64_t xmax = fd_small_value(fdset_max(sx)), ymax = fd_small_value(fdset_max(sy));
  for (;;) {
    __int128 ax = static_cast<__int128>(a) * x;
    if (ax < y) {
      // x .. ceil(y / a) - 1 have no partner.
      int64_t t = static_cast<int64_t>(fd_xint_ceil_div(y, a));
      fdset_builder_add_interval(env, &bx, fd_make_small(x), fd_make_small(t - 1));
      if (t > xmax || !next_at_or_above(sx, t, &x)) {
        fdset_builder_add_interval(env, &by, fd_make_small(y), fd_make_small(ymax));
        break;
      }
    } else if (ax > y) {
      int64_t t = static_cast<int64_t>(ax);
      fdset_builder_add_interval(env, &by, fd_make_small(y), fd_make_small(t - 1));
      if (t > ymax || !next_at_or_above(sy, t, &y)) {
        fdset_builder_add_interval(env, &bx, fd_make_small(x), fd_make_small(xmax));
        break;
      }
    } else {
      bool more_x = x < xmax && next_at_or_above(sx, x + 1, &x);
      bool more_y = y < ymax && next_at_or_above(sy, y + 1, &y);
      if (!more_x) {
        if (more_y) fdset_builder_add_interval(env, &by, fd_make_small(y), fd_make_small(ymax));
        break;
      }
      if (!more_y) {
        fdset_builder_add_interval(env, &bx, fd_make_small(x), fd_make_small(xmax));
        break;
      }
    }
  }
  *rx = bx.head;
  *ry = by.head;
}

// The value walk costs a step per partner: it is made when one side has
// at most this many values (the bounds are narrowed in any case).
constexpr int64_t WALK_LIMIT = 1 << 16;

int int_times_pass(const lv_foreign_env* env, int64_t a, dvar* x, dvar* y) {
  if (a == 0) {
    if (dvar_fix_interval(env, y, ZERO, ZERO) < 0) return 4;
    return 3;
  }
  lv_term ta = fd_make_small(a);
  bool negative = a < 0;
  // Bounds: X within Y / A, Y within A * X.
  lv_term ylo = negative ? y->max : y->min, yhi = negative ? y->min : y->max;
  if (fd_arith_narrow(env, x, fd_bound_div_ceil(ylo, ta), fd_bound_div_floor(yhi, ta)) < 0) return 4;
  lv_term xlo = negative ? x->max : x->min, xhi = negative ? x->min : x->max;
  if (fd_arith_narrow(env, y, fd_bound_mul(ta, xlo), fd_bound_mul(ta, xhi)) < 0) return 4;
  bool finite = fd_is_small(x->min) && fd_is_small(x->max) && fd_is_small(y->min) && fd_is_small(y->max);
  if (finite && (dvar_size(x) <= WALK_LIMIT || dvar_size(y) <= WALK_LIMIT)) {
    // For A < 0 the walk runs over -X with |A|.
    fdset sx = dvar_get_set(env, x), sy = dvar_get_set(env, y);
    if (negative) sx = fdset_reflect(env, sx, ZERO);
    fdset rx, ry;
    partnerless(env, negative ? -a : a, sx, sy, &rx, &ry);
    if (negative) rx = fdset_reflect(env, rx, ZERO);
    if (dvar_prune_set(env, x, rx) < 0 || dvar_prune_set(env, y, ry) < 0) return 4;
  }
  return dvar_is_fixed(x) ? 3 : 2;
}

}  // namespace

int fd_abs(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return fd_arith_run(env, state, new_state, actions, goal, 2, 4, "abs(x)=y: malformed state", abs_pass);
}

int fd_square(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return fd_arith_run(env, state, new_state, actions, goal, 2, 4, "x*x=y: malformed state", square_pass);
}

int fd_int_times(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  fd_scratch_reset(env);
  fd_termref(env, actions) = FD_NIL;
  lv_term state = fd_deref(fd_termref(env, state_ref));
  fd_termref(env, new_state) = state;
  // s(A, p(X, AX), p(Y, AY)).
  bool ok = fd_is_compound_struct(state) && fd_functor_arity(fd_functor_of(state)) == 3 &&
            fd_is_small(fd_deref(fd_arg(state, 1))) && fd_arith_pairs_well_formed(state, 2, 2);
  if (!ok) {
    fd_raise_system_error(env, "ax=y: malformed state");
    return 0;
  }
  int64_t a = fd_small_value(fd_deref(fd_arg(state, 1)));
  fd_termref_slot* refs = fd_rt::alloc_globrefs(env, 4);
  dvar d[2];
  for (int i = 0; i < 2; i++) {
    lv_term pair[2];
    fd_get_arg_pair(fd_arg(state, static_cast<unsigned>(i + 2)), pair);
    refs[2 * i].term = pair[0];
    refs[2 * i + 1].term = pair[1];
    dvar_init(env, &d[i], fd_make_ref(&refs[2 * i].term), fd_make_ref(&refs[2 * i + 1].term));
  }
  int status = int_times_pass(env, a, &d[0], &d[1]);
  if (status != 4) dvar_export_changed(env, d, nullptr, 2, actions);
  fd_rt::free_globrefs(env, refs);
  // No state to mark: the exit's `exit` action ends the propagator.
  return fd_propagator_exit(env, 0, actions, goal, status, 0);
}
