// Tells: a variable's domain narrowed (stored in its attribute's domain
// mutable, value-trailed) and its suspensions woken; coreferenced variables
// get the shifted domain and share the value through queue 0.
#include "kernel/attributes.h"
#include "kernel/engine.h"
#include "kernel/fd_assert.h"
#include "kernel/fdset.h"
#include "kernel/propagation.h"
#include "kernel/roots.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

// Heap words for a dom/4 term with its set of n intervals.
int64_t domain_words(int64_t intervals) { return 5 + 4 * intervals; }

int64_t interval_count(lv_term domain) {
  if (!fd_is_struct(domain)) return 0;
  int64_t n = 0;
  for (fdset s = fd_deref(fd_arg(domain, 1)); s != FD_NIL; s = fdset_rest(s)) n++;
  return n;
}

// Makes room for words heap cells with attribute and var kept valid.
void room(const lv_foreign_env* env, int64_t words, lv_term* attribute, lv_term* var, int xreg) {
  fd_engine* w = fd_engine_of(env);
  if (w->heap_hard_limit - w->H >= words + FD_HEAP_RESERVE_CELLS) return;
  w->X[xreg] = *attribute;
  w->X[xreg + 1] = *var;
  fd_rt::call_overflow(env, words + FD_HEAP_RESERVE_CELLS, xreg + 2);
  *attribute = fd_deref(w->X[xreg]);
  *var = fd_deref(w->X[xreg + 1]);
}

lv_term size_of(fdset s) { return fdset_size_fits(s) ? fd_make_small(fdset_size(s)) : FD_SUP; }

// dom(Set, Min, Max, Size) on the heap for a set already on the heap.
lv_term make_domain(fd_engine* w, fdset set) {
  lv_term* d = w->H;
  w->H += 5;
  d[0] = FD_FUNCTOR_DOM_4;
  d[1] = set;
  d[2] = fdset_min(set);
  d[3] = fdset_max(set);
  d[4] = size_of(set);
  return fd_make_struct(d);
}

void store_domain(const lv_foreign_env* env, lv_term attribute, lv_term domain) {
  fd_trail_assign(env, domain, fd_struct_cells(attribute)[FD_ATTR_DOMAIN]);
}

// The size of the interval [lo, hi] (keys), or -1 when it is infinite.
int64_t interval_size(int64_t lo, int64_t hi) {
  if (lo == FD_KEY_INF || hi == FD_KEY_SUP) return -1;
  return hi - lo + 1;
}

// Adds an interval's size to *size; an infinite one makes it -1 for good.
void add_size(int64_t* size, int64_t lo, int64_t hi) {
  int64_t n = interval_size(lo, hi);
  if (*size < 0 || n < 0) *size = -1;
  else *size += n;
}

lv_term size_term(int64_t size) { return size >= 0 && size <= FD_SMALL_MAX ? fd_make_small(size) : FD_SUP; }

// The variable's domain becomes the set. Only the cells of the set that lie
// off the heap are copied onto it; the rest of the list on the heap (a tail
// shared with the present domain, as the set operations leave it) is linked
// in as it is, so that a tell costs what changed, not the domain's length.
// The size and the maximum follow from the present domain when the set
// shares its tail: the present size less that of the cells before the
// shared tail, plus that of the copied ones.
void tell_set(const lv_foreign_env* env, lv_term attribute, lv_term var, fdset set, int xreg) {
  LV_ASSERT(set != FD_NIL);
  if (fdset_singleton(set)) {
    fd_tell_value(env, attribute, var, fdset_min(set), xreg);
    return;
  }
  int64_t prefix;
  lv_term* anchor = fdset_detach_prefix(env, &set, &prefix);
  fd_pin(env, anchor);
  room(env, 4 * prefix + 5, &attribute, &var, xreg);
  fd_unpin(env, anchor);

  fd_engine* w = fd_engine_of(env);
  lv_term* h = w->H;
  fdset head = FD_NIL;
  lv_term* link = &head;
  int64_t copied = 0;
  int32_t overflow = FD_OVERFLOW_NONE;
  lv_term last_max = 0;
  fdset t = set;
  for (int64_t i = 0; i < prefix; i++, t = fdset_rest(t), h += 4) {
    const lv_term* iv = fdset_interval_cell(t);
    h[0] = fd_make_list(h + 2);
    h[2] = iv[0];
    h[3] = iv[1];
    *link = fd_make_list(h);
    link = &h[1];
    add_size(&copied, fd_bound_key(iv[0]), fd_bound_key(iv[1]));
    if (iv[0] == FD_SUP) overflow = FD_OVERFLOW_SUP;
    else if (iv[1] == FD_INF) overflow = FD_OVERFLOW_INF;
    last_max = iv[1];
  }
  *link = t;  // the shared rest, or []
  w->H = h;
  if (overflow != FD_OVERFLOW_NONE) fd_set_overflow(env, overflow);

  lv_term old = fd_attribute_domain(attribute);
  lv_term min = fdset_first_min(head), max = 0, size = FD_SUP;
  if (t == FD_NIL) {
    max = last_max;
    size = size_term(copied);
  } else if (fd_is_struct(old) && fd_is_small(fd_deref(fd_arg(old, 4))) && copied >= 0) {
    // The cells of the present domain before the shared rest.
    int64_t before = 0;
    fdset o = fd_deref(fd_arg(old, 1));
    for (; o != FD_NIL && o != t; o = fdset_rest(o)) add_size(&before, fd_bound_key(fdset_first_min(o)),
                                                              fd_bound_key(fdset_first_max(o)));
    if (o == t && before >= 0) {
      max = fd_deref(fd_arg(old, 3));
      size = size_term(fd_small_value(fd_deref(fd_arg(old, 4))) - before + copied);
    }
  }
  if (max == 0) {  // no rest shared with the present domain: the whole set counts
    max = fdset_max(head);
    size = size_of(head);
  }
  lv_term* d = w->H;
  w->H += 5;
  d[0] = FD_FUNCTOR_DOM_4;
  d[1] = head;
  d[2] = min;
  d[3] = max;
  d[4] = size;
  int64_t event = FD_EVENT_DOM;
  if (fd_is_struct(old)) {
    if (fd_deref(fd_arg(old, 2)) != min) event |= FD_EVENT_MIN;
    if (fd_deref(fd_arg(old, 3)) != max) event |= FD_EVENT_MAX;
  }
  store_domain(env, attribute, fd_make_struct(d));
  fd_wake(env, attribute, var, event, xreg);
}

}  // namespace

int64_t fd_value_event(lv_term old, lv_term value) {
  lv_term lo = fd_is_struct(old) ? fd_deref(fd_arg(old, 2)) : old;
  lv_term hi = fd_is_struct(old) ? fd_deref(fd_arg(old, 3)) : old;
  int64_t event = FD_EVENT_VAL | FD_EVENT_DOM | FD_EVENT_FIXED;
  if (value != lo) event |= FD_EVENT_MIN;
  if (value != hi) event |= FD_EVENT_MAX;
  return event;
}

void fd_tell_value(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term value, int xreg) {
  if (!fd_is_small(value)) {
    fd_set_overflow(env, value == FD_SUP ? FD_OVERFLOW_SUP : FD_OVERFLOW_INF);
    return;
  }
  int64_t event = fd_value_event(fd_attribute_domain(attribute), value);
  store_domain(env, attribute, value);
  fd_wake(env, attribute, var, event, xreg);
}

void fd_tell_interval(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term min, lv_term max,
                      int64_t event, int xreg) {
  // One value left: the variable is fixed, so it is told as a value.
  if (min == max) {
    fd_tell_value(env, attribute, var, min, xreg);
    return;
  }
  room(env, domain_words(1), &attribute, &var, xreg);
  fd_engine* w = fd_engine_of(env);
  lv_term* h = w->H;
  w->H += 9;
  h[0] = fd_make_list(h + 2);
  h[1] = FD_NIL;
  h[2] = min;
  h[3] = max;
  h[4] = FD_FUNCTOR_DOM_4;
  h[5] = fd_make_list(h);
  h[6] = min;
  h[7] = max;
  h[8] = size_of(fd_make_list(h));
  if (min == FD_SUP || max == FD_INF) fd_set_overflow(env, min == FD_SUP ? FD_OVERFLOW_SUP : FD_OVERFLOW_INF);
  store_domain(env, attribute, fd_make_struct(h + 4));
  fd_wake(env, attribute, var, event, xreg);
}

void fd_tell_fdset(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term set, int xreg) {
  tell_set(env, attribute, var, set, xreg);
}

void fd_tell_fdset_globalize(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term set, int xreg) {
  tell_set(env, attribute, var, set, xreg);
}

lv_term fd_coref_shift(const lv_foreign_env* env, lv_term domain, int64_t shift) {
  fd_engine* w = fd_engine_of(env);
  lv_term c = fd_key_bound(shift);
  if (!fd_is_struct(domain)) {
    lv_term v = fd_bound_add(domain, c);
    if (!fd_is_small(v)) fd_set_overflow(env, v == FD_SUP ? FD_OVERFLOW_SUP : FD_OVERFLOW_INF);
    return v;
  }
  fdset set = fdset_add_constant(env, fd_deref(fd_arg(domain, 1)), c);
  fdset copy = fdset_copy_checked(env, set, 5, 0);
  if (fdset_min(copy) == FD_SUP) fd_set_overflow(env, FD_OVERFLOW_SUP);
  if (fdset_max(copy) == FD_INF) fd_set_overflow(env, FD_OVERFLOW_INF);
  return make_domain(w, copy);
}

void fd_wake(const lv_foreign_env* env, lv_term attribute, lv_term var, int64_t event, int xreg) {
  lv_term domain = fd_attribute_domain(attribute);
  lv_term value = fd_is_small(domain) ? domain : FD_NIL;
  lv_term list = fd_mutable_value(fd_struct_cells(attribute)[FD_ATTR_COREFERENCES]);
  // Partners: every entry Key-Attribute of the list but this one.
  int64_t partners = 0, c = 0;
  for (lv_term t = list; fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
    lv_term entry = fd_deref(fd_list_cells(t)[0]);
    if (fd_deref(fd_arg(entry, 2)) == attribute) c = fd_small_value(fd_deref(fd_arg(entry, 1)));
    else partners++;
  }
  fd_engine* w = fd_engine_of(env);
  if (partners == 0) {
    w->X[xreg] = attribute;
    int64_t e = fd_prune_and_wake(env, fd_deref(var), event, value, xreg + 1);
    attribute = fd_deref(w->X[xreg]);
    if (e > 0) fd_enqueue_list(env, e, attribute, value);
    return;
  }
  // Room for every partner's shifted domain at once, so that nothing moves
  // while the list is walked.
  int64_t words = partners * (domain_words(interval_count(domain)) + 2);
  if (w->heap_hard_limit - w->H < words + FD_HEAP_RESERVE_CELLS) {
    w->X[xreg] = attribute;
    fd_rt::call_overflow(env, words + FD_HEAP_RESERVE_CELLS, xreg + 1);
    attribute = fd_deref(w->X[xreg]);
    domain = fd_attribute_domain(attribute);
    list = fd_mutable_value(fd_struct_cells(attribute)[FD_ATTR_COREFERENCES]);
  }
  int64_t base = c + (fd_is_small(value) ? fd_small_value(value) : 0);
  fd_queue_push_front(env, 0, fd_make_small(base));
  fd_queue_push_front(env, 0, list);
  fd_queue_push_front(env, 0, fd_make_small(event | 0xe));
  fd_queue_push_front(env, 0, domain);
  for (lv_term t = list; fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
    lv_term entry = fd_deref(fd_list_cells(t)[0]);
    lv_term other = fd_deref(fd_arg(entry, 2));
    if (other == attribute) continue;
    int64_t l = fd_small_value(fd_deref(fd_arg(entry, 1)));
    lv_term shifted = fd_coref_shift(env, domain, c - l);
    fd_trail_assign(env, shifted, fd_struct_cells(other)[FD_ATTR_DOMAIN]);
  }
}

int64_t fd_prune_and_wake(const lv_foreign_env* env, lv_term var, int64_t event, lv_term value, int xreg) {
  fd_solver_state* st = fd_state(env);
  st->prunings++;
  if ((event & FD_EVENT_VAL) == 0) return event;
  // Bound already: a unification from Prolog binds before it tells.
  if (!fd_is_ref(var)) return event + FD_EVENT_BOUND;
  typedef int single_fn(lv_worker*, lv_term, const lv_module*);
  fd_engine* w = fd_engine_of(env);
  if (fd_rt::support<single_fn>(env, LV_SUPPORT_single_attribute)(fd_rt::worker(env), var, st->module)) {
    fd_bind(env, fd_ref_cell(var), value);
  } else {
    // Bound by the loop once the solver's attribute is gone, so that the
    // engine's own wake-up is not entered in the middle of propagation.
    if (w->heap_hard_limit - w->H < 3 + FD_HEAP_RESERVE_CELLS) {
      w->X[xreg] = var;
      fd_rt::call_overflow(env, 3 + FD_HEAP_RESERVE_CELLS, xreg + 1);
      var = fd_deref(w->X[xreg]);
    }
    lv_term* h = w->H;
    w->H += 3;
    h[0] = FD_FUNCTOR_MINUS_2;
    h[1] = var;
    h[2] = value;
    fd_queue_push_back(env, FD_QUEUE_BINDINGS, fd_make_struct(h));
  }
  return event + FD_EVENT_BOUND;
}
