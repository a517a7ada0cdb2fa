// The incremental variants of the scalar product: the generic one (192-bit
// sums) and the 64-bit one. The block keeps every summand's least and
// greatest term (a_i times the bound that gives it) and their difference,
// the span; the slacks le and ge; the unfixed summands as a max-heap on
// their spans (positions 0..u-1, the fixed ones after them) while the
// effective relation propagates; and an undo stack of the terms' earlier
// values. A daemon on every summand (bounds) and on B (value) keeps the
// terms up to date and says whether the propagator must run; the undo
// depth in each version of the state term brings the block back to that
// version after backtracking.
//
// A propagating call makes one pass: the generic variant prunes each
// summand whose span exceeds the slack (a pre-order walk of the heap that
// skips subtrees no larger), the 64-bit one prunes the summand of largest
// span while it exceeds the slack, at most 2u times; either leaves the
// rest to the queue, its own prunings waking it again.
#include "arith/linear.h"
#include "kernel/attributes.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

template <typename N>
struct undo_entry {
  int64_t index;
  N old_min, old_max;
};

template <typename N>
struct block {
  void (*destroy)(void*);
  fd_daemon_fn daemon;
  lv_foreign_env* env;
  fd_termref_slot* refs;  // B's attribute and variable, then each summand's
  int32_t r, e, u, n;
  int32_t saved_overflow, gcd_pending;
  int32_t loop;   // prune the summand of largest span while it exceeds the slack
  int32_t fixed;  // a fixed-count variant: no daemon, everything read again at every call
  N le, ge;
  dvar_bounds b;
  undo_entry<N>* undo;
  int64_t undo_count, undo_capacity;
  dvar* d;
  N *min_term, *max_term, *span;
  int64_t *a, *abs_a;
  int32_t *cand, *heap, *pos;

  typedef lin_num<N> num;

  lv_term attr_ref(int64_t i) const { return fd_make_ref(&refs[2 + 2 * i].term); }
  lv_term var_ref(int64_t i) const { return fd_make_ref(&refs[3 + 2 * i].term); }

  static bool heap_code(int e) { return e == 1 || e == 2 || e == 3 || e == 5 || e == 6; }
  bool larger(int32_t i, int32_t j) const { return num::compare(span[i], span[j]) > 0; }

  void place(int32_t p, int32_t i) {
    heap[p] = i;
    pos[i] = p;
  }
  void sift_up(int32_t p) {
    int32_t i = heap[p];
    while (p > 0) {
      int32_t parent = (p - 1) / 2;
      if (!larger(i, heap[parent])) break;
      place(p, heap[parent]);
      p = parent;
    }
    place(p, i);
  }
  void sift_down(int32_t p) {
    int32_t i = heap[p];
    for (;;) {
      int32_t child = 2 * p + 1;
      if (child >= u) break;
      if (child + 1 < u && larger(heap[child + 1], heap[child])) child++;
      if (!larger(heap[child], i)) break;
      place(p, heap[child]);
      p = child;
    }
    place(p, i);
  }
  void build_heap() {
    for (int32_t p = (u - 2) / 2; p >= 0; p--) sift_down(p);
  }
  void swap_positions(int32_t p, int32_t q) {
    int32_t i = heap[p], j = heap[q];
    place(p, j);
    place(q, i);
  }

  void push_undo(int64_t i) {
    if (undo_count == undo_capacity) {
      undo_capacity = undo_capacity == 0 ? 4 : 2 * undo_capacity;
      size_t bytes = static_cast<size_t>(undo_capacity) * sizeof(undo_entry<N>);
      undo = static_cast<undo_entry<N>*>(undo == nullptr ? fd_malloc(env, bytes) : fd_realloc(env, undo, bytes));
    }
    undo[undo_count++] = {i, min_term[i], max_term[i]};
  }
  // The undo depth kept in the state: three slots an entry.
  int64_t depth() const { return 3 * undo_count; }

  // New terms for summand i, with the slacks, the heap or the partition
  // of fixed and unfixed summands following.
  void set_terms(int32_t i, const N& nmin, const N& nmax) {
    if (num::compare(nmin, min_term[i]) == 0 && num::compare(nmax, max_term[i]) == 0) return;
    le = num::add(env, le, min_term[i]);
    ge = num::sub(env, ge, max_term[i]);
    N old_span = span[i];
    min_term[i] = nmin;
    max_term[i] = nmax;
    span[i] = num::sub(env, nmax, nmin);
    le = num::sub(env, le, nmin);
    ge = num::add(env, ge, nmax);
    int c = num::compare(span[i], old_span);
    if (c == 0) return;
    bool now_fixed = num::sign(span[i]) == 0, was_fixed = num::sign(old_span) == 0;
    int32_t p = pos[i];
    if (now_fixed && !was_fixed) {
      // Out of the unfixed part: the last unfixed one takes its place.
      u--;
      swap_positions(p, u);
      gcd_pending = 1;
      if (heap_code(e) && p < u) {
        int32_t moved = heap[p];
        if (num::compare(span[moved], old_span) < 0) sift_down(p);
        else sift_up(p);
      }
    } else if (was_fixed && !now_fixed) {
      swap_positions(p, u);
      u++;
      if (heap_code(e)) sift_up(u - 1);
    } else if (heap_code(e)) {
      if (c < 0) sift_down(p);
      else sift_up(p);
    }
  }

  void undo_to(int64_t slots) {
    while (3 * undo_count > slots && undo_count > 0) {
      undo_entry<N> entry = undo[--undo_count];
      set_terms(static_cast<int32_t>(entry.index), entry.old_min, entry.old_max);
    }
  }

  // The terms of summand i from bounds lo..hi.
  void terms_of(int32_t i, lv_term lo, lv_term hi, N* nmin, N* nmax) const {
    *nmin = num::term(a[i], a[i] > 0 ? lo : hi);
    *nmax = num::term(a[i], a[i] > 0 ? hi : lo);
  }

  // Every record read again, the terms, slacks and partition recomputed
  // (the block's start at creation, and every call of a fixed-count
  // variant).
  void recompute(const N& c) {
    le = c;
    ge = num::sub(env, num::zero(), c);
    undo_count = 0;
    int32_t front = 0, back = n - 1;
    for (int32_t i = 0; i < n; i++) {
      dvar_refresh(env, &d[i]);
      terms_of(i, d[i].min, d[i].max, &min_term[i], &max_term[i]);
      span[i] = num::sub(env, max_term[i], min_term[i]);
      le = num::sub(env, le, min_term[i]);
      ge = num::add(env, ge, max_term[i]);
      if (num::sign(span[i]) != 0) place(front++, i);
      else place(back--, i);
    }
    u = front;
    e = 7;
    gcd_pending = 1;
    recompute_e();
  }

  // The effective relation from B's bounds; the heap is rebuilt when it
  // starts to be needed.
  void recompute_e() {
    dvar_init_bounds(&b, fd_make_ref(&refs[0].term), fd_make_ref(&refs[1].term));
    int next = lin_effective(r, b.min, b.max);
    if ((e == 4 || e > 6) && next < 7 && next != 4) {
      e = next;
      build_heap();
      gcd_pending = 1;
    }
    e = next;
  }

  // Whether the propagator has work: on the summand of largest span.
  bool needs_propagation() {
    fd_solver_state* st = fd_state(env);
    if (st->pending_overflow != FD_OVERFLOW_NONE) {
      saved_overflow = st->pending_overflow;
      return true;
    }
    if (u == 0) return true;
    int ls = num::sign(le), gs = num::sign(ge);
    if (e == 4) return u < 2;
    if (e >= 7) {
      int w = e == 7 || e == 12 ? 0 : e == 8 || e == 11 ? 1 : 2;
      if (w == 0) return ls <= 0 || gs < 0;
      if (w == 1) return ls < 0 || gs <= 0;
      return ls < 0 || gs < 0 || (ls == 0 && gs == 0);
    }
    const N& s = span[heap[0]];
    int lc = num::compare(le, s), gc = num::compare(ge, s);
    switch (e) {
      case 1: return lc <= 0 || gs < 0;
      case 2: return lc < 0 || gs <= 0;
      case 3: return gcd_pending || lc < 0 || gc < 0;
      case 5: return gc <= 0 || ls < 0;
      case 6: return gc < 0 || ls <= 0;
      default: return false;
    }
  }

  // Narrows x_i so that the sum stays =< c (< c when strict): 0 failed, 1
  // pruned, 2 nothing to do.
  int prune_le(int32_t i, bool strict) {
    N s = strict ? num::sub(env, le, num::from(1)) : le;
    if (num::sign(s) < 0) return 0;
    N t = num::add(env, s, min_term[i]);
    int64_t q;
    int side = a[i] > 0 ? num::div_floor(t, a[i], &q) : num::div_ceil(t, a[i], &q);
    return narrow(i, side, q, a[i] > 0, true);
  }
  // The mirror: the sum stays >= c (> c when strict).
  int prune_ge(int32_t i, bool strict) {
    N s = strict ? num::sub(env, ge, num::from(1)) : ge;
    if (num::sign(s) < 0) return 0;
    N t = num::sub(env, s, max_term[i]);
    int64_t q;
    int side = a[i] > 0 ? num::div_ceil(t, -a[i], &q) : num::div_floor(t, -a[i], &q);
    return narrow(i, side, q, a[i] <= 0, false);
  }
  // q a new maximum (upper) or minimum of x_i, side -1/1 when it lies
  // below/above the small integers; le_side says which term changes.
  int narrow(int32_t i, int side, int64_t q, bool upper, bool le_side) {
    if (side != 0) {
      if (upper ? side > 0 : side < 0) return 2;  // beyond every value: nothing to prune
      fd_set_overflow(env, upper ? FD_OVERFLOW_INF : FD_OVERFLOW_SUP);
      return 0;
    }
    dvar* x = &d[i];
    int r2 = upper ? dvar_fix_interval(env, x, FD_INF, fd_make_small(q)) : dvar_fix_interval(env, x, fd_make_small(q), FD_SUP);
    if (r2 < 0) return 0;
    if (r2 == 0) return 2;
    N nmin = min_term[i], nmax = max_term[i];
    N bound = num::term(a[i], le_side == (a[i] > 0) ? x->max : x->min);
    (le_side ? nmax : nmin) = bound;
    push_undo(i);
    set_terms(i, nmin, nmax);
    return 1;
  }

  // Relation =: the unfixed coefficients' gcd must divide c less the
  // fixed terms.
  bool gcd_check() {
    gcd_pending = 0;
    uint64_t g = 0;
    for (int32_t p = 0; p < u && g != 1; p++) {
      uint64_t x = static_cast<uint64_t>(abs_a[heap[p]]);
      while (x != 0) {
        uint64_t t = g % x;
        g = x;
        x = t;
      }
    }
    if (g <= 1) return true;
    N rest = le;
    for (int32_t p = 0; p < u; p++) rest = num::add(env, rest, min_term[heap[p]]);
    return num::mod(rest, g) == 0;
  }

  // Relation \= with one summand left: its one forbidden value goes.
  int not_equal() {
    if (u == 0) return num::sign(le) == 0 ? 4 : 3;
    if (u > 1) return 2;
    int32_t j = heap[0];
    N t = num::add(env, le, min_term[j]);
    if (num::mod(t, static_cast<uint64_t>(abs_a[j])) != 0) return 3;
    int64_t v;
    // t is a multiple of a_j: the division is exact.
    if (num::div_floor(t, a[j], &v) != 0) return 3;  // no small integer: no value of the domain
    int r2 = dvar_prune_interval(env, &d[j], fd_make_small(v), fd_make_small(v));
    if (r2 < 0) return 4;
    return 3;
  }

  // Whether summand i's span exceeds the slack the relation uses.
  bool over(int32_t i) const {
    const N& s = span[i];
    switch (e) {
      case 1: return num::compare(s, le) >= 0;
      case 2: return num::compare(s, le) > 0;
      case 3: return num::compare(s, le) > 0 || num::compare(s, ge) > 0;
      case 5: return num::compare(s, ge) >= 0;
      default: return num::compare(s, ge) > 0;
    }
  }
  // The candidates: a pre-order walk of the heap from position p that
  // skips every subtree whose root does not exceed the slack.
  void collect(int32_t p, int64_t* count) {
    if (p >= u || !over(heap[p])) return;
    cand[(*count)++] = heap[p];
    collect(2 * p + 1, count);
    collect(2 * p + 2, count);
  }

  // The first summand in list order of the largest span.
  int32_t largest() const {
    int32_t best = heap[0];
    for (int32_t i = 0; i < n; i++)
      if (num::compare(span[i], span[best]) > 0 || (num::compare(span[i], span[best]) == 0 && i < best)) best = i;
    return best;
  }

  // One pruning of summand i for effective relation e: 0 failure.
  int prune_for(int32_t i) {
    int r2 = 2;
    switch (e) {
      case 1: r2 = prune_le(i, true); break;
      case 2: r2 = prune_le(i, false); break;
      case 5: r2 = prune_ge(i, true); break;
      case 6: r2 = prune_ge(i, false); break;
      case 3:
        if (num::compare(le, span[i]) < 0) r2 = prune_le(i, false);
        if (r2 != 0 && num::compare(ge, span[i]) < 0) r2 = prune_ge(i, false);
        break;
    }
    return r2;
  }

  // The whole sum at its limit fixes every unfixed summand (the 64-bit
  // variant): 3 done, 4 failed, 2 not at the limit.
  int whole_sum() {
    int ls = num::sign(le), gs = num::sign(ge);
    bool at_min = false, at_max = false;
    switch (e) {
      case 1: if (ls <= 0) return 4; at_min = num::compare(le, num::from(1)) == 0; break;
      case 2: if (ls < 0) return 4; at_min = ls == 0; break;
      case 3:
        if (ls < 0 || gs < 0) return 4;
        at_min = ls == 0;
        at_max = !at_min && gs == 0;
        break;
      case 5: if (gs <= 0) return 4; at_max = num::compare(ge, num::from(1)) == 0; break;
      case 6: if (gs < 0) return 4; at_max = gs == 0; break;
      default: return 2;
    }
    if (!at_min && !at_max) return 2;
    for (int32_t p = 0; p < u; p++) {
      int32_t i = heap[p];
      dvar* x = &d[i];
      lv_term v = at_min ? (a[i] > 0 ? x->min : x->max) : (a[i] > 0 ? x->max : x->min);
      if (dvar_fix_interval(env, x, v, v) < 0) return 4;
    }
    return 3;
  }
};

template <typename N>
void destroy_block(void* p) {
  auto* b = static_cast<block<N>*>(p);
  const lv_foreign_env* env = b->env;
  fd_rt::free_globrefs(env, b->refs);
  if (b->undo != nullptr) fd_free(env, b->undo);
  fd_free(env, b);
}

template <typename N>
int64_t daemon(lv_foreign_env* env, void* p, lv_term* cell, lv_term* propagator) {
  auto* b = static_cast<block<N>*>(p);
  typedef lin_num<N> num;
  lv_term state = fd_mutable_value(fd_arg(fd_deref(*propagator), 1));
  b->undo_to(fd_small_value(fd_deref(fd_arg(state, 5))));
  int64_t pair = (reinterpret_cast<char*>(cell) - reinterpret_cast<char*>(b->refs)) / (2 * sizeof(fd_termref_slot));
  if (pair > 0) {
    int32_t i = static_cast<int32_t>(pair - 1);
    lv_term domain = fd_attribute_domain(fd_deref(b->refs[2 + 2 * i].term));
    lv_term lo = fd_is_small(domain) ? domain : fd_deref(fd_arg(domain, 2));
    lv_term hi = fd_is_small(domain) ? domain : fd_deref(fd_arg(domain, 3));
    N nmin, nmax;
    b->terms_of(i, lo, hi, &nmin, &nmax);
    if (num::compare(nmin, b->min_term[i]) != 0 || num::compare(nmax, b->max_term[i]) != 0) {
      b->push_undo(i);
      b->set_terms(i, nmin, nmax);
    }
  }
  int copied;
  lv_term writable = fd_mutable_copy(env, propagator, &copied, 0);
  lv_term* cells = fd_struct_cells(writable);
  if (!copied) cells[7] = fd_make_small(fd_small_value(fd_deref(cells[7])) - 1);
  cells[5] = fd_make_small(b->depth());
  b->recompute_e();
  return b->needs_propagation() ? 1 : 2;
}

// The right-hand side of the state.
template <typename N>
N rhs(lv_term state) {
  if constexpr (sizeof(N) == sizeof(int64_t)) {
    return fd_small_value(fd_deref(fd_arg(state, 3)));
  } else {
    fd_int192 c;
    fd_int192_ops::from_term(fd_arg(state, 3), &c);
    return c;
  }
}

// The first call: the block from the state's list, the daemons (or for a
// fixed-count variant the propagator itself) attached: on every summand
// and on B's value.
template <typename N>
block<N>* create(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref goal, bool loop, bool fixed, bool boolean) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  int64_t n = 0;
  for (lv_term l = fd_deref(fd_arg(state, 1)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]))
    if (fd_small_value(fd_deref(fd_arg(fd_deref(fd_list_cells(l)[0]), 1))) != 0) n++;
  size_t size = sizeof(block<N>) + static_cast<size_t>(n) * (sizeof(dvar) + 3 * sizeof(N) + 2 * sizeof(int64_t) +
                                                             3 * sizeof(int32_t));
  auto* b = static_cast<block<N>*>(fd_new_handle_block(env, size, fd_arg(state, 6), 0));
  *b = block<N>{};
  b->destroy = destroy_block<N>;
  b->daemon = fixed ? nullptr : daemon<N>;
  b->env = env;
  b->n = static_cast<int32_t>(n);
  char* arrays = reinterpret_cast<char*>(b + 1);
  b->d = reinterpret_cast<dvar*>(arrays);
  b->min_term = reinterpret_cast<N*>(b->d + n);
  b->max_term = b->min_term + n;
  b->span = b->max_term + n;
  b->a = reinterpret_cast<int64_t*>(b->span + n);
  b->abs_a = b->a + n;
  b->cand = reinterpret_cast<int32_t*>(b->abs_a + n);
  b->heap = b->cand + n;
  b->pos = b->heap + n;
  b->loop = loop;
  b->fixed = fixed;
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * n + 2));

  state = fd_deref(fd_termref(env, new_state));
  b->r = static_cast<int32_t>(fd_small_value(fd_deref(fd_arg(state, 2))) & 7);
  lv_term pair = fd_deref(fd_arg(state, 4));
  b->refs[0].term = fd_deref(fd_arg(pair, 2));
  b->refs[1].term = fd_deref(fd_arg(pair, 1));
  int64_t i = 0;
  for (lv_term l = fd_deref(fd_arg(state, 1)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1])) {
    lv_term t = fd_deref(fd_list_cells(l)[0]);
    int64_t a = fd_small_value(fd_deref(fd_arg(t, 1)));
    if (a == 0) continue;  // a summand that is always 0
    b->a[i] = a;
    b->abs_a[i] = a < 0 ? -a : a;
    b->refs[2 + 2 * i].term = fd_deref(fd_arg(t, 3));
    b->refs[3 + 2 * i].term = fd_deref(fd_arg(t, 2));
    i++;
  }
  fd_struct_cells(state)[1] = FD_NIL;
  for (i = 0; i < n; i++) dvar_init(env, &b->d[i], b->attr_ref(i), b->var_ref(i));
  b->recompute(rhs<N>(state));

  const fd_solver_state* st = fd_state(env);
  lv_term val = st->functors[FD_F_VAL_1];
  if (fixed) {
    dvar_attach_daemon_simple_bounds(env, &b->b, goal, val, 0);
    for (i = 0; i < n; i++) {
      // The event is chosen once, from the relation at this moment and
      // the coefficient's sign.
      bool up = b->a[i] >= 0;
      lv_term event = st->functors[FD_F_MINMAX_1];
      if (boolean || b->e == LIN_NE) event = val;
      else if (b->e == LIN_LT || b->e == LIN_LE) event = st->functors[up ? FD_F_MIN_1 : FD_F_MAX_1];
      else if (b->e == LIN_GT || b->e == LIN_GE) event = st->functors[up ? FD_F_MAX_1 : FD_F_MIN_1];
      dvar_attach_daemon_simple(env, &b->d[i], goal, event, 0);
    }
  } else {
    dvar_attach_daemon_bounds(env, &b->b, b, goal, val, 0);
    for (i = 0; i < n; i++) dvar_attach_daemon(env, &b->d[i], b, goal, st->functors[FD_F_MINMAX_1], 0);
  }
  return b;
}

template <typename N>
int run(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref actions, lv_term_ref goal, bool loop, bool fixed,
        bool boolean) {
  typedef lin_num<N> num;
  lv_term state = fd_deref(fd_termref(env, new_state));
  lv_term handle = fd_deref(fd_arg(state, 6));
  block<N>* b;
  if (fd_is_ref(handle)) {
    b = create<N>(env, new_state, goal, loop, fixed, boolean);
  } else {
    b = static_cast<block<N>*>(fd_handle_pointer(handle));
    if (fixed) {
      b->recompute(rhs<N>(state));
    } else {
      b->undo_to(fd_small_value(fd_deref(fd_arg(state, 5))));
      b->recompute_e();
    }
  }
  fd_solver_state* st = fd_state(env);
  int status = 2;
  // The records to export: those unfixed at the start (every one for a
  // fixed-count variant).
  int32_t u0 = b->fixed ? b->n : b->u;
  if (b->e >= 7) {
    // B open: the slacks may decide it.
    int v = lin_decide(b->e, num::sign(b->le), num::sign(b->ge));
    if (v >= 0) {
      if (!dvar_fix_value_and_export(env, &b->b, v, actions, 0)) status = 4;
      else status = 3;
    }
    u0 = 0;  // nothing to export
  } else {
    if (b->saved_overflow != FD_OVERFLOW_NONE) st->pending_overflow = b->saved_overflow;
    for (int32_t p = 0; p < b->u; p++) dvar_refresh(env, &b->d[b->heap[p]]);
    if (b->e == LIN_NE) {
      status = loop && num::sign(b->le) == 0 && num::sign(b->ge) == 0 ? 4 : b->not_equal();
    } else if (b->u > 0) {
      if (loop) {
        status = b->whole_sum();
        if (status == 2) {
          int64_t budget = 2 * static_cast<int64_t>(b->u);
          bool spent = true;
          for (; budget > 0; budget--) {
            if (b->u == 0) {
              spent = false;
              break;
            }
            int32_t i = b->fixed ? b->largest() : b->heap[0];
            if (!b->over(i)) {
              spent = false;
              break;
            }
            if (b->e == LIN_EQ && b->gcd_pending && !b->gcd_check()) {
              status = 4;
              break;
            }
            if (b->prune_for(i) == 0) {
              status = 4;
              break;
            }
          }
          if (status == 2) {
            status = lin_status(b->e, num::sign(b->le), num::sign(b->ge), b->u);
            if (status == 2 && spent && b->needs_propagation()) fd_propagator_clear_marks(env, goal);
          }
        }
      } else {
        int64_t count = 0;
        if (b->fixed) {
          // Summands in list order, the fixed ones skipped.
          for (int32_t i = 0; i < b->n; i++)
            if (num::sign(b->span[i]) != 0 && b->over(i)) b->cand[count++] = i;
        } else {
          b->collect(0, &count);
        }
        for (int64_t k = 0; k < count && status != 4; k++) {
          if (b->e == LIN_EQ && b->gcd_pending && !b->gcd_check()) status = 4;
          else if (b->prune_for(b->cand[k]) == 0) status = 4;
        }
      }
    }
    if (status == 2 && b->e != LIN_NE) status = lin_status(b->e, num::sign(b->le), num::sign(b->ge), b->u);
    if (status == 2 && !loop && b->needs_propagation()) fd_propagator_clear_marks(env, goal);
  }
  if (status != 4) dvar_export_changed(env, b->d, b->heap, u0, actions);
  if (!b->fixed) {
    state = fd_deref(fd_termref(env, new_state));
    fd_struct_cells(state)[5] = fd_make_small(b->depth());
  }
  return status;
}

}  // namespace

int lin_run(lv_foreign_env* env, lv_term_ref, lv_term_ref new_state, lv_term_ref actions, lv_term_ref goal,
            lin_variant variant, int) {
  switch (variant) {
    case LIN_GENERIC: return run<fd_int192>(env, new_state, actions, goal, false, false, false);
    case LIN_M_K04: return run<fd_int192>(env, new_state, actions, goal, false, true, false);
    case LIN_K15: return run<int64_t>(env, new_state, actions, goal, true, false, false);
    case LIN_M_K15: return run<int64_t>(env, new_state, actions, goal, true, true, false);
    // The 0/1 variants: the 64-bit machinery, whose heap on spans (|a_i|
    // for an open 0/1 variable) gives the summand of largest span first and
    // whose whole-sum rule fixes a sum at its limit at once.
    case LIN_K23:
    case LIN_K67: return run<int64_t>(env, new_state, actions, goal, true, false, true);
    case LIN_M_K23:
    case LIN_M_K67: return run<int64_t>(env, new_state, actions, goal, true, true, true);
  }
  return 2;
}
