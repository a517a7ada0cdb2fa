// $fd_unify(X, Y): unification of domain variables from Prolog, finished in
// C when every attributed variable it binds is a domain variable bound to an
// integer; otherwise the Prolog level completes it.
#include "kernel/attributes.h"
#include "kernel/fdset.h"
#include "kernel/foreign_predicates.h"
#include "kernel/memory.h"
#include "kernel/propagation.h"
#include "kernel/queues.h"
#include "kernel/solver_state.h"

namespace {

constexpr lv_term ATTRIBUTED_MARKER = ~lv_term{0};  // the word before an attributed variable's cell

}  // namespace

int64_t fd_unify(lv_foreign_env* env, fd_t x, fd_t y) {
  fd_engine* w = fd_engine_of(env);
  fd_solver_state* st = fd_state(env);
  // Offsets, since the stacks may move while the trail grows.
  int64_t trail_before = w->TR - w->trail_base;
  int64_t heap_before = w->H - w->area_start;
  int32_t wakeups_before = w->wakeup_count;
  if (!fd_rt::unify_terms(env, fd_termref(env, x), fd_termref(env, y))) {
    st->failures++;
    fd_rt::fail(env);
    return 0;
  }
  // The attributed variables the unification bound: the engine counted
  // them, and each left a trail entry for a cell older than the heap top
  // the unification started from. Newest first.
  int64_t count = w->wakeup_count - wakeups_before;
  fd_words cells;
  fd_words_init(&cells);
  for (lv_term* e = w->TR; e > w->trail_base + trail_before && cells.count < count;) {
    lv_term t = *--e;
    if (t == 0 || !fd_is_ref(t)) continue;
    lv_term* cell = fd_ref_cell(t);
    if (cell > w->area_start && cell < w->area_start + heap_before && cell[-1] == ATTRIBUTED_MARKER &&
        !fd_is_unbound_cell(cell))
      fd_words_push(env, &cells, reinterpret_cast<uint64_t>(cell));
  }
  auto cell_at = [&](int64_t i) { return reinterpret_cast<lv_term*>(cells.data[i]); };
  typedef int pure_fn(lv_worker*, lv_term, const lv_module*);
  auto* pure = fd_rt::support<pure_fn>(env, LV_SUPPORT_pure_attributes);
  for (int64_t i = 0; i < cells.count; i++) {
    if (!fd_is_small(fd_deref(*cell_at(i))) || !pure(fd_rt::worker(env), fd_make_ref(cell_at(i)), st->module)) {
      fd_words_free(env, &cells);
      return 0;
    }
  }

  // Finished here: the engine is not to wake them again. Their bindings and
  // trail entries stay as the unification made them. Each attribute and
  // variable goes into a pair of term references (attribute first).
  w->wakeup_count = wakeups_before;
  lv_term_ref first = fd_rt::new_term_ref(env);
  lv_term_ref pairs = 0;
  int64_t n = 0;
  for (int64_t i = cells.count; i-- > 0;) {
    lv_term a = fd_rt::get_attributes(env, fd_make_ref(cell_at(i)), st->module);
    if (a == 0) continue;
    lv_term_ref ra = fd_rt::new_term_ref(env), rv = fd_rt::new_term_ref(env);
    if (n++ == 0) pairs = ra;
    fd_termref(env, ra) = fd_deref(a);
    fd_termref(env, rv) = fd_make_ref(cell_at(i));
  }
  fd_words_free(env, &cells);
  fd_queue_open(env);
  lv_term_ref goal = fd_rt::new_term_ref(env);
  const lv_term_ref sides[2] = {x, y};
  fd_rt::cons_functor(env, goal, FD_ATOM_EQUAL, 2, sides);
  int64_t result = 1;
  for (int64_t i = 0; i < n; i++) {
    lv_term a = fd_deref(fd_termref(env, pairs + 2 * static_cast<lv_term_ref>(i)));
    lv_term var = fd_termref(env, pairs + 2 * static_cast<lv_term_ref>(i) + 1);
    lv_term value = fd_deref(var);
    lv_term d = fd_attribute_domain(a);
    bool in = fd_is_small(d) ? d == value : fdset_member(value, fd_deref(fd_arg(d, 1))) != 0;
    if (!in) {
      lv_term* weight = &fd_struct_cells(a)[FD_ATTR_WEIGHT];
      lv_term old = fd_deref(*weight);
      if (fd_is_small(old) && fd_small_value(old) < FD_SMALL_MAX) *weight = fd_make_small(fd_small_value(old) + 1);
      st->failures++;
      fd_queue_reset(env);
      fd_rt::fail(env);
      result = 0;
      break;
    }
    if (fd_is_small(d)) continue;
    fd_tell_value(env, a, var, value, 0);
    if (!fd_report_overflow(env, fd_termref(env, goal))) {
      result = 0;
      break;
    }
  }
  fd_rt::reset_term_refs(env, first);
  return result;
}
