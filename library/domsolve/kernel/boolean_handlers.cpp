// The loop's handlers of Boolean work: implications (queue 1), disequations
// over 0/1 variables whose open count dropped to one (queue 2) and clause
// watchers woken by a value (queue 3). A conflict adds 1 to the failure
// weight of the variables involved and answers 0.
//
// A Boolean is named by a term whose second argument is its variable or
// that variable's attribute (literal terms, the Booleans of a disequation,
// the first argument of an implication), by the attribute itself, or by the
// variable; a variable bound meanwhile reads as its value.
#include <initializer_list>

#include "kernel/attributes.h"
#include "kernel/fdset.h"
#include "kernel/labeling.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

struct boolean {
  lv_term attribute;  // v/7, or 0 for a variable without one or a value
  lv_term var;        // the unbound variable, or the value
  bool fixed;
  int64_t min, max;  // plain; the value twice when fixed
};

boolean read_boolean(const lv_foreign_env* env, lv_term t) {
  t = fd_deref(t);
  if (fd_is_compound_struct(t) && fd_functor_of(t) != FD_FUNCTOR_V_7 && fd_functor_arity(fd_functor_of(t)) >= 2)
    t = fd_deref(fd_arg(t, 2));
  boolean b{0, t, false, 0, 1};
  if (fd_is_ref(t)) {
    lv_term a = fd_rt::get_attributes(env, t, fd_state(env)->module);
    if (a == 0) return b;
    t = fd_deref(a);
  }
  if (fd_functor_of(t) == FD_FUNCTOR_V_7) {
    b.attribute = t;
    b.var = fd_deref(fd_arg(t, FD_ATTR_VAR));
    lv_term d = fd_attribute_domain(t);
    if (fd_is_small(d)) {
      b.var = d;
    } else {
      b.min = fd_bound_key(fd_deref(fd_arg(d, 2)));
      b.max = fd_bound_key(fd_deref(fd_arg(d, 3)));
      return b;
    }
  }
  if (fd_is_small(b.var)) {
    b.fixed = true;
    b.min = b.max = fd_small_value(b.var);
  }
  return b;
}

void bump_weight(lv_term attribute) {
  if (fd_functor_of(attribute) != FD_FUNCTOR_V_7) return;
  lv_term* weight = &fd_struct_cells(attribute)[FD_ATTR_WEIGHT];
  lv_term v = fd_deref(*weight);
  if (fd_is_small(v) && fd_small_value(v) < FD_SMALL_MAX) *weight = fd_make_small(fd_small_value(v) + 1);
}

// Binds an open Boolean to value: 0 when the value is not in its domain.
int bind_boolean(const lv_foreign_env* env, const boolean& b, int64_t value, int xreg) {
  lv_term v = fd_make_small(value);
  if (b.attribute == 0) {
    if (fd_is_ref(b.var)) fd_bind(env, fd_ref_cell(b.var), v);
    return 1;
  }
  lv_term d = fd_attribute_domain(b.attribute);
  if (!fdset_member(v, fd_deref(fd_arg(d, 1)))) return 0;
  fd_tell_value(env, b.attribute, b.var, v, xreg);
  return 1;
}

void bind_status(const lv_foreign_env* env, lv_term status) {
  status = fd_deref(status);
  if (fd_is_ref(status)) fd_bind(env, fd_ref_cell(status), fd_make_small(1));
}

// The literals of a clause: arguments 5 (positive) and 6 (negative).
void bump_clause_weights(const lv_foreign_env* env, lv_term clause) {
  for (unsigned list : {5u, 6u})
    for (lv_term l = fd_deref(fd_arg(clause, list)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]))
      bump_weight(read_boolean(env, fd_list_cells(l)[0]).attribute);
}

// Whether a literal of the sign is true or still open.
bool literal_true(const boolean& b, bool positive) { return positive ? b.min != 0 : b.max == 0; }
bool literal_open(const boolean& b, bool positive) { return !b.fixed && !literal_true(b, positive); }

}  // namespace

int fd_implication_handler(lv_foreign_env* env, lv_term item) {
  boolean target = read_boolean(env, fd_arg(item, 1));
  lv_term forced = fd_deref(fd_arg(item, 2));
  if (!fd_is_small(forced)) return 1;
  int64_t w = fd_small_value(forced);
  if (!target.fixed) {
    if (bind_boolean(env, target, w, 0)) return 1;
  } else if (target.min == w) {
    return 1;
  }
  bump_weight(target.attribute);
  bump_weight(read_boolean(env, fd_arg(item, 3)).attribute);
  return 0;
}

int fd_disequation_handler(lv_foreign_env* env, lv_term item) {
  fd_solver_state* st = fd_state(env);
  lv_term c = fd_deref(fd_arg(item, 4));
  if (!fd_is_small(c)) return 1;
  // b = C - the coefficients of the Booleans fixed to 1; wide enough that no
  // sum of small integers wraps.
  __int128 b = fd_small_value(c), d = 0;
  int open = 0;
  boolean last{};
  lv_term coefficients = fd_deref(fd_arg(item, 2));
  for (lv_term l = fd_deref(fd_arg(item, 3)); fd_is_list(l) && fd_is_list(coefficients);
       l = fd_deref(fd_list_cells(l)[1]), coefficients = fd_deref(fd_list_cells(coefficients)[1])) {
    lv_term k = fd_deref(fd_list_cells(coefficients)[0]);
    int64_t coefficient = fd_is_small(k) ? fd_small_value(k) : 0;
    boolean x = read_boolean(env, fd_list_cells(l)[0]);
    if (!x.fixed) {
      open++;
      last = x;
      d = coefficient;
    } else if (x.min == 1) {
      b -= coefficient;
    }
  }
  if (open > 1) return 1;  // a later value decides
  if (open == 1) {
    // The open Boolean x must keep d * x != b: b = 0 forbids 0, b = d forbids
    // 1, and both at once (d = 0) leave nothing.
    if (b != 0 || d != 0) {
      if (b == 0 && !bind_boolean(env, last, 1, 0)) return 0;
      if (b == d && !bind_boolean(env, last, 0, 0)) return 0;
      st->resumptions++;
      st->entailments++;
      return 1;
    }
  } else if (b != 0) {
    st->resumptions++;
    st->entailments++;
    return 1;
  }
  for (lv_term l = fd_deref(fd_arg(item, 3)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]))
    bump_weight(read_boolean(env, fd_list_cells(l)[0]).attribute);
  return 0;
}

int fd_watcher_handler(lv_foreign_env* env, lv_term value, lv_term item) {
  fd_solver_state* st = fd_state(env);
  int64_t l = fd_small_value(fd_deref(fd_arg(item, 1)));
  lv_term status = fd_arg(item, 4);
  lv_term clause = fd_deref(fd_arg(item, 5));
  // The woken value makes the watched literal true: 0 for a negative
  // literal, anything else for a positive one.
  if ((fd_deref(value) == fd_make_small(0)) == (l < 0)) {
    st->entailments++;
    bind_status(env, status);
    return 1;
  }
  lv_term mode = fd_deref(fd_arg(item, 3));
  if (fd_is_small(mode) && mode != fd_make_small(0)) {
    // Binary mode: the other literal must hold, through the value in the
    // mode's low bit.
    int64_t forced = fd_small_value(mode) & 1;
    boolean other = read_boolean(env, fd_arg(item, 2));
    if (!other.fixed) {
      if (bind_boolean(env, other, forced, 0)) return 1;
    } else if (other.min == forced) {
      bind_status(env, status);
      st->resumptions++;
      st->entailments++;
      return 1;
    }
  } else if (fd_clause_update_watch(env, l, status, clause, 0)) {
    return 1;
  }
  bump_clause_weights(env, fd_deref(fd_arg(item, 5)));
  return 0;
}

int fd_clause_update_watch(lv_foreign_env* env, int64_t l, lv_term status, lv_term clause, int xreg) {
  fd_solver_state* st = fd_state(env);
  clause = fd_deref(clause);
  lv_term* cells = fd_struct_cells(clause);
  int64_t w1 = fd_small_value(fd_deref(cells[1])), w2 = fd_small_value(fd_deref(cells[2]));
  if (l != w1 && l != w2) return 1;
  int64_t o = l == w1 ? w2 : w1;
  int64_t new_watch = 0;
  bool entailed = false, o_open = false;
  boolean o_literal{};
  for (int sign = 1; sign >= -1 && !entailed; sign -= 2) {
    int64_t number = sign;
    for (lv_term list = fd_deref(cells[sign > 0 ? 5 : 6]); fd_is_list(list);
         list = fd_deref(fd_list_cells(list)[1]), number += sign) {
      boolean x = read_boolean(env, fd_list_cells(list)[0]);
      if (literal_true(x, sign > 0)) {
        entailed = true;
        break;
      }
      if (!literal_open(x, sign > 0)) continue;
      if (number == o) {
        o_open = true;
        o_literal = x;
      } else if (new_watch == 0 && number != l) {
        new_watch = number;
      }
    }
  }
  if (!entailed) {
    if (new_watch != 0) {
      // Watches need no restoring on backtracking: a literal that is open
      // again stays a valid watch.
      cells[l == w1 ? 1 : 2] = fd_make_small(new_watch);
      return 1;
    }
    if (!o_open) return 0;
    fd_engine* w = fd_engine_of(env);
    w->X[xreg] = status;
    if (!bind_boolean(env, o_literal, o > 0 ? 1 : 0, xreg + 1)) return 0;
    status = w->X[xreg];
  }
  bind_status(env, status);
  st->resumptions++;
  st->entailments++;
  return 1;
}
