// The foreign predicates that work on sets directly. A set argument must be
// a proper set: anything else raises a type error before any of its cells
// is read as a set's. Results are computed in the scratch region, moved off
// the heap and copied onto it (fdset_copy_checked), so that the heap may
// grow or be collected meanwhile.
#include "kernel/arguments.h"
#include "kernel/errors.h"
#include "kernel/fdset.h"
#include "kernel/foreign_predicates.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

lv_term term_of(lv_foreign_env* env, fd_t t) { return fd_deref(fd_termref(env, t)); }

// Unifies argument t with a heap copy of the set, failing the predicate
// when that does not unify.
void unify_set(lv_foreign_env* env, fd_t t, fdset set) {
  set = fdset_copy_checked(env, fdset_copy_off_heap(env, set), 0, 0);
  if (!fd_rt::unify_terms(env, fd_termref(env, t), set)) fd_rt::fail(env);
}

enum set_operation { SUBTRACT, INTERSECTION, UNION };

void binary_operation(lv_foreign_env* env, const call_site& site, set_operation op) {
  fd_scratch_reset(env);
  fdset a, b;
  if (!set_argument(env, site, 1, &a) || !set_argument(env, site, 2, &b)) return;
  fdset r = op == SUBTRACT ? fdset_subtract(env, a, b)
            : op == INTERSECTION ? fdset_intersection(env, a, b)
                                 : fdset_union(env, a, b);
  unify_set(env, site.args[2], r);
}

// A bound argument of $fd_range and $fd_cons: a small integer, or the one
// infinity allowed on that side.
bool bound_argument(lv_term t, lv_term infinity) { return fd_is_small(t) || t == infinity; }

}  // namespace

int64_t fd_median(lv_foreign_env* env, fd_t set_ref) {
  call_site site{"$fd_median", 2, {set_ref, -1}};
  fd_scratch_reset(env);
  fdset s;
  int kind;
  if (!set_argument(env, site, 1, &s, &kind)) return 0;
  if (s == FD_NIL || kind != FDSET_FINITE) {
    fd_rt::fail(env);
    return 0;
  }
  return fdset_median(s);
}

int64_t fd_middle(lv_foreign_env* env, fd_t set_ref) {
  call_site site{"$fd_middle", 2, {set_ref, -1}};
  fd_scratch_reset(env);
  fdset s;
  int kind;
  if (!set_argument(env, site, 1, &s, &kind)) return 0;
  if (s == FD_NIL || kind != FDSET_FINITE) {
    fd_rt::fail(env);
    return 0;
  }
  return fdset_middle(s);
}

int64_t fd_size(lv_foreign_env* env, fd_t set_ref, fd_t size_ref) {
  bool plain;
  int kind = fdset_check(fd_termref(env, set_ref), &plain);
  if (kind == FDSET_INVALID) return 0;
  lv_term size = FD_SUP;
  if (kind == FDSET_FINITE) {
    fd_scratch_reset(env);
    fdset s = plain ? term_of(env, set_ref) : fdset_plain(env, fd_termref(env, set_ref));
    int64_t n = fdset_size(s);
    size = fd_fits_small(n) ? fd_make_small(n) : fd_rt::make_integer(env, n);
  }
  if (!fd_rt::unify_terms(env, fd_termref(env, size_ref), size)) fd_rt::fail(env);
  return 1;
}

int64_t fd_range(lv_foreign_env* env, fd_t min_ref, fd_t max_ref, fd_t set_ref) {
  lv_term min = term_of(env, min_ref), max = term_of(env, max_ref);
  if (!bound_argument(min, FD_INF) || !bound_argument(max, FD_SUP)) return 0;
  lv_term set = FD_NIL;
  if (fd_bound_compare(min, max) <= 0) {
    fd_heap_room(env, 4, 0);
    fd_engine* w = fd_engine_of(env);
    lv_term* h = w->H;
    h[0] = fd_make_list(h + 2);
    h[1] = FD_NIL;
    h[2] = min;
    h[3] = max;
    w->H = h + 4;
    set = fd_make_list(h);
  }
  if (!fd_rt::unify_terms(env, fd_termref(env, set_ref), set)) fd_rt::fail(env);
  return 1;
}

int64_t fd_cons(lv_foreign_env* env, fd_t min_ref, fd_t max_ref, fd_t rest_ref, fd_t set_ref) {
  lv_term min = term_of(env, min_ref), max = term_of(env, max_ref), rest = term_of(env, rest_ref);
  if (!bound_argument(min, FD_INF) || !bound_argument(max, FD_SUP) || fd_bound_compare(min, max) > 0) return 0;
  if (rest != FD_NIL) {
    // The first interval of Rest must start above Max + 1; nothing can
    // follow an interval that ends in `sup`.
    if (!fd_is_list(rest) || max == FD_SUP) return 0;
    lv_term interval = fd_deref(fd_list_cells(rest)[0]);
    if (!fd_is_list(interval)) return 0;
    lv_term next_min = fd_deref(fd_list_cells(interval)[0]);
    if (!fd_is_small(next_min) || fd_small_value(next_min) <= fd_small_value(max) + 1) return 0;
  }
  fd_heap_room(env, 4, 0);
  fd_engine* w = fd_engine_of(env);
  lv_term* h = w->H;
  h[0] = fd_make_list(h + 2);
  h[1] = term_of(env, rest_ref);  // read again: making room may move the heap
  h[2] = term_of(env, min_ref);
  h[3] = term_of(env, max_ref);
  w->H = h + 4;
  if (!fd_rt::unify_terms(env, fd_termref(env, set_ref), fd_make_list(h))) fd_rt::fail(env);
  return 1;
}

void fd_dom_complement(lv_foreign_env* env, fd_t set_ref, fd_t result_ref) {
  call_site site{"$fd_dom_complement", 2, {set_ref, result_ref}};
  fd_scratch_reset(env);
  fdset s;
  if (!set_argument(env, site, 1, &s)) return;
  fd_solver_state* state = fd_state(env);
  state->pending_overflow = FD_OVERFLOW_NONE;
  fdset c = fdset_copy_checked(env, fdset_copy_off_heap(env, fdset_complement_op(env, s)), 3, 0);
  if (state->pending_overflow != FD_OVERFLOW_NONE) {
    // The goal fdset_complement(_, _) for the report, in the spare words.
    fd_engine* w = fd_engine_of(env);
    lv_term* h = w->H;
    h[0] = fd_functor(fd_rt::atom(env, "fdset_complement"), 2);
    h[1] = fd_make_ref(&h[1]);
    h[2] = fd_make_ref(&h[2]);
    w->H = h + 3;
    fd_report_overflow(env, fd_make_struct(h));
    return;
  }
  if (!fd_rt::unify_terms(env, fd_termref(env, result_ref), c)) fd_rt::fail(env);
}

void fd_dom_subtract(lv_foreign_env* env, fd_t a, fd_t b, fd_t r) {
  binary_operation(env, {"$fd_dom_subtract", 3, {a, b, r}}, SUBTRACT);
}

void fd_dom_intersection(lv_foreign_env* env, fd_t a, fd_t b, fd_t r) {
  binary_operation(env, {"$fd_dom_intersection", 3, {a, b, r}}, INTERSECTION);
}

void fd_dom_union(lv_foreign_env* env, fd_t a, fd_t b, fd_t r) {
  binary_operation(env, {"$fd_dom_union", 3, {a, b, r}}, UNION);
}

void fd_dom_contains(lv_foreign_env* env, fd_t set_ref, fd_t value_ref) {
  call_site site{"$fd_dom_contains", 2, {set_ref, value_ref}};
  fd_scratch_reset(env);
  fdset s;
  if (!set_argument(env, site, 1, &s)) return;
  lv_term v = term_of(env, value_ref);
  if (!fd_is_small(v) || !fdset_member(v, s)) fd_rt::fail(env);
}

void fd_dom_insert(lv_foreign_env* env, fd_t set_ref, fd_t value_ref, fd_t result_ref) {
  call_site site{"$fd_dom_insert", 3, {set_ref, value_ref, result_ref}};
  fd_scratch_reset(env);
  fdset s;
  lv_term v;
  if (!set_argument(env, site, 1, &s) || !integer_argument(env, site, 2, &v)) return;
  unify_set(env, result_ref, fdset_member(v, s) ? s : fdset_union_interval(env, s, v, v));
}

void fd_dom_delete(lv_foreign_env* env, fd_t set_ref, fd_t value_ref, fd_t result_ref) {
  call_site site{"$fd_dom_delete", 3, {set_ref, value_ref, result_ref}};
  fd_scratch_reset(env);
  fdset s;
  lv_term v;
  if (!set_argument(env, site, 1, &s) || !integer_argument(env, site, 2, &v)) return;
  unify_set(env, result_ref, fdset_delete_value(env, s, v));
}

int64_t fd_dom_intersect(lv_foreign_env* env, fd_t a_ref, fd_t b_ref) {
  call_site site{"$fd_dom_intersect", 3, {a_ref, b_ref, -1}};
  fd_scratch_reset(env);
  fdset a, b;
  if (!set_argument(env, site, 1, &a) || !set_argument(env, site, 2, &b)) return 0;
  switch (fdset_compare(a, b)) {
    case FDSET_EQUAL:
    case FDSET_INSIDE:
      return 2;
    case FDSET_DISJOINT:
      return 1;
    default:
      return 3;
  }
}
