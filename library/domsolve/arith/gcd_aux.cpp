// gcd_aux: divisibility reasoning on sum(a_i * x_i) = c. The unfixed
// summands must sum to the residual R = c - the fixed terms, so R is a
// multiple of G, the gcd of the unfixed coefficients, and each unfixed x_k
// satisfies a_k * x_k = R (mod g_k), g_k the gcd of the other unfixed
// coefficients; x_k's bounds move to the nearest values that do. It does
// not test the sum itself.
//
// State: g(Terms, C, Fixed, Pairs, Handle, Stamp): Terms a list of
// t(A, X, Attribute) (replaced by [] once the block holds them), C the
// right-hand side, Fixed the number of fixed summands and Pairs the count
// of unit coefficients and coprime pairs among the unfixed ones, for this
// version of the state. The block's order array keeps the unfixed summands
// first and the fixed ones after them, the most recently fixed first, so
// that the count in the state brings the partition back after
// backtracking. The residual is kept in 128 bits and worked out again from
// the fixed summands when the partition comes back: no term overflows it.
#include "arith/linear.h"
#include "kernel/attributes.h"
#include "kernel/dvar.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

typedef __int128 i128;

int64_t gcd(int64_t a, int64_t b) {
  while (b != 0) {
    int64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// The least y >= 0 with a * y = b (mod m), for a > 0, m > 0 and gcd(a, m)
// dividing b.
int64_t solve_congruence(int64_t a, int64_t b, int64_t m) {
  int64_t g = gcd(a, m);
  a /= g;
  b /= g;
  m /= g;
  if (m == 1) return 0;
  // The inverse of a modulo m (extended Euclid).
  i128 r0 = m, r1 = a % m, s0 = 0, s1 = 1;
  while (r1 != 0) {
    i128 q = r0 / r1, t = r0 - q * r1;
    r0 = r1;
    r1 = t;
    t = s0 - q * s1;
    s0 = s1;
    s1 = t;
  }
  i128 y = (static_cast<i128>(b % m) * (s0 % m)) % m;
  return static_cast<int64_t>(y < 0 ? y + m : y);
}

// a mod m in 0..m-1 (m > 0).
int64_t residue(i128 a, int64_t m) {
  i128 r = a % m;
  return static_cast<int64_t>(r < 0 ? r + m : r);
}

struct block {
  void (*destroy)(void*);
  fd_daemon_fn daemon;
  lv_foreign_env* env;
  fd_termref_slot* refs;  // each summand's attribute and variable
  int64_t c;
  i128 r;  // the residual for the partition in force
  int32_t pairs, n, u, unused;
  dvar* d;
  int64_t *a, *abs_a, *g;
  int32_t *partner, *order, *pos;

  void swap(int32_t p, int32_t q) {
    int32_t i = order[p], j = order[q];
    order[p] = j;
    pos[j] = p;
    order[q] = i;
    pos[i] = q;
  }

  // The value of a fixed summand from its attribute.
  int64_t value(int32_t i) const {
    lv_term dom = fd_attribute_domain(fd_deref(refs[2 * i].term));
    return fd_small_value(fd_is_small(dom) ? dom : fd_deref(fd_arg(dom, 2)));
  }

  // Back to the partition of the state in force: the summands fixed since
  // become unfixed again (the residual follows).
  void restore(int32_t state_u, int32_t state_pairs) {
    pairs = state_pairs;
    if (state_u == u) return;
    u = state_u;
    r = c;
    for (int32_t p = u; p < n; p++) r -= static_cast<i128>(a[order[p]]) * value(order[p]);
  }

  // Summand k is fixed to v.
  void fix(int32_t k, int64_t v) {
    r -= static_cast<i128>(a[k]) * v;
    u--;
    swap(pos[k], u);
    int32_t p = partner[k];
    if (p == k || (p >= 0 && pos[p] < u)) pairs--;
  }

  // The gcds: G of the unfixed coefficients, g_k of the others of each;
  // true when some of them exceeds 1 (something may be narrowed or fail).
  bool recompute(int64_t* big_g) {
    *big_g = 1;
    if (u == 0 || pairs > 1) return false;
    // Prefix gcds in g, then the suffix ones folded in.
    int64_t run = 0;
    for (int32_t p = 0; p < u; p++) {
      g[order[p]] = run;
      run = gcd(run, abs_a[order[p]]);
    }
    *big_g = run;
    bool any = run > 1;
    int64_t suffix = 0;
    for (int32_t p = u - 1; p >= 0; p--) {
      int32_t k = order[p];
      g[k] = gcd(g[k], suffix);
      if (g[k] > 1) any = true;
      suffix = gcd(suffix, abs_a[k]);
    }
    return any;
  }
};

void destroy_block(void* p) {
  auto* b = static_cast<block*>(p);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

int64_t daemon(lv_foreign_env* env, void* p, lv_term* cell, lv_term* propagator) {
  auto* b = static_cast<block*>(p);
  int copied;
  lv_term state = fd_mutable_copy(env, propagator, &copied, 0);
  lv_term* s = fd_struct_cells(state);
  if (!copied) s[6] = fd_make_small(fd_small_value(fd_deref(s[6])) - 1);
  b->restore(b->n - static_cast<int32_t>(fd_small_value(fd_deref(s[3]))),
             static_cast<int32_t>(fd_small_value(fd_deref(s[4]))));
  int32_t k = static_cast<int32_t>((reinterpret_cast<char*>(cell) - reinterpret_cast<char*>(b->refs)) /
                                   (2 * sizeof(fd_termref_slot)));
  lv_term dom = fd_attribute_domain(fd_deref(b->refs[2 * k].term));
  if (fd_is_small(dom) && b->pos[k] < b->u) {
    b->fix(k, fd_small_value(dom));
    s[3] = fd_make_small(b->n - b->u);
    s[4] = fd_make_small(b->pairs);
  }
  int64_t big_g;
  return b->u == 0 || b->recompute(&big_g) ? 1 : 2;
}

block* create(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref goal) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  int64_t n = fd_proper_length(fd_arg(state, 1));
  size_t size = sizeof(block) + static_cast<size_t>(n) * (sizeof(dvar) + 3 * sizeof(int64_t) + 3 * sizeof(int32_t));
  auto* b = static_cast<block*>(fd_new_handle_block(env, size, fd_arg(state, 5), 0));
  *b = block{};
  b->destroy = destroy_block;
  b->daemon = daemon;
  b->env = env;
  b->n = static_cast<int32_t>(n);
  b->d = reinterpret_cast<dvar*>(b + 1);
  b->a = reinterpret_cast<int64_t*>(b->d + n);
  b->abs_a = b->a + n;
  b->g = b->abs_a + n;
  b->partner = reinterpret_cast<int32_t*>(b->g + n);
  b->order = b->partner + n;
  b->pos = b->order + n;
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * n));
  state = fd_deref(fd_termref(env, new_state));
  b->c = fd_small_value(fd_deref(fd_arg(state, 2)));
  b->r = b->c;
  int32_t front = 0, back = b->n - 1;
  int32_t i = 0;
  for (lv_term l = fd_deref(fd_arg(state, 1)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]), i++) {
    lv_term t = fd_deref(fd_list_cells(l)[0]);
    b->a[i] = fd_small_value(fd_deref(fd_arg(t, 1)));
    b->abs_a[i] = b->a[i] < 0 ? -b->a[i] : b->a[i];
    b->partner[i] = -1;
    b->refs[2 * i].term = fd_deref(fd_arg(t, 3));
    b->refs[2 * i + 1].term = fd_deref(fd_arg(t, 2));
    dvar_init(env, &b->d[i], fd_make_ref(&b->refs[2 * i].term), fd_make_ref(&b->refs[2 * i + 1].term));
    if (dvar_is_fixed(&b->d[i])) {
      b->r -= static_cast<i128>(b->a[i]) * fd_small_value(b->d[i].min);
      b->order[back] = i;
      b->pos[i] = back--;
    } else {
      b->order[front] = i;
      b->pos[i] = front++;
    }
  }
  b->u = front;
  fd_struct_cells(state)[1] = FD_NIL;
  lv_term minmax = fd_state(env)->functors[FD_F_MINMAX_1];
  for (int32_t p = 0; p < b->u; p++) {
    int32_t k = b->order[p];
    dvar_attach_daemon(env, &b->d[k], b, goal, minmax, 0);
    if (b->abs_a[k] == 1) {
      b->partner[k] = k;
      b->pairs++;
    } else if (b->partner[k] < 0) {
      for (int32_t q = p + 1; q < b->u; q++) {
        int32_t j = b->order[q];
        if (b->abs_a[j] > 1 && b->partner[j] < 0 && gcd(b->abs_a[k], b->abs_a[j]) == 1) {
          b->partner[k] = j;
          b->partner[j] = k;
          b->pairs++;
          break;
        }
      }
    }
  }
  return b;
}

// Whether the state is well formed: a proper list of t(A, X, Attribute)
// with nonzero small coefficients, a small right-hand side, small counts.
bool well_formed(lv_term state) {
  if (!fd_is_compound_struct(state) || fd_functor_arity(fd_functor_of(state)) != 6) return false;
  if (!fd_is_small(fd_deref(fd_arg(state, 2))) || !fd_is_small(fd_deref(fd_arg(state, 3))) ||
      !fd_is_small(fd_deref(fd_arg(state, 4))))
    return false;
  return lin_summands_well_formed(fd_arg(state, 1), false);
}

}  // namespace

int fd_gcd_aux(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  block* b;
  if (fd_is_ref(handle)) {
    if (!well_formed(state)) {
      fd_raise_system_error(env, "gcd_aux: malformed state");
      return 0;
    }
    b = create(env, new_state, goal);
  } else {
    b = static_cast<block*>(fd_handle_pointer(handle));
    b->restore(b->n - static_cast<int32_t>(fd_small_value(fd_deref(fd_arg(state, 3)))),
               static_cast<int32_t>(fd_small_value(fd_deref(fd_arg(state, 4)))));
  }
  int status = 2;
  int32_t u0 = b->u;
  for (int32_t p = 0; p < b->u; p++) dvar_refresh(env, &b->d[b->order[p]]);
  int64_t big_g;
  if (b->u == 0) {
    status = 3;
  } else if (b->recompute(&big_g)) {
    if (big_g > 1 && residue(b->r, big_g) != 0) status = 4;
    for (int32_t p = 0; status == 2 && p < b->u; p++) {
      int32_t k = b->order[p];
      dvar* x = &b->d[k];
      int64_t gk = b->g[k];
      if (dvar_is_fixed(x) || gk <= 1) continue;
      int64_t t = gk / big_g;
      int64_t o = residue(b->a[k] > 0 ? b->r : -b->r, gk);
      if (o % gcd(b->abs_a[k] % gk, gk) != 0) {  // no value of x_k meets it
        status = 4;
        break;
      }
      int64_t x0 = o == 0 ? 0 : solve_congruence(b->abs_a[k] % gk, o, gk);
      // The values = x0 (mod t) nearest inside the bounds; an infinite
      // bound stays.
      bool lo_finite = fd_is_small(x->min), hi_finite = fd_is_small(x->max);
      i128 lo = lo_finite ? fd_small_value(x->min) : 0, hi = hi_finite ? fd_small_value(x->max) : 0;
      if (lo_finite) lo = lo + residue(static_cast<i128>(x0) - lo, t);
      if (hi_finite) hi = hi - residue(hi - x0, t);
      if ((lo_finite && hi_finite && lo > hi) || lo > FD_SMALL_MAX || hi < FD_SMALL_MIN) {
        status = 4;
        break;
      }
      lv_term new_lo = lo_finite ? fd_make_small(static_cast<int64_t>(lo)) : FD_INF;
      lv_term new_hi = hi_finite ? fd_make_small(static_cast<int64_t>(hi)) : FD_SUP;
      int r2 = dvar_fix_interval(env, x, new_lo, new_hi);
      if (r2 < 0) {
        status = 4;
        break;
      }
      if (r2 == 0) continue;
      if (dvar_is_fixed(x)) {
        // The gcds change with the partition: when they still say
        // something, another pass through the queue.
        b->fix(k, fd_small_value(x->min));
        if (b->recompute(&big_g)) fd_propagator_clear_marks(env, goal);
        break;
      }
      if ((lo_finite && fd_small_value(x->min) > lo) || (hi_finite && fd_small_value(x->max) < hi)) {
        // Holes at the new bounds: another pass through the queue.
        fd_propagator_clear_marks(env, goal);
        break;
      }
    }
  }
  if (status != 4) {
    dvar_export_changed(env, b->d, b->order, u0, actions);
    state = fd_deref(fd_termref(env, new_state));
    fd_struct_cells(state)[3] = fd_make_small(b->n - b->u);
    fd_struct_cells(state)[4] = fd_make_small(b->pairs);
    if (b->u == 0) status = 3;
  }
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}
