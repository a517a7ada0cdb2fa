// Reading variables into dvars, and the questions a dvar answers.
#include "kernel/attributes.h"
#include "kernel/dvar.h"

namespace {

// Reads a domain (an integer or dom(Set, Min, Max, Size)) into the record's
// min, max, set and flags; returns the size.
lv_term read_domain(dvar* d, lv_term domain) {
  if (!fd_is_struct(domain)) {
    d->min = d->max = domain;
    d->set = 0;
    d->flags = DVAR_FIXED | DVAR_INTERVAL;
    d->ends_at_max = 0;
    return fd_make_small(1);
  }
  const lv_term* dom = fd_struct_cells(domain);
  d->set = fd_deref(dom[1]);
  d->min = fd_deref(dom[2]);
  d->max = fd_deref(dom[3]);
  bool one = d->set != FD_NIL && fdset_rest(d->set) == FD_NIL;
  d->flags = one ? DVAR_INTERVAL | DVAR_SET_CURRENT : DVAR_SET_CURRENT;
  if (d->min == d->max) d->flags |= DVAR_FIXED;
  d->ends_at_max = 1;
  return fd_deref(dom[4]);
}

int64_t plain_of(lv_term b) {
  if (b == FD_INF) return DVAR_PLAIN_INF;
  if (b == FD_SUP) return DVAR_PLAIN_SUP;
  return fd_small_value(b);
}
// A plain integer as a key (the infinities, and anything past the
// small-integer range, saturate).
int64_t key_of_plain(int64_t v) {
  if (v < FD_SMALL_MIN) return FD_KEY_INF;
  if (v > FD_SMALL_MAX) return FD_KEY_SUP;
  return v;
}

// The intervals of the set in [min, max], clipped: calls f(lo, hi) on keys.
template <typename F>
void for_each_clipped(const dvar* d, F f) {
  int64_t lo = fd_bound_key(d->min), hi = fd_bound_key(d->max);
  if (d->flags & DVAR_INTERVAL) {
    f(lo, hi);
    return;
  }
  for (fdset s = d->set; s != FD_NIL; s = fdset_rest(s)) {
    int64_t a = fd_bound_key(fdset_first_min(s)), b = fd_bound_key(fdset_first_max(s));
    if (b < lo) continue;
    if (a > hi) break;
    f(a < lo ? lo : a, b > hi ? hi : b);
  }
}

}  // namespace

lv_term dvar_attribute(const dvar* d) { return fd_deref(d->attribute); }
lv_term dvar_variable(const dvar* d) { return fd_deref(d->variable); }

void dvar_init(const lv_foreign_env* env, dvar* d, lv_term attribute_ref, lv_term variable_ref) {
  d->attribute = attribute_ref;
  d->variable = variable_ref;
  dvar_refresh(env, d);
}

void dvar_refresh(const lv_foreign_env*, dvar* d) {
  d->size = read_domain(d, fd_attribute_domain(dvar_attribute(d)));
}

void dvar_init_full(const lv_foreign_env*, dvar* d, lv_term attribute, lv_term variable) {
  d->attribute = attribute;
  d->variable = variable;
  d->size = 0;
  read_domain(d, fd_attribute_domain(fd_deref(attribute)));
}

void dvar_init_interval(dvar* d, lv_term min, lv_term max) {
  d->min = min;
  d->max = max;
  d->set = 0;
  d->size = 0;  // never a current size: such a record exports through the checking routines
  d->attribute = d->variable = 0;
  d->flags = min == max ? DVAR_FIXED | DVAR_INTERVAL : DVAR_INTERVAL;
  d->ends_at_max = 0;
}

void dvar_init_bounds(dvar_bounds* b, lv_term attribute_ref, lv_term variable_ref) {
  b->attribute = attribute_ref;
  b->variable = variable_ref;
  lv_term domain = fd_attribute_domain(fd_deref(attribute_ref));
  if (fd_is_struct(domain)) {
    b->min = fd_deref(fd_struct_cells(domain)[2]);
    b->max = fd_deref(fd_struct_cells(domain)[3]);
  } else {
    b->min = b->max = domain;
  }
}

void dvar_copy(const lv_foreign_env* env, dvar* to, dvar* from) {
  to->min = from->min;
  to->max = from->max;
  to->set = dvar_get_set(env, from);
  to->flags = (from->flags & (DVAR_FIXED | DVAR_INTERVAL)) | DVAR_SET_CURRENT;
  to->ends_at_max = 1;
}

fdset dvar_get_set(const lv_foreign_env* env, dvar* d) {
  if ((d->flags & DVAR_SET_CURRENT) == 0) {
    // A set that ends at max only loses what lies below min: its rest is
    // shared as it is.
    d->set = (d->flags & DVAR_INTERVAL) ? fdset_interval(env, d->min, d->max)
             : d->ends_at_max          ? fdset_restrict_below(env, d->set, d->min)
                                       : fdset_restrict(env, d->set, d->min, d->max);
    d->flags |= DVAR_SET_CURRENT;
    d->ends_at_max = 1;
  }
  return d->set;
}

int64_t dvar_size(const dvar* d) {
  int64_t n = 0;
  for_each_clipped(d, [&](int64_t lo, int64_t hi) { n += hi - lo + 1; });
  return n;
}

int64_t dvar_interval_count(const dvar* d) {
  int64_t n = 0;
  for_each_clipped(d, [&](int64_t, int64_t) { n++; });
  return n;
}

int dvar_contains(const dvar* d, lv_term v) {
  if (v == d->min || v == d->max) return 1;
  if (fd_bound_compare(v, d->min) < 0 || fd_bound_compare(v, d->max) > 0) return 0;
  return (d->flags & DVAR_INTERVAL) || fdset_member(v, d->set);
}

int dvar_intersects_interval(const lv_foreign_env* env, dvar* d, lv_term a, lv_term b) {
  if (fd_bound_compare(a, d->max) > 0 || fd_bound_compare(b, d->min) < 0 || fd_bound_compare(a, b) > 0) return 0;
  if (d->flags & DVAR_INTERVAL) return 1;
  return fdset_intersects_interval(dvar_get_set(env, d), a, b);
}

int dvar_intersects_set(const lv_foreign_env* env, dvar* d, fdset s) {
  if (s == FD_NIL || fd_bound_compare(fdset_min(s), d->max) > 0 || fd_bound_compare(fdset_max(s), d->min) < 0)
    return 0;
  return fdset_intersects(dvar_get_set(env, d), s);
}

int dvar_compare_set(const lv_foreign_env* env, dvar* d, fdset s) { return fdset_compare(dvar_get_set(env, d), s); }

int dvar_same_var(const dvar* a, const dvar* b) { return dvar_variable(a) == dvar_variable(b); }
int dvar_same_var_bounds(const dvar_bounds* a, const dvar_bounds* b) {
  return fd_deref(a->variable) == fd_deref(b->variable);
}

lv_term dvar_next_value_tagged(const dvar* d, lv_term v) {
  if (fd_bound_compare(v, d->min) < 0) return d->min;
  if (fd_bound_compare(v, d->max) >= 0) return FD_SUP;
  lv_term next = (d->flags & DVAR_INTERVAL) ? fd_bound_succ(v) : fdset_next_value(d->set, v);
  return fd_bound_compare(next, d->max) > 0 ? FD_SUP : next;
}

lv_term dvar_prev_value_tagged(const dvar* d, lv_term v) {
  if (fd_bound_compare(v, d->max) > 0) return d->max;
  if (fd_bound_compare(v, d->min) <= 0) return FD_INF;
  lv_term prev = (d->flags & DVAR_INTERVAL) ? fd_bound_pred(v) : fdset_prev_value(d->set, v);
  return fd_bound_compare(prev, d->min) < 0 ? FD_INF : prev;
}

int64_t dvar_next_value(const dvar* d, int64_t v) {
  if (v == DVAR_PLAIN_SUP) return DVAR_PLAIN_SUP;
  return plain_of(dvar_next_value_tagged(d, fd_key_bound(key_of_plain(v))));
}

int64_t dvar_prev_value(const dvar* d, int64_t v) {
  if (v == DVAR_PLAIN_INF) return DVAR_PLAIN_INF;
  return plain_of(dvar_prev_value_tagged(d, fd_key_bound(key_of_plain(v))));
}

// Iterators.

namespace {

// Moves to the interval after the current one, or ends.
void iter_next_interval(dvar_iter* it) {
  if (it->rest == 0) {
    it->rest = FD_NIL;
    return;
  }
  fdset next = fdset_rest(it->rest);
  if (next == FD_NIL || fd_bound_compare(fdset_first_min(next), it->max) > 0) {
    it->rest = FD_NIL;
    return;
  }
  it->rest = next;
  it->value = fdset_first_min(next);
}

lv_term interval_end(const dvar_iter* it) {
  if (it->rest == 0) return it->max;
  lv_term hi = fdset_first_max(it->rest);
  return fd_bound_compare(hi, it->max) > 0 ? it->max : hi;
}

}  // namespace

void dvar_iter_init(const dvar* d, dvar_iter* it) {
  it->max = d->max;
  it->value = d->min;
  if (d->flags & DVAR_INTERVAL) {
    it->rest = 0;
    return;
  }
  fdset s = d->set;
  while (s != FD_NIL && fd_bound_compare(fdset_first_max(s), d->min) < 0) s = fdset_rest(s);
  if (s == FD_NIL || fd_bound_compare(fdset_first_min(s), d->max) > 0) {
    it->rest = FD_NIL;
    return;
  }
  if (fd_bound_compare(fdset_first_min(s), d->min) > 0) it->value = fdset_first_min(s);
  it->rest = s;
}

int64_t dvar_iter_next(dvar_iter* it) {
  lv_term v = it->value;
  if (v == it->max) it->rest = FD_NIL;
  else if (v == interval_end(it)) iter_next_interval(it);
  else it->value = fd_bound_succ(v);
  return plain_of(v);
}

void dvar_iter_next_interval_tagged(dvar_iter* it, lv_term* lo, lv_term* hi) {
  *lo = it->value;
  *hi = interval_end(it);
  if (*hi == it->max) it->rest = FD_NIL;
  else iter_next_interval(it);
}

void dvar_iter_next_interval(dvar_iter* it, int64_t* lo, int64_t* hi) {
  lv_term a, b;
  dvar_iter_next_interval_tagged(it, &a, &b);
  *lo = plain_of(a);
  *hi = plain_of(b);
}

void dvar_iter_skip_past(dvar_iter* it, lv_term v) {
  if (it->rest == FD_NIL) return;
  if (v == FD_SUP || fd_bound_compare(v, it->max) >= 0) {
    it->rest = FD_NIL;
    return;
  }
  if (fd_bound_compare(it->value, v) > 0) return;
  while (fd_bound_compare(interval_end(it), v) <= 0) {
    iter_next_interval(it);
    if (it->rest == FD_NIL) return;
  }
  if (fd_bound_compare(it->value, v) <= 0) it->value = fd_bound_succ(v);
}
