// Posting global propagators ($fd_post_global), the attributes of a goal's
// arguments ($fd_check_arguments), feeding a propagator's actions back into
// propagation ($fd_prune_and_enqueue), and what every posting shares.
#include "kernel/arguments.h"
#include "kernel/attributes.h"
#include "kernel/foreign_predicates.h"
#include "kernel/posting.h"
#include "kernel/propagation.h"
#include "kernel/queues.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

lv_term term_of(const lv_foreign_env* env, fd_t t) { return fd_deref(fd_termref(env, t)); }

// The words of a $mutable(State, 0) and $global/6 pair.
constexpr int64_t GLOBAL_WORDS = 10;

// Whether the event term is one of the five events, or none/1.
bool event_functor(const fd_solver_state* st, lv_term f) {
  return f == fd_functor(FD_ATOM_DOM, 1) || f == st->functors[FD_F_MIN_1] || f == st->functors[FD_F_MAX_1] ||
         f == st->functors[FD_F_MINMAX_1] || f == st->functors[FD_F_VAL_1] || f == st->functors[FD_F_NONE_1];
}

}  // namespace

void fd_posting_open(const lv_foreign_env* env) {
  if ((fd_solver_flags(env) & FD_FLAG_PROPAGATING) == 0) fd_queue_open(env);
}

lv_term fd_attribute_of(const lv_foreign_env* env, lv_term term, int xreg) {
  lv_term a = fd_make_dvar_attribute(env, term, FD_INF, FD_SUP, FD_SUP, 0, xreg);
  return a == 0 ? 0 : fd_deref(a);
}

void fd_check_arguments(lv_foreign_env* env, fd_t goal, fd_t result) {
  lv_term g = term_of(env, goal);
  if (!fd_is_compound_struct(g)) {
    if (!fd_rt::unify_terms(env, fd_termref(env, result), g)) fd_rt::fail(env);
    return;
  }
  unsigned n = fd_functor_arity(fd_functor_of(g));
  // The new structure first (its arguments [] for now), kept in a term
  // reference while each attribute is made, which may move the heap.
  fd_heap_room(env, n + 1 + FD_HEAP_RESERVE_CELLS, 0);
  fd_engine* w = fd_engine_of(env);
  g = term_of(env, goal);
  lv_term* h = w->H;
  w->H = h + n + 1;
  h[0] = fd_functor_of(g);
  for (unsigned i = 1; i <= n; i++) h[i] = FD_NIL;
  lv_term_ref made = fd_rt::new_term_ref(env);
  fd_termref(env, made) = fd_make_struct(h);
  for (unsigned i = 1; i <= n; i++) {
    lv_term a = fd_attribute_of(env, fd_arg(term_of(env, goal), i), 0);
    if (a == 0) {
      fd_rt::fail(env);
      fd_rt::reset_term_refs(env, made);
      return;
    }
    fd_struct_cells(term_of(env, made))[i] = a;
  }
  if (!fd_rt::unify_terms(env, fd_termref(env, result), term_of(env, made))) fd_rt::fail(env);
  fd_rt::reset_term_refs(env, made);
}

void fd_post_global(lv_foreign_env* env, fd_t goal, fd_t state, fd_w flags, fd_t reif, fd_t var_events,
                    fd_t propagator) {
  call_site site{"$fd_post_global", 6, {goal, state, -1, reif, var_events, propagator}};
  fd_solver_state* st = fd_state(env);
  int64_t n = fd_proper_length(fd_termref(env, var_events));
  if (n < 0) {
    fd_argument_error(env, site, 5, "list");
    return;
  }
  for (lv_term l = term_of(env, var_events); l != FD_NIL; l = fd_deref(fd_list_cells(l)[1])) {
    lv_term e = fd_deref(fd_list_cells(l)[0]);
    if (!event_functor(st, fd_functor_of(e))) {
      fd_argument_error(env, site, 5, "event_list");
      return;
    }
  }
  if (flags < 0 || flags > FD_SMALL_MAX) {
    fd_argument_error(env, site, 3, "integer");
    return;
  }
  fd_posting_open(env);
  st->constraints++;

  // Event(Attribute) for every element whose argument is an unbound
  // variable, consed in front: the list comes out in reverse order. The
  // walk's position and the list built so far live in term references,
  // since making an attribute may move the heap.
  lv_term_ref rest = fd_rt::new_term_ref(env), built = fd_rt::new_term_ref(env);
  fd_termref(env, rest) = term_of(env, var_events);
  fd_termref(env, built) = FD_NIL;
  while (term_of(env, rest) != FD_NIL) {
    lv_term cell = term_of(env, rest);
    lv_term e = fd_deref(fd_list_cells(cell)[0]);
    fd_termref(env, rest) = fd_deref(fd_list_cells(cell)[1]);
    if (!fd_is_ref(fd_deref(fd_arg(e, 1)))) continue;
    lv_term_ref event = fd_rt::new_term_ref(env);
    fd_termref(env, event) = e;
    lv_term a = fd_attribute_of(env, fd_arg(e, 1), 0);
    fd_heap_room(env, 4 + FD_HEAP_RESERVE_CELLS, 0);
    fd_engine* w = fd_engine_of(env);
    lv_term* h = w->H;
    w->H = h + 4;
    h[0] = fd_functor_of(term_of(env, event));
    h[1] = a;
    h[2] = fd_make_struct(h);
    h[3] = term_of(env, built);
    fd_termref(env, built) = fd_make_list(h + 2);
    fd_rt::reset_term_refs(env, event);
  }

  // $mutable(State, 0) and $global(M, Goal, Flags, Status, VarEvents, Reif).
  fd_heap_room(env, GLOBAL_WORDS + FD_HEAP_RESERVE_CELLS, 0);
  fd_engine* w = fd_engine_of(env);
  lv_term* h = w->H;
  w->H = h + GLOBAL_WORDS;
  h[0] = FD_FUNCTOR_MUTABLE_2;
  h[1] = term_of(env, state);
  h[2] = fd_make_small(0);
  h[3] = fd_functor(FD_ATOM_GLOBAL, 6);
  h[4] = fd_make_struct(h);
  h[5] = term_of(env, goal);
  h[6] = fd_make_small(flags & ~int64_t{FD_PROP_QUEUED | FD_PROP_RUNNING});
  h[7] = fd_make_ref(&h[7]);
  h[8] = term_of(env, built);
  h[9] = (fd_solver_flags(env) & FD_FLAG_HIDING) ? fd_rt::atom(env, "true") : term_of(env, reif);
  lv_term p = fd_make_struct(h + 3);
  fd_termref(env, propagator) = p;

  // A suspension on every variable for its event (none(_) asks for none).
  for (lv_term l = fd_arg(term_of(env, propagator), 5);;) {
    l = fd_deref(l);
    if (!fd_is_list(l)) break;
    fd_termref(env, rest) = fd_list_cells(l)[1];
    lv_term e = fd_deref(fd_list_cells(l)[0]);
    if (fd_functor_of(e) != st->functors[FD_F_NONE_1])
      fd_add_suspension(env, fd_deref(fd_arg(e, 1)), e, term_of(env, propagator), FD_NIL, 0);
    l = fd_termref(env, rest);
  }

  p = term_of(env, propagator);
  fd_set_item_flags(p, fd_item_flags(p) | FD_PROP_QUEUED);
  fd_queue_push_back(env, 6, p);
  fd_rt::reset_term_refs(env, rest);
}

void fd_prune_and_enqueue(lv_foreign_env* env, fd_t actions, fd_t goal) {
  call_site site{"$fd_prune_and_enqueue", 2, {actions, goal}};
  fd_solver_state* st = fd_state(env);
  if (fd_proper_length(fd_termref(env, actions)) < 0) {
    fd_argument_error(env, site, 1, "list");
    return;
  }
  lv_term f = fd_functor_of(term_of(env, goal));
  if (f != fd_functor(FD_ATOM_GLOBAL, 6) && f != fd_functor(FD_ATOM_INDEXICAL, 8)) {
    fd_argument_error(env, site, 2, "propagator");
    return;
  }
  fd_posting_open(env);
  int r = fd_run_actions(env, goal, term_of(env, actions));
  lv_term_ref e = fd_rt::new_term_ref(env);
  if (fd_rt::exception_term(env, e)) {
    fd_rt::raise_exception(env, e);
  } else if (r == 0) {
    st->failures++;
    fd_rt::fail(env);
  }
  fd_rt::reset_term_refs(env, e);
}
