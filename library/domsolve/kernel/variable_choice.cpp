// Choosing the variable to label: the keys each heuristic gives an unbound
// domain variable, and $fd_delete, which picks the best of a list.
#include "kernel/attributes.h"
#include "kernel/dvar.h"
#include "kernel/fdset.h"
#include "kernel/foreign_predicates.h"
#include "kernel/labeling.h"
#include "kernel/solver_state.h"

namespace {

// The size counted for a domain of `sup` values.
constexpr int64_t INFINITE_SIZE = (int64_t{1} << 62) - 1;

int64_t plain_bound(lv_term b) {
  if (fd_is_small(b)) return fd_small_value(b);
  return b == FD_INF ? DVAR_PLAIN_INF : INT64_MAX;
}

}  // namespace

int64_t fd_var_degree(lv_term attribute) {
  attribute = fd_deref(attribute);
  int64_t own = fd_small_value(fd_mutable_value(fd_struct_cells(attribute)[FD_ATTR_COUNT]));
  int64_t degree = 0;
  bool listed = false;
  for (lv_term l = fd_mutable_value(fd_struct_cells(attribute)[FD_ATTR_COREFERENCES]); fd_is_list(l);
       l = fd_deref(fd_list_cells(l)[1])) {
    lv_term entry = fd_deref(fd_list_cells(l)[0]);
    bool self = fd_functor_of(entry) == FD_FUNCTOR_MINUS_2 && fd_deref(fd_arg(entry, 2)) == attribute;
    degree += self ? own : 1;
    listed |= self;
  }
  return listed ? degree : degree + own;
}

void fd_var_score(const lv_foreign_env* env, lv_term var, int64_t heuristic, int64_t* key1, int64_t* key2) {
  *key1 = *key2 = 0;
  lv_term attribute = fd_deref(fd_rt::get_attributes(env, var, fd_state(env)->module));
  lv_term d = fd_attribute_domain(attribute);
  int64_t min, max, size;
  fdset set;
  if (fd_is_small(d)) {
    min = max = fd_small_value(d);
    size = 1;
    set = 0;
  } else {
    set = fd_deref(fd_arg(d, 1));
    min = plain_bound(fd_deref(fd_arg(d, 2)));
    max = plain_bound(fd_deref(fd_arg(d, 3)));
    lv_term s = fd_deref(fd_arg(d, 4));
    size = fd_is_small(s) ? fd_small_value(s) : INFINITE_SIZE;
  }
  switch (heuristic) {
    case FD_HEUR_MAX:
      *key1 = -max;
      break;
    case FD_HEUR_FF:
      *key1 = size;
      break;
    case FD_HEUR_FFC:
      *key1 = size;
      *key2 = -fd_var_degree(attribute);
      break;
    case FD_HEUR_ANTI_FIRST_FAIL:
      *key1 = -size;
      break;
    case FD_HEUR_OCCURRENCE:
      *key1 = -fd_var_degree(attribute);
      break;
    case FD_HEUR_MAX_REGRET:
      *key1 = -1;
      if (set != 0 && fdset_first_min(set) == fdset_first_max(set) && fdset_rest(set) != FD_NIL &&
          fd_is_small(fdset_first_min(set)))
        *key1 = fd_small_value(fdset_first_min(set)) - plain_bound(fdset_first_min(fdset_rest(set)));
      break;
    case FD_HEUR_IMPACT:
    case FD_HEUR_DOM_W_DEG: {
      lv_term w = fd_deref(fd_struct_cells(attribute)[FD_ATTR_WEIGHT]);
      int64_t weight = fd_is_small(w) ? fd_small_value(w) : 0;
      if (heuristic == FD_HEUR_IMPACT) {
        *key1 = -weight;
        break;
      }
      double q = (static_cast<double>(weight) + 1) / static_cast<double>(size);
      double whole = static_cast<double>(static_cast<int64_t>(q));
      *key1 = -static_cast<int64_t>(whole);
      *key2 = static_cast<int64_t>((q - whole) * -1000000.0);
      break;
    }
    default:  // min, and the first variable
      *key1 = min;
      break;
  }
}

void fd_delete(lv_foreign_env* env, fd_t vars, fd_t selected, fd_w heuristic_atom) {
  const fd_solver_state* st = fd_state(env);
  lv_term h = static_cast<lv_term>(heuristic_atom);
  int64_t heuristic = FD_HEUR_FIRST;
  if (h == st->atom_min) heuristic = FD_HEUR_MIN;
  else if (h == st->atom_max) heuristic = FD_HEUR_MAX;
  for (int64_t i = 0; i < FD_HEURISTIC_COUNT; i++)
    if (h == st->heuristics[i]) heuristic = FD_HEUR_FF + i;
  lv_term l = fd_deref(fd_termref(env, vars));
  if (!fd_is_list(l)) {
    fd_rt::fail(env);
    return;
  }
  // The first element is the first candidate; one that is no unbound
  // variable gives way to any scored one.
  lv_term best = fd_deref(fd_list_cells(l)[0]);
  int64_t b1 = INT64_MAX, b2 = INT64_MAX;
  bool scored = fd_is_ref(best) && fd_rt::get_attributes(env, best, st->module) != 0;
  if (scored) fd_var_score(env, best, heuristic, &b1, &b2);
  if (heuristic != FD_HEUR_FIRST) {
    lv_term slow = l;  // half speed: a cyclic list ends the walk
    uint64_t steps = 0;
    for (l = fd_deref(fd_list_cells(l)[1]); fd_is_list(l) && l != slow; l = fd_deref(fd_list_cells(l)[1])) {
      if (++steps % 2 == 0) slow = fd_deref(fd_list_cells(slow)[1]);
      if (heuristic == FD_HEUR_FF && scored && b1 == 2) break;
      lv_term v = fd_deref(fd_list_cells(l)[0]);
      if (!fd_is_ref(v) || fd_rt::get_attributes(env, v, st->module) == 0) continue;
      int64_t k1, k2;
      fd_var_score(env, v, heuristic, &k1, &k2);
      if (k1 < b1 || (k1 == b1 && k2 < b2)) {
        best = v;
        b1 = k1;
        b2 = k2;
        scored = true;
      }
    }
  }
  if (!fd_rt::unify_terms(env, fd_termref(env, selected), best)) fd_rt::fail(env);
}
