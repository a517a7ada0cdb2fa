// Writing dvars back to their variables, the bounds fast path, attaching
// propagators to variables, and the end of a propagator call.
#include "kernel/attributes.h"
#include "kernel/dvar.h"
#include "kernel/fd_assert.h"
#include "kernel/handles.h"
#include "kernel/propagation.h"
#include "kernel/roots.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

lv_term domain_size(lv_term domain) { return fd_is_struct(domain) ? fd_deref(fd_arg(domain, 4)) : fd_make_small(1); }
lv_term domain_min(lv_term domain) { return fd_is_struct(domain) ? fd_deref(fd_arg(domain, 2)) : domain; }
lv_term domain_max(lv_term domain) { return fd_is_struct(domain) ? fd_deref(fd_arg(domain, 3)) : domain; }
fdset domain_set(const lv_foreign_env* env, lv_term domain) {
  return fd_is_struct(domain) ? fd_deref(fd_arg(domain, 1)) : fdset_interval(env, domain, domain);
}
bool one_interval(fdset s) { return s != FD_NIL && fdset_rest(s) == FD_NIL; }

// [item | list in actions]; item is built by make(h) in its first words.
template <typename Make>
void push_action(const lv_foreign_env* env, lv_term_ref actions, int64_t item_words, int live_registers, Make make) {
  fd_heap_room(env, item_words + 2 + FD_HEAP_RESERVE_CELLS, live_registers);
  fd_engine* w = fd_engine_of(env);
  lv_term* h = w->H;
  w->H += item_words + 2;
  lv_term item = make(h);
  lv_term* cell = h + item_words;
  cell[0] = item;
  cell[1] = fd_termref(env, actions);
  fd_termref(env, actions) = fd_make_list(cell);
}

void push_atom(const lv_foreign_env* env, lv_term_ref actions, lv_term atom, int live_registers) {
  push_action(env, actions, 0, live_registers, [&](lv_term*) { return atom; });
}

// The debugging form of a change: Var = Value, or in_set(Var, Set).
void push_equal(const lv_foreign_env* env, lv_term_ref actions, lv_term var_ref, lv_term value, int live) {
  push_action(env, actions, 3, live, [&](lv_term* h) {
    h[0] = FD_FUNCTOR_EQUAL_2;
    h[1] = fd_deref(var_ref);
    h[2] = value;
    return fd_make_struct(h);
  });
}
void push_in_set(const lv_foreign_env* env, lv_term_ref actions, lv_term var_ref, fdset set, int live) {
  fdset copy = fdset_copy_checked(env, fdset_copy_off_heap(env, set), 5 + FD_HEAP_RESERVE_CELLS, live);
  push_action(env, actions, 3, live, [&](lv_term* h) {
    h[0] = fd_state(env)->functors[FD_F_IN_SET_2];
    h[1] = fd_deref(var_ref);
    h[2] = copy;
    return fd_make_struct(h);
  });
}

bool debugging(const lv_foreign_env* env) { return fd_state(env)->debug != 0; }

void export_value_queued(const lv_foreign_env* env, lv_term attr_ref, lv_term var_ref, lv_term v, lv_term_ref actions,
                         int live) {
  if (debugging(env)) {
    push_equal(env, actions, var_ref, v, live);
    return;
  }
  lv_term attribute = fd_deref(attr_ref);
  lv_term d = fd_attribute_domain(attribute);
  if (d == v) return;
  if (fd_is_struct(d) && (v == domain_min(d) || v == domain_max(d) || fdset_member(v, domain_set(env, d)))) {
    fd_tell_value(env, attribute, fd_deref(var_ref), v, live);
    return;
  }
  push_atom(env, actions, FD_ATOM_FAIL, live);
}

void export_interval_queued(const lv_foreign_env* env, lv_term attr_ref, lv_term var_ref, lv_term lo, lv_term hi,
                            lv_term_ref actions, int live) {
  if (debugging(env)) {
    push_in_set(env, actions, var_ref, fdset_interval(env, lo, hi), live);
    return;
  }
  lv_term attribute = fd_deref(attr_ref);
  lv_term d = fd_attribute_domain(attribute);
  fdset ds = domain_set(env, d);
  int relation = fdset_compare_interval(ds, lo, hi);
  if (relation == FDSET_EQUAL || relation == FDSET_INSIDE) return;
  if (relation == FDSET_DISJOINT) {
    push_atom(env, actions, FD_ATOM_FAIL, live);
    return;
  }
  if (relation == FDSET_CONTAINS || one_interval(ds)) {
    lv_term dmin = domain_min(d), dmax = domain_max(d);
    lv_term a = fd_bound_compare(lo, dmin) > 0 ? lo : dmin;
    lv_term b = fd_bound_compare(hi, dmax) < 0 ? hi : dmax;
    int64_t event = (a != dmin ? 1 | 2 : 0) | (b != dmax ? 1 | 4 : 0);
    if (event != 0) event |= 8;
    fd_tell_interval(env, attribute, fd_deref(var_ref), a, b, event, live);
    return;
  }
  fd_tell_fdset_globalize(env, attribute, fd_deref(var_ref), fdset_restrict(env, ds, lo, hi), live);
}

void export_set_queued(const lv_foreign_env* env, lv_term attr_ref, lv_term var_ref, fdset s, lv_term_ref actions,
                       int live) {
  if (debugging(env)) {
    push_in_set(env, actions, var_ref, s, live);
    return;
  }
  lv_term attribute = fd_deref(attr_ref);
  lv_term d = fd_attribute_domain(attribute);
  fdset ds = domain_set(env, d);
  switch (fdset_compare(ds, s)) {
    case FDSET_CONTAINS:
      fd_tell_fdset(env, attribute, fd_deref(var_ref), s, live);
      return;
    case FDSET_DISJOINT:
      push_atom(env, actions, FD_ATOM_FAIL, live);
      return;
    case FDSET_OVERLAP:
      if (one_interval(ds))
        fd_tell_fdset(env, attribute, fd_deref(var_ref), fdset_restrict(env, s, domain_min(d), domain_max(d)), live);
      else
        fd_tell_fdset_globalize(env, attribute, fd_deref(var_ref), fdset_intersection(env, ds, s), live);
      return;
    default:
      return;
  }
}

bool has_holes(const dvar* d) { return (d->flags & (DVAR_DOM_CHANGED | DVAR_INTERVAL)) == DVAR_DOM_CHANGED; }

// Drops the pin that dvar_pruning_set put on the record's set, if any.
void unpin_set(const lv_foreign_env* env, dvar* d) {
  if (d->set == 0 || d->set == DVAR_STALE || !has_holes(d)) return;
  int64_t prefix;
  fd_unpin(env, fdset_detach_prefix(env, &d->set, &prefix));
}

void export_queued(const lv_foreign_env* env, dvar* d, lv_term_ref actions, int live) {
  if (dvar_is_fixed(d)) export_value_queued(env, d->attribute, d->variable, d->min, actions, live);
  else if (!has_holes(d)) export_interval_queued(env, d->attribute, d->variable, d->min, d->max, actions, live);
  else export_set_queued(env, d->attribute, d->variable, d->set, actions, live);
}

void export_direct(const lv_foreign_env* env, dvar* d, int live) {
  lv_term attribute = fd_deref(d->attribute), var = fd_deref(d->variable);
  if (dvar_is_fixed(d)) fd_tell_value(env, attribute, var, d->min, live);
  else if (!has_holes(d))
    dvar_export_interval_direct(env, attribute, var, d->min, d->max, 9 | (d->flags & 6), live);
  else fd_tell_fdset(env, attribute, var, d->set, live);
}

void attach(const lv_foreign_env* env, lv_term attr_ref, void* block, lv_term_ref propagator, lv_term event,
            int live) {
  lv_term e = fd_deref(event);
  lv_term ef = fd_is_struct(e) ? fd_functor_of(e) : e;
  const fd_solver_state* st = fd_state(env);
  int64_t code = ef == fd_functor(FD_ATOM_DOM, 1) ? 8 : ef == st->functors[FD_F_VAL_1] ? 6 : 7;
  fd_heap_room(env, 7 + FD_HEAP_RESERVE_CELLS, live);
  fd_engine* w = fd_engine_of(env);
  lv_term p = fd_deref(fd_termref(env, propagator));
  lv_term* h = w->H;
  w->H += 7;
  h[0] = fd_functor(FD_ATOM_DAEMON, 6);
  h[1] = p;
  h[2] = fd_pointer_term(fd_ref_cell(attr_ref));
  h[3] = fd_make_ref(&fd_struct_cells(p)[3]);
  h[4] = fd_arg(p, 4);
  h[5] = fd_make_small(code);
  h[6] = fd_pointer_term(block);
  fd_add_suspension(env, fd_deref(attr_ref), event, fd_make_struct(h), FD_NIL, live);
}

}  // namespace

int dvar_pruning_set(const lv_foreign_env* env, dvar* d) {
  if (!has_holes(d)) {
    d->set = 0;
    return static_cast<int>(d->flags & (DVAR_DOM_CHANGED | DVAR_INTERVAL));
  }
  // The set's new cells are moved off the heap and the rest it shares with
  // the domain on the heap is pinned, so that exports of other records,
  // which may move the heap, leave it valid.
  dvar_get_set(env, d);
  int64_t prefix;
  fd_pin(env, fdset_detach_prefix(env, &d->set, &prefix));
  return static_cast<int>(d->flags & (DVAR_DOM_CHANGED | DVAR_INTERVAL));
}

void dvar_export_interval_direct(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term min, lv_term max,
                                 int64_t event, int live) {
  lv_term domain = fd_attribute_domain(attribute);
  fdset current = fd_deref(fd_arg(domain, 1));
  // Only the lower bound raised in a domain with holes: the set from min
  // on shares the domain's tail, found without walking the rest of it.
  if (!one_interval(current) && max == domain_max(domain) && fd_bound_compare(min, domain_min(domain)) > 0) {
    fd_tell_fdset_globalize(env, attribute, var, fdset_restrict_below(env, current, min), live);
    return;
  }
  if (one_interval(current) || fdset_compare_interval(current, min, max) != FDSET_OVERLAP)
    fd_tell_interval(env, attribute, var, min, max, event, live);
  else fd_tell_fdset_globalize(env, attribute, var, fdset_restrict(env, current, min, max), live);
}

void dvar_export(const lv_foreign_env* env, dvar* d, lv_term_ref actions, int live) {
  LV_ASSERT(d->set != DVAR_STALE);
  lv_term current = domain_size(fd_attribute_domain(fd_deref(d->attribute)));
  bool direct = d->size != FD_SUP && !debugging(env) && current == d->size;
  if (direct) export_direct(env, d, live);
  else export_queued(env, d, actions, live);
  unpin_set(env, d);
  d->flags |= DVAR_EXPORTED;
}

void dvar_export_mode(const lv_foreign_env* env, dvar* d, int queued, lv_term_ref actions, int live) {
  if (has_holes(d)) dvar_pruning_set(env, d);
  if (queued) export_queued(env, d, actions, live);
  else export_direct(env, d, live);
  unpin_set(env, d);
}

int dvar_fix_value_and_export(const lv_foreign_env* env, const dvar_bounds* b, int64_t value, lv_term_ref actions,
                              int live) {
  // Values are whole 64-bit integers; one past the small integers cannot be
  // a domain value.
  if (!fd_fits_small(value)) {
    fd_set_overflow(env, value > 0 ? FD_OVERFLOW_SUP : FD_OVERFLOW_INF);
    return 0;
  }
  lv_term v = fd_make_small(value);
  if (debugging(env)) {
    dvar d;
    dvar_init(env, &d, b->attribute, b->variable);
    int r = dvar_fix_interval(env, &d, v, v);
    if (r > 0) export_queued(env, &d, actions, live);
    return r == -1 ? 0 : 1;
  }
  lv_term attribute = fd_deref(b->attribute);
  lv_term d = fd_attribute_domain(attribute);
  if (!fd_is_struct(d)) return d == v ? 1 : 0;
  LV_ASSERT(fdset_member(v, fd_deref(fd_arg(d, 1))));
  fd_tell_value(env, attribute, fd_deref(b->variable), v, live);
  return 1;
}

int dvar_bounds_fix_interval(const lv_foreign_env* env, dvar* d, lv_term a, lv_term b, int live) {
  int64_t bits = 0;
  if (fd_bound_compare(a, d->min) > 0) {
    d->min = a;
    bits |= 2;
  }
  if (fd_bound_compare(b, d->max) < 0) {
    d->max = b;
    bits |= 4;
  }
  if (bits == 0) return 1;
  if (fd_bound_compare(d->max, d->min) < 0) return 0;
  lv_term attribute = fd_deref(d->attribute), var = fd_deref(d->variable);
  if (d->min == d->max) fd_tell_value(env, attribute, var, d->min, live);
  else dvar_export_interval_direct(env, attribute, var, d->min, d->max, 9 | bits, live);
  return 1;
}

int dvar_bounds_fix_value(const lv_foreign_env* env, dvar* d, lv_term v, int live) {
  if (fd_bound_compare(v, d->min) < 0 || fd_bound_compare(v, d->max) > 0) return 0;
  d->min = v;
  fd_tell_value(env, fd_deref(d->attribute), fd_deref(d->variable), v, live);
  return 1;
}

void dvar_bind_value(const lv_foreign_env* env, dvar* d, lv_term value, int live) {
  fd_tell_value(env, fd_deref(d->attribute), fd_deref(d->variable), value, live);
}
void dvar_bind_forward(const lv_foreign_env* env, dvar* d, lv_term value, int live) {
  dvar_bind_value(env, d, value, live);
}

void dvar_attach_daemon(const lv_foreign_env* env, const dvar* d, void* block, lv_term_ref propagator, lv_term event,
                        int live) {
  if (!dvar_is_fixed(d)) attach(env, d->attribute, block, propagator, event, live);
}
void dvar_attach_daemon_bounds(const lv_foreign_env* env, const dvar_bounds* b, void* block, lv_term_ref propagator,
                               lv_term event, int live) {
  if (b->min != b->max) attach(env, b->attribute, block, propagator, event, live);
}
void dvar_attach_daemon_simple(const lv_foreign_env* env, const dvar* d, lv_term_ref propagator, lv_term event,
                               int live) {
  if (!dvar_is_fixed(d))
    fd_add_suspension(env, fd_deref(d->attribute), event, fd_deref(fd_termref(env, propagator)), FD_NIL, live);
}
void dvar_attach_daemon_simple_bounds(const lv_foreign_env* env, const dvar_bounds* b, lv_term_ref propagator,
                                      lv_term event, int live) {
  if (b->min != b->max)
    fd_add_suspension(env, fd_deref(b->attribute), event, fd_deref(fd_termref(env, propagator)), FD_NIL, live);
}

int fd_propagator_exit(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref actions, lv_term_ref goal, int status,
                       int live) {
  // No set of the call waits for its export any more.
  fd_unpin_to(env, 0);
  if (status == 3) {
    if (new_state != 0) fd_propagator_entailed_term(env, fd_termref(env, new_state));
    push_atom(env, actions, FD_ATOM_EXIT, live);
  } else if (status != 2) {
    push_atom(env, actions, FD_ATOM_FAIL, live);
  }
  lv_term g = fd_deref(fd_termref(env, goal));
  if (fd_is_compound_struct(g) && fd_functor_arity(fd_functor_of(g)) >= 2) g = fd_deref(fd_arg(g, 2));
  return fd_report_overflow(env, g);
}

lv_term fd_propagator_begin(lv_foreign_env* env, lv_term_ref state, lv_term_ref new_state, lv_term_ref actions,
                            lv_term* handle) {
  fd_scratch_reset(env);
  fd_termref(env, actions) = FD_NIL;
  int64_t stamp;
  int fresh;
  lv_term s = fd_mutable_begin_update(env, fd_termref(env, state), handle, &stamp, &fresh, 0);
  fd_termref(env, new_state) = s;
  return s;
}

void dvar_export_changed(const lv_foreign_env* env, dvar* d, const int32_t* order, int32_t count,
                         lv_term_ref actions) {
  constexpr uint32_t CHANGED = DVAR_DOM_CHANGED | DVAR_MIN_CHANGED | DVAR_MAX_CHANGED;
  for (int32_t p = 0; p < count; p++) {
    dvar* x = &d[order != nullptr ? order[p] : p];
    if (x->flags & CHANGED) dvar_pruning_set(env, x);
  }
  for (int32_t p = 0; p < count; p++) {
    dvar* x = &d[order != nullptr ? order[p] : p];
    if (x->flags & CHANGED) dvar_export(env, x, actions, 0);
  }
  for (int32_t p = 0; p < count; p++) d[order != nullptr ? order[p] : p].set = DVAR_STALE;
}
