// The labeling step of $fd_labeling/7: choose a variable, split its domain,
// leave the other part to a choicepoint of the step's own, and propagate,
// all in C. Backtracking into that choicepoint restores X0-X7 and calls the
// built-in again, which is the re-entry with the part left in X1.
//
// Registers: X0 the variable, X1 [] for a new step or the part this branch
// keeps, X2 the variables still to label, X3 the choice counter, X4 the
// option word, X5 cost-Incumbent for branch and bound, X6 a structure of
// four variables that receive the outcome, X1, X2 and X3.
#include "kernel/labeling.h"

#include "kernel/attributes.h"
#include "kernel/dvar.h"
#include "kernel/errors.h"
#include "kernel/fd_assert.h"
#include "kernel/foreign_predicates.h"
#include "kernel/propagation.h"
#include "kernel/queues.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

constexpr int STEP_REGISTERS = 7;
constexpr int64_t FRAME_WORDS = 6;  // alternative, local top, H, TR, E, CP

// Outcomes.
constexpr int64_t FAILED = -1;

int64_t frame_registers(const uint32_t* alternative) {
  uint32_t size = alternative[-1];
  if (size % 8 != 0) return -1;
  return static_cast<int64_t>(size / 8) - FRAME_WORDS;
}

lv_term solver_attribute(const lv_foreign_env* env, lv_term var) {
  lv_term a = fd_rt::get_attributes(env, var, fd_state(env)->module);
  return a == 0 ? 0 : fd_deref(a);
}

// The domain of a variable as a set off the heap; 0 for no domain variable.
fdset domain_set(const lv_foreign_env* env, lv_term var) {
  lv_term attribute = solver_attribute(env, var);
  if (fd_functor_of(attribute) != FD_FUNCTOR_V_7) return 0;
  lv_term d = fd_attribute_domain(attribute);
  fdset s = fd_is_small(d) ? fdset_interval(env, d, d) : fd_deref(fd_arg(d, 1));
  return fdset_copy_off_heap(env, s);
}

// Narrows the variable to lo..hi, or to the set when it is not 0, exporting
// a change at once: 0 when nothing is left.
int narrow(lv_foreign_env* env, lv_term var, fdset set, lv_term lo, lv_term hi, int live) {
  var = fd_deref(var);
  if (fd_is_small(var))
    return set != 0 ? fdset_member(var, set) : fd_value_compare_interval(var, lo, hi) == 0;
  lv_term attribute = solver_attribute(env, var);
  if (!fd_is_ref(var) || fd_functor_of(attribute) != FD_FUNCTOR_V_7) return 0;
  lv_term_ref a = fd_rt::new_term_ref(env), v = fd_rt::new_term_ref(env);
  fd_termref(env, a) = attribute;
  fd_termref(env, v) = var;
  dvar d;
  dvar_init(env, &d, fd_make_ref(&fd_termref(env, a)), fd_make_ref(&fd_termref(env, v)));
  int r = set != 0 ? dvar_fix_set(env, &d, set) : dvar_fix_interval(env, &d, lo, hi);
  if (r > 0) {
    dvar_export_mode(env, &d, 0, 0, live);
  } else if (r == 0 && set != 0 && fdset_min(set) == fdset_max(set)) {
    // A one-value domain left unbound (not made by propagation, which
    // binds it) is bound here, or the step would choose it for ever.
    dvar_bind_value(env, &d, fdset_min(set), live);
  }
  fd_rt::reset_term_refs(env, a);
  return r != -1;
}

// The cost bound of branch and bound on re-entry: 0 when the cost cannot
// lie on the side of the incumbent that the option word asks for.
int bound_cost(lv_foreign_env* env, lv_term bb, int64_t options, int live) {
  bb = fd_deref(bb);
  if (!fd_is_compound_struct(bb) || fd_functor_arity(fd_functor_of(bb)) < 2) return 1;
  lv_term c = fd_incumbent_cost(env, fd_deref(fd_arg(bb, 2)));
  if (!fd_is_small(c)) return 1;  // no incumbent yet
  lv_term lo = (options & FD_LABEL_BELOW_INCUMBENT) ? FD_INF : fd_key_bound(fd_small_value(c) + 1);
  lv_term hi = (options & FD_LABEL_ABOVE_INCUMBENT) ? FD_SUP : fd_key_bound(fd_small_value(c) - 1);
  lv_term cost = fd_deref(fd_arg(bb, 1));
  if (!fd_is_small(cost) && !fd_is_ref(cost)) return 1;
  if (fd_is_ref(cost) && fd_functor_of(solver_attribute(env, cost)) != FD_FUNCTOR_V_7) return 1;
  return narrow(env, cost, 0, lo, hi, live);
}

struct step {
  lv_foreign_env* env;
  fd_engine* w;
  lv_term_ref r[STEP_REGISTERS];
  int live;
  int64_t options;
};

void save(step& s) {
  for (int i = 0; i < STEP_REGISTERS; i++) fd_termref(s.env, s.r[i]) = s.w->X[i];
}
void restore(step& s) {
  for (int i = 0; i < STEP_REGISTERS; i++) s.w->X[i] = fd_termref(s.env, s.r[i]);
  fd_rt::reset_term_refs(s.env, s.r[STEP_REGISTERS - 1] + 1);
}

// Narrows X0 to the set (off the heap), bounding the cost too when asked,
// and propagates: the driver's outcome, or -1 for a failed narrowing.
int64_t narrow_and_propagate(step& s, fdset set, bool with_bound) {
  save(s);
  fd_queue_open(s.env);
  bool ok = narrow(s.env, s.w->X[0], set, 0, 0, s.live) != 0;
  if (ok && with_bound) ok = bound_cost(s.env, fd_termref(s.env, s.r[5]), s.options, s.live) != 0;
  int64_t outcome;
  if (ok) {
    outcome = fd_evaluate_indexical(s.env, s.r[1]);
  } else {
    fd_state(s.env)->failures++;
    fd_queue_reset(s.env);
    outcome = FAILED;
  }
  restore(s);
  return outcome;
}

// Re-entry from the step's choicepoint with the part X1 keeps.
int64_t reenter(step& s, const uint32_t* alternative) {
  fd_engine* w = s.w;
  fdset kept = fd_deref(w->X[1]);
  if ((s.options & FD_LABEL_ENUMERATE) && !fdset_singleton(kept)) {
    // One value now; the rest to a choicepoint of its own.
    lv_term v = fd_choose_value(kept, s.options);
    fd_scratch_reset(s.env);
    fdset rest = fdset_copy_off_heap(s.env, fdset_delete_value(s.env, kept, v));
    w->X[1] = fdset_copy_checked(s.env, rest, 4, s.live);
    fd_push_label_choicepoint(s.env, alternative);
    lv_term* h = w->H;
    w->H += 4;
    h[0] = fd_make_list(h + 2);
    h[1] = FD_NIL;
    h[2] = v;
    h[3] = v;
    w->X[1] = fd_make_list(h);
  }
  fd_scratch_reset(s.env);
  fdset set = fdset_copy_off_heap(s.env, fd_deref(w->X[1]));
  bool bound = (s.options & (FD_LABEL_BELOW_INCUMBENT | FD_LABEL_ABOVE_INCUMBENT)) != 0;
  return narrow_and_propagate(s, set, bound);
}

// The part of S that a new choice takes first.
fdset first_part(const lv_foreign_env* env, fdset set, int64_t options) {
  if ((options & FD_LABEL_BISECT) == 0) {
    lv_term v = fd_choose_value(set, options);
    return fdset_interval(env, v, v);
  }
  int64_t a = fd_small_value(fdset_min(set)), b = fd_small_value(fdset_max(set));
  lv_term mid = fd_make_small((a & b) + ((a ^ b) >> 1));  // floor((a + b) / 2), without overflow
  // The upper half first only when asked for alone; with neither or both
  // direction bits the lower half comes first, so that both branches are
  // proper parts of the domain.
  bool upper = (options & FD_LABEL_DOWN) && !(options & FD_LABEL_UP);
  return upper ? fdset_restrict(env, set, fd_bound_succ(mid), FD_SUP) : fdset_restrict(env, set, FD_INF, mid);
}

// The best variable of the list from its first unbound element (in X0).
void choose_variable(step& s, int64_t heuristic) {
  if (heuristic == FD_HEUR_FIRST) return;
  lv_term best = fd_deref(s.w->X[0]);
  int64_t b1, b2;
  fd_var_score(s.env, best, heuristic, &b1, &b2);
  lv_term slow = fd_deref(s.w->X[2]);  // half speed: a cyclic list ends the walk
  uint64_t steps = 0;
  for (lv_term l = fd_deref(fd_list_cells(slow)[1]); fd_is_list(l) && l != slow; l = fd_deref(fd_list_cells(l)[1])) {
    if (++steps % 2 == 0) slow = fd_deref(fd_list_cells(slow)[1]);
    if (heuristic == FD_HEUR_FF && b1 == 2) break;
    lv_term v = fd_deref(fd_list_cells(l)[0]);
    if (!fd_is_ref(v) || solver_attribute(s.env, v) == 0) continue;
    int64_t k1, k2;
    fd_var_score(s.env, v, heuristic, &k1, &k2);
    if (k1 < b1 || (k1 == b1 && k2 < b2)) {
      best = v;
      b1 = k1;
      b2 = k2;
    }
  }
  s.w->X[0] = best;
}

// New choices while variables are left: the outcome of the first that
// gives a nonzero one, else 0.
int64_t new_steps(step& s, const uint32_t* alternative, int64_t heuristic) {
  fd_engine* w = s.w;
  // A second pointer moving at half speed over the skipped elements: a
  // cyclic list of bound elements ends the walk instead of looping.
  lv_term slow = fd_deref(w->X[2]);
  uint64_t skipped = 0;
  for (;;) {
    lv_term list = fd_deref(w->X[2]);
    if (!fd_is_list(list) || fd_soft_limit(w) == nullptr) return 0;
    lv_term head = fd_deref(fd_list_cells(list)[0]);
    if (!fd_is_ref(head)) {
      w->X[2] = fd_deref(fd_list_cells(list)[1]);
      if (++skipped % 2 == 0) slow = fd_deref(fd_list_cells(slow)[1]);
      if (w->X[2] == slow) w->X[2] = FD_NIL;
      continue;
    }
    slow = list;
    skipped = 0;
    w->X[2] = list;
    w->X[0] = head;
    if (solver_attribute(s.env, head) != 0) choose_variable(s, heuristic);
    fd_scratch_reset(s.env);
    lv_term counter = fd_deref(w->X[3]);
    w->X[3] = fd_make_small((fd_is_small(counter) ? fd_small_value(counter) : 0) + 1);
    fdset set = domain_set(s.env, w->X[0]);
    if (set == 0 || !fd_is_small(fdset_min(set)) || !fd_is_small(fdset_max(set))) {
      fd_raise_system_error(s.env, "labeling a variable without a finite domain");
      return FAILED;
    }
    fdset first = first_part(s.env, set, s.options);
    fdset rest = fdset_subtract(s.env, set, first);
    if (rest != FD_NIL) {
      w->X[1] = fdset_copy_checked(s.env, rest, 0, s.live);
      fd_push_label_choicepoint(s.env, alternative);
    }
    int64_t outcome = narrow_and_propagate(s, first, false);
    if (outcome != 0) return outcome;
  }
}

}  // namespace

int64_t fd_label_heuristic(int64_t options) {
  int64_t score = options & FD_LABEL_SCORE_BITS;
  if (score != 0) return __builtin_ctzll(static_cast<uint64_t>(score)) - 1;
  return (options & FD_LABEL_DOM_W_DEG) ? FD_HEUR_DOM_W_DEG : FD_HEUR_FIRST;
}

lv_term fd_choose_value(fdset set, int64_t options) {
  if (options & FD_LABEL_UP) return fdset_min(set);
  if (options & FD_LABEL_DOWN) return fdset_max(set);
  if (options & FD_LABEL_MIDDLE) return fd_make_small(fdset_middle(set));
  return fd_make_small(fdset_median(set));
}

void fd_push_label_choicepoint(const lv_foreign_env* env, const uint32_t* alternative) {
  fd_engine* w = fd_engine_of(env);
  int64_t registers = frame_registers(alternative);
  LV_ASSERT(registers >= STEP_REGISTERS && registers <= 256);
  int64_t bytes = 8 * (FRAME_WORDS + registers);
  if (reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR) < bytes + FD_TRAIL_GAP_BYTES)
    fd_rt::choice_overflow(env, FD_TRAIL_REQUEST_CELLS);
  w->X[7] = FD_NIL;
  lv_term* b = w->B - (FRAME_WORDS + registers);
  b[0] = reinterpret_cast<lv_term>(alternative);
  b[1] = reinterpret_cast<lv_term>(w->local_top);
  b[2] = reinterpret_cast<lv_term>(w->H);
  b[3] = reinterpret_cast<lv_term>(w->TR);
  b[4] = reinterpret_cast<lv_term>(w->E);
  b[5] = reinterpret_cast<lv_term>(w->CP);
  for (int64_t i = 0; i < registers; i++) b[FRAME_WORDS + i] = w->X[i];
  w->B = b;
  w->HB = w->H;
  w->saved_local_top = w->local_top;
}

void fd_label_step(lv_foreign_env* env, const uint32_t* alternative, int64_t extra) {
  fd_engine* w = fd_engine_of(env);
  int64_t registers = alternative != nullptr ? frame_registers(alternative) : -1;
  if (registers < STEP_REGISTERS || registers > 256 || extra < 0 || extra > 256 - 8) {
    fd_raise_system_error(env, "labeling step without a proper choicepoint record");
    return;
  }
  step s{env, w, {}, static_cast<int>(extra) + STEP_REGISTERS, 0};
  for (lv_term_ref& r : s.r) r = fd_rt::new_term_ref(env);
  bool fresh = fd_deref(w->X[1]) == FD_NIL;
  if (fresh)
    for (int i = 2; i < STEP_REGISTERS; i++) w->X[i] = fd_deref(w->X[i]);
  lv_term options = fd_deref(w->X[4]);
  s.options = fd_is_small(options) ? fd_small_value(options) : 0;
  int64_t outcome = fresh ? 0 : reenter(s, alternative);
  if (outcome == 0) outcome = new_steps(s, alternative, fd_label_heuristic(s.options));

  lv_term report = fd_deref(w->X[6]);
  if (fd_is_compound_struct(report) && fd_functor_arity(fd_functor_of(report)) >= 4) {
    const lv_term values[4] = {fd_make_small(outcome), w->X[1], w->X[2], w->X[3]};
    for (unsigned i = 0; i < 4; i++) {
      lv_term v = fd_deref(fd_arg(report, i + 1));
      if (fd_is_ref(v)) fd_bind(env, fd_ref_cell(v), values[i]);
    }
  }
  fd_rt::reset_term_refs(env, s.r[0]);
}
