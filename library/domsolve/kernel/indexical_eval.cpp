// The indexical evaluator: a stack machine over a checked definition's
// code, whose value stack lives in argument registers above the live ones
// (so that the collector sees it), computing a range to tell the target
// variable or deciding a reified check.
#include "arith/bounds.h"
#include "kernel/attributes.h"
#include "kernel/dvar.h"
#include "kernel/errors.h"
#include "kernel/indexical.h"
#include "kernel/indexical_sets.h"
#include "kernel/propagation.h"
#include "kernel/roots.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

constexpr lv_term ZERO = fd_make_small(0);
constexpr lv_term ONE = fd_make_small(1);

// How an evaluation ends.
enum outcome { FINISH, WAIT, FAIL, UNDECIDED, MALFORMED };

struct machine {
  lv_foreign_env* env;
  fd_engine* w;
  fd_solver_state* st;
  const fd_definition* def;
  lv_term_ref actions;
  lv_term_ref ix;
  int base;  // the stack's first X register
  int sp = 0;
  bool all_fixed = true;
  bool malformed = false;
  dvar target{};
  lv_term loop[FD_IX_REGISTERS - FD_IX_FIRST_LOOP_REGISTER] = {};

  lv_term indexical() const { return fd_deref(fd_termref(env, ix)); }
  int live() const { return base + sp; }

  void push(lv_term t) {
    if (sp >= FD_IX_STACK) {
      malformed = true;
      return;
    }
    w->X[base + sp++] = t;
  }
  lv_term pop() {
    if (sp == 0) {
      malformed = true;
      return FD_NIL;
    }
    return w->X[base + --sp];
  }
  lv_term& top() {
    if (sp == 0) {
      malformed = true;
      w->X[base] = FD_NIL;
      return w->X[base];
    }
    return w->X[base + sp - 1];
  }

  // The attribute of variable position k (1 = the tuple's first argument).
  lv_term attribute(int64_t k) {
    lv_term tuple = fd_deref(fd_arg(indexical(), 6));
    if (!fd_is_compound_struct(tuple) || k < 1 || k > fd_functor_arity(fd_functor_of(tuple))) {
      malformed = true;
      return 0;
    }
    lv_term a = fd_deref(fd_arg(tuple, static_cast<unsigned>(k)));
    if (fd_functor_of(a) != FD_FUNCTOR_V_7) {
      malformed = true;
      return 0;
    }
    return a;
  }
  lv_term domain(int64_t k) {
    lv_term a = attribute(k);
    return a == 0 ? ZERO : fd_attribute_domain(a);
  }
  // The variable's domain as a set, its minimum, its maximum.
  lv_term var_set(int64_t k) {
    lv_term d = domain(k);
    if (fd_is_small(d)) return fdset_interval(env, d, d);
    all_fixed = false;
    return fd_deref(fd_arg(d, 1));
  }
  lv_term var_bound(int64_t k, int which) {
    lv_term d = domain(k);
    if (fd_is_small(d)) return d;
    all_fixed = false;
    return fd_deref(fd_arg(d, which));
  }
  // The value of a fixed variable, or 0 (the indexical must wait).
  lv_term var_value(int64_t k) {
    lv_term d = domain(k);
    return fd_is_small(d) ? d : 0;
  }
  lv_term reg(int64_t k) {
    if (k == 0) return target.min;
    if (k == 1) return target.max;
    if (k == 2) return dvar_get_set(env, &target);
    return loop[k - FD_IX_FIRST_LOOP_REGISTER];
  }

  bool is_bound(lv_term t) { return fd_is_small(t) || t == FD_INF || t == FD_SUP; }
  bool is_set(lv_term t) { return t == FD_NIL || fd_is_list(t); }
  lv_term value_arg(lv_term t) {
    if (!is_bound(t)) malformed = true;
    return is_bound(t) ? t : ZERO;
  }
  lv_term set_arg(lv_term t) {
    if (!is_set(t)) malformed = true;
    return is_set(t) ? t : FD_NIL;
  }

  outcome run();
  outcome tell_range(lv_term lo, lv_term hi);
  outcome tell_set(fdset s);
  outcome tell_value(lv_term v);
  outcome check(int op);
  outcome decide(bool positive_truth);
};

lv_term singleton_or_nil(const lv_foreign_env* env, bool yes, lv_term v) {
  return yes ? fdset_interval(env, v, v) : FD_NIL;
}

outcome machine::tell_range(lv_term lo, lv_term hi) {
  if (malformed) return MALFORMED;
  if (lo == hi && !fd_is_small(lo)) {
    fd_set_overflow(env, lo == FD_INF ? FD_OVERFLOW_INF : FD_OVERFLOW_SUP);
    return FINISH;
  }
  if (dvar_is_fixed(&target)) {
    bool in = fd_bound_compare(lo, target.min) <= 0 && fd_bound_compare(target.min, hi) <= 0;
    return in ? FINISH : FAIL;
  }
  if (st->debug || !dvar_is_interval(&target)) {
    int r = dvar_fix_interval(env, &target, lo, hi);
    if (r < 0) return FAIL;
    if (r > 0) dvar_export_mode(env, &target, st->debug != 0, actions, live());
    return FINISH;
  }
  return dvar_bounds_fix_interval(env, &target, lo, hi, live()) ? FINISH : FAIL;
}

outcome machine::tell_set(fdset s) {
  if (malformed) return MALFORMED;
  if (s == FD_NIL) return FAIL;
  if (fdset_rest(s) == FD_NIL) return tell_range(fdset_first_min(s), fdset_first_max(s));
  if (dvar_is_fixed(&target)) return fdset_member(target.min, s) ? FINISH : FAIL;
  int r = dvar_fix_set(env, &target, fdset_copy_off_heap(env, s));
  if (r < 0) return FAIL;
  if (r > 0) dvar_export_mode(env, &target, st->debug != 0, actions, live());
  return FINISH;
}

outcome machine::tell_value(lv_term v) {
  if (malformed) return MALFORMED;
  if (dvar_is_fixed(&target)) return v == target.min ? FINISH : FAIL;
  if (!st->debug && dvar_is_interval(&target))
    return dvar_bounds_fix_value(env, &target, v, live()) ? FINISH : FAIL;
  return tell_range(v, v);
}

// A decided check: the status and the reification variable get the truth
// value.
outcome machine::decide(bool truth) {
  if (malformed) return MALFORMED;
  lv_term t = truth ? ONE : ZERO;
  lv_term p = indexical();
  lv_term reif = fd_deref(fd_arg(p, 5));
  if (fd_is_small(reif)) {
    if (reif != t) return FAIL;
  } else if (fd_is_ref(reif)) {
    lv_term a = fd_deref(fd_arg(p, 7));
    if (fd_functor_of(a) == FD_FUNCTOR_V_7) {
      lv_term d = fd_attribute_domain(a);
      if (fd_is_small(d)) {
        if (d != t) return FAIL;
      } else {
        if (!fdset_member(t, fd_deref(fd_arg(d, 1)))) return FAIL;
        fd_tell_value(env, a, reif, t, live());
      }
    } else {
      fd_bind(env, fd_ref_cell(reif), t);
    }
  } else {
    return FAIL;
  }
  p = indexical();
  lv_term status = fd_deref(fd_arg(p, 4));
  if (fd_is_ref(status)) fd_bind(env, fd_ref_cell(status), t);
  st->entailments++;
  return UNDECIDED;  // the status is bound already; the ending only reports
}

outcome machine::check(int op) {
  bool t = (def->flags & FD_IX_TRUE) != 0;
  int verdict = 0;  // 1 positive, -1 negative, 0 undecided
  fdset dom = dvar_get_set(env, &target);
  bool fixed = dvar_is_fixed(&target);
  auto value_check = [&](lv_term v) {
    if (fixed && target.min == v) return 1;
    if (!dvar_contains(&target, v)) return -1;
    return 0;
  };
  auto range_check = [&](lv_term lo, lv_term hi) {
    if (lo == hi && fd_is_small(lo)) return value_check(lo);
    if (fd_bound_compare(lo, hi) > 0) return -1;
    if (fixed) return fd_bound_compare(lo, target.min) <= 0 && fd_bound_compare(target.min, hi) <= 0 ? 1 : -1;
    int r = fdset_compare_interval(dom, lo, hi);
    if (r == FDSET_EQUAL || r == FDSET_INSIDE) return 1;
    if (r == FDSET_DISJOINT) return -1;
    return 0;
  };
  auto set_check = [&](fdset s) {
    if (s == FD_NIL) return -1;
    if (fixed) return fdset_member(target.min, s) ? 1 : -1;
    int r = fdset_compare(dom, s);
    if (r == FDSET_EQUAL || r == FDSET_INSIDE) return 1;
    if (r == FDSET_DISJOINT) return -1;
    return 0;
  };
  switch (op) {
    case 53: verdict = 1; break;
    case 54: verdict = range_check(FD_INF, value_arg(pop())); break;
    case 55: verdict = range_check(value_arg(pop()), FD_SUP); break;
    case 56: {
      lv_term hi = value_arg(pop()), lo = value_arg(pop());
      verdict = range_check(lo, hi);
      break;
    }
    case 57: verdict = value_check(value_arg(pop())); t = !t; break;
    case 59: verdict = value_check(value_arg(pop())); break;
    case 60: verdict = set_check(set_arg(pop())); break;
    case 58: verdict = -set_check(set_arg(pop())); break;
  }
  if (malformed) return MALFORMED;
  if (verdict > 0) return decide(t);
  if (verdict < 0 && all_fixed) return decide(!t);
  return UNDECIDED;
}

outcome machine::run() {
  const uint64_t* code = def->code;
  int64_t n = def->code_length;
  int64_t pc = 0;
  while (pc < n) {
    if (malformed) return MALFORMED;
    int64_t op = static_cast<int64_t>(code[pc++]);
    if (op > FD_IX_LAST_OPCODE) continue;
    if (op >= 65 && op <= 68) op -= 36;
    auto operand = [&]() { return static_cast<int64_t>(code[pc++]); };
    switch (op) {
      // Pushing.
      case 41: push(static_cast<lv_term>(operand())); break;
      case 18: push(reg(operand())); break;
      case 25: case 26: case 27: case 28: {
        int64_t k = op == 25 ? operand() : op - 25;
        lv_term v = var_value(k);
        if (v == 0) return malformed ? MALFORMED : WAIT;
        push(v);
        break;
      }
      case 29: case 30: case 31: case 32: push(var_set(op == 29 ? operand() : op - 29)); break;
      case 33: case 34: case 35: case 36: push(var_bound(op == 33 ? operand() : op - 33, 2)); break;
      case 37: case 38: case 39: case 40: push(var_bound(op == 37 ? operand() : op - 37, 3)); break;
      case 71: push(fd_deref(fd_arg(fd_deref(fd_arg(indexical(), 6)), 1))); break;
      case 1: push(fdset_interval(env, FD_INF, FD_SUP)); break;

      // Values to sets, set algebra.
      case 0: { lv_term v = value_arg(top()); top() = fdset_interval(env, v, v); break; }
      case 8: { lv_term v = value_arg(top()); top() = fdset_interval_complement(env, v, v); break; }
      case 2: { lv_term v = value_arg(top()); top() = v == FD_INF ? FD_NIL : fdset_interval(env, FD_INF, v); break; }
      case 3: { lv_term v = value_arg(top()); top() = v == FD_SUP ? FD_NIL : fdset_interval(env, v, FD_SUP); break; }
      case 4: {
        lv_term hi = value_arg(pop()), lo = value_arg(top());
        if (malformed) return MALFORMED;
        if (lo == hi && !fd_is_small(lo)) {
          fd_set_overflow(env, lo == FD_INF ? FD_OVERFLOW_INF : FD_OVERFLOW_SUP);
          return FINISH;
        }
        top() = fdset_interval(env, lo, hi);
        break;
      }
      case 10: { lv_term b = value_arg(pop()); top() = fdset_pair(env, value_arg(top()), b); break; }
      case 14: { lv_term b = value_arg(pop()); lv_term a = value_arg(top()); top() = singleton_or_nil(env, a == b, a); break; }
      case 76: { lv_term b = value_arg(pop()); lv_term a = value_arg(top()); top() = singleton_or_nil(env, a != b, a); break; }
      case 15: { fdset s = set_arg(pop()); lv_term a = value_arg(top()); top() = singleton_or_nil(env, fdset_member(a, s), a); break; }
      case 77: { fdset s = set_arg(pop()); lv_term a = value_arg(top()); top() = singleton_or_nil(env, !fdset_member(a, s), a); break; }
      case 16: { lv_term v = value_arg(pop()); fdset s = set_arg(top()); top() = singleton_or_nil(env, fdset_member(v, s), v); break; }
      case 11: { fdset s = set_arg(pop()); top() = fdset_add_value(env, value_arg(top()), s); break; }
      case 12: { lv_term v = value_arg(pop()); top() = fdset_add_value(env, v, set_arg(top())); break; }
      case 78: { lv_term v = value_arg(pop()); top() = fdset_delete_value(env, set_arg(top()), v); break; }
      case 9: top() = fdset_complement_op(env, set_arg(top())); break;
      case 13: { fdset b = set_arg(pop()); top() = fdset_union(env, set_arg(top()), b); break; }
      case 17: { fdset b = set_arg(pop()); top() = fdset_intersection(env, set_arg(top()), b); break; }
      case 79: { fdset b = set_arg(pop()); top() = fdset_subtract(env, set_arg(top()), b); break; }
      case 5: { lv_term c = value_arg(pop()); top() = fdset_add_constant(env, set_arg(top()), c); break; }
      case 6: { lv_term c = value_arg(pop()); top() = fdset_add_constant(env, set_arg(top()), fd_bound_neg(c)); break; }
      case 73: { lv_term c = value_arg(pop()); top() = fdset_reflect(env, set_arg(top()), c); break; }
      case 74: { fdset b = set_arg(pop()); top() = fdset_combine(env, set_arg(top()), b, FD_INF, FD_SUP); break; }
      case 75: { fdset b = set_arg(pop()); top() = fdset_combine_difference(env, set_arg(top()), b, FD_INF, FD_SUP); break; }
      case 7: case 86: {
        lv_term c = value_arg(pop());
        if (!fd_is_small(c) || c == ZERO) return malformed ? MALFORMED : FINISH;
        fdset s = set_arg(top());
        top() = op == 7 ? fdset_mod_set(env, s, fd_small_value(c)) : fdset_rem_set(env, s, fd_small_value(c));
        break;
      }

      // Value arithmetic.
      case 19: {
        lv_term b = value_arg(pop()), a = value_arg(top());
        if ((a == FD_INF && b == FD_SUP) || (a == FD_SUP && b == FD_INF)) return FINISH;
        top() = fd_bound_add(a, b);
        break;
      }
      case 20: {
        lv_term b = value_arg(pop()), a = value_arg(top());
        if (!fd_is_small(a) && a == b) return FINISH;
        top() = fd_bound_sub(a, b);
        break;
      }
      case 21: case 42: case 80: case 22: case 43: case 81: case 23: case 44: case 82: {
        int64_t k = operand();
        lv_term factor = (op == 21 || op == 22 || op == 23) ? static_cast<lv_term>(k)
                         : (op == 42 || op == 43 || op == 44) ? var_value(k) : reg(k);
        if (factor == 0) return malformed ? MALFORMED : WAIT;
        factor = value_arg(factor);
        lv_term a = value_arg(top());
        lv_term r = (op == 21 || op == 42 || op == 80)   ? fd_bound_mul(a, factor)
                    : (op == 22 || op == 43 || op == 81) ? fd_bound_div_floor(a, factor)
                                                         : fd_bound_div_ceil(a, factor);
        if (r == FD_BOUND_UNDEFINED) return FINISH;
        top() = r;
        break;
      }
      case 24: case 85: {
        lv_term b = value_arg(pop()), a = value_arg(top());
        if (b == ZERO || !fd_is_small(a)) return FINISH;
        if (!fd_is_small(b)) break;  // an infinite divisor leaves a
        int64_t x = fd_small_value(a), y = fd_small_value(b);
        int64_t r = x % y;
        if (op == 24 && r != 0 && ((r < 0) != (y < 0))) r += y;
        top() = fd_make_small(r);
        break;
      }

      // Control.
      case 61: {
        int64_t k = operand();
        if (set_arg(top()) == FD_NIL) {
          pop();
        } else {
          top() = fdset_interval(env, FD_INF, FD_SUP);
          pc = k;
        }
        break;
      }
      case 62: {
        int64_t k = operand();
        if (set_arg(top()) == FD_NIL) pc = k;
        else pop();
        break;
      }
      case 63: {
        int64_t k = operand();
        fdset s = set_arg(top());
        top() = FD_NIL;
        if (s == FD_NIL) {
          pc = k;
          break;
        }
        if (!fd_is_small(fdset_first_min(s)) || !fd_is_small(fdset_max(s))) return malformed ? MALFORMED : FINISH;
        int64_t r = static_cast<int64_t>(code[k - 2]), body = static_cast<int64_t>(code[k - 1]);
        lv_term first;
        fdset rest = fdset_split_first(env, s, &first);
        loop[r - FD_IX_FIRST_LOOP_REGISTER] = first;
        push(rest);
        pc = body;
        break;
      }
      case 64: {
        int64_t r = operand(), body = operand();
        fdset result = set_arg(pop());
        fdset rest = set_arg(pop());
        top() = fdset_union(env, set_arg(top()), result);
        if (rest != FD_NIL) {
          lv_term first;
          rest = fdset_split_first(env, rest, &first);
          loop[r - FD_IX_FIRST_LOOP_REGISTER] = first;
          push(rest);
          pc = body;
        }
        break;
      }
      case 69: {
        int64_t t = operand(), d = operand();
        fd_hash_entry* e = fd_rt::gethash(env, reinterpret_cast<void*>(def->stored[t].term), top());
        if (e != nullptr && e->key == top()) {
          top() = fd_make_small(d);
          pc = static_cast<int64_t>(e->value);
        } else {
          top() = FD_NIL;
          pc = d;
        }
        break;
      }
      case 70: {
        lv_term result = pop();
        lv_term address = pop();
        if (malformed || !fd_is_small(address) || fd_small_value(address) < 0 ||
            fd_small_value(address) > n || !def->starts[fd_small_value(address)])
          return MALFORMED;
        push(result);
        pc = fd_small_value(address);
        break;
      }
      case 45: return FINISH;
      case 72: return FAIL;

      // Tells.
      case 46: return tell_range(FD_INF, value_arg(pop()));
      case 47: return tell_range(value_arg(pop()), FD_SUP);
      case 48: { lv_term hi = value_arg(pop()), lo = value_arg(pop()); return malformed ? MALFORMED : tell_range(lo, hi); }
      case 51: { lv_term v = value_arg(pop()); return malformed ? MALFORMED : tell_value(v); }
      case 49: {
        lv_term v = value_arg(pop());
        if (malformed) return MALFORMED;
        int r = dvar_prune_interval(env, &target, v, v);
        if (r < 0) return FAIL;
        if (r > 0) dvar_export_mode(env, &target, st->debug != 0, actions, live());
        return FINISH;
      }
      case 52: { fdset s = set_arg(pop()); return malformed ? MALFORMED : tell_set(s); }
      case 50: {
        fdset s = set_arg(pop());
        if (malformed) return MALFORMED;
        int r = dvar_prune_set(env, &target, fdset_copy_off_heap(env, s));
        if (r < 0) return FAIL;
        if (r > 0) dvar_export_mode(env, &target, st->debug != 0, actions, live());
        return FINISH;
      }
      case 83: case 84: {
        fdset b = set_arg(pop()), a = set_arg(pop());
        if (malformed) return MALFORMED;
        fdset s = op == 83 ? fdset_combine(env, a, b, target.min, target.max)
                           : fdset_combine_difference(env, a, b, target.min, target.max);
        return tell_set(s);
      }

      // Checks.
      case 53: case 54: case 55: case 56: case 57: case 58: case 59: case 60: return check(static_cast<int>(op));
      default:
        return MALFORMED;
    }
  }
  return malformed ? MALFORMED : FINISH;
}

}  // namespace

int fd_eval_indexical_code(lv_foreign_env* env, lv_term_ref actions, lv_term_ref ix, int live) {
  if (ix == 0) return 0;
  fd_engine* w = fd_engine_of(env);
  fd_solver_state* st = fd_state(env);
  lv_term p = fd_deref(fd_termref(env, ix));
  if (fd_functor_of(p) != fd_functor(FD_ATOM_INDEXICAL, 8) || live + FD_IX_STACK > 256) return 0;
  auto* def = static_cast<const fd_definition*>(fd_term_pointer(fd_deref(fd_arg(p, 1))));
  machine m{env, w, st, def, actions, ix, live};
  fd_scratch_reset(env);
  lv_term a = m.attribute(static_cast<int64_t>(def->flags & FD_IX_TARGET_MASK));
  outcome o = MALFORMED;
  if (a != 0) {
    dvar_init_full(env, &m.target, a, fd_deref(fd_arg(a, FD_ATTR_VAR)));
    o = m.run();
  }
  p = m.indexical();
  fd_set_item_flags(p, fd_item_flags(p) & ~(FD_PROP_QUEUED | FD_PROP_RUNNING));
  // Any bad operand met on the way ends the evaluation as malformed, also
  // where the code then finished or waited: nothing is told or decided on
  // a value that stood in for it.
  if (m.malformed) o = MALFORMED;
  fd_unpin_to(env, 0);
  switch (o) {
    case FINISH:
      if (m.all_fixed) {
        st->entailments++;
        lv_term status = fd_deref(fd_arg(p, 4));
        if (fd_is_ref(status)) fd_bind(env, fd_ref_cell(status), ONE);
      }
      return fd_report_overflow(env, fd_deref(fd_arg(p, 2)));
    case UNDECIDED:
      return fd_report_overflow(env, fd_deref(fd_arg(p, 2)));
    case WAIT: {
      uint64_t wait = (def->flags & FD_IX_WAIT16) ? 16 : 8;
      for (int32_t i = 0; i < def->entry_count; i++) {
        uint64_t e = def->entries[i];
        if ((e & wait) == 0) continue;
        lv_term attr = m.attribute(static_cast<int64_t>(e >> 8));
        if (attr == 0 || fd_is_small(fd_attribute_domain(attr))) continue;
        fd_add_suspension(env, attr, st->event_templates[e & 7], p, FD_NIL, live);
        break;
      }
      return 1;
    }
    case FAIL: {
      lv_term tuple = fd_deref(fd_arg(p, 6));
      unsigned n = fd_is_compound_struct(tuple) ? fd_functor_arity(fd_functor_of(tuple)) : 0;
      for (unsigned i = 1; i <= n; i++) {
        lv_term attr = fd_deref(fd_arg(tuple, i));
        if (fd_functor_of(attr) != FD_FUNCTOR_V_7) continue;
        lv_term* weight = &fd_struct_cells(attr)[FD_ATTR_WEIGHT];
        if (fd_is_small(*weight)) *weight = fd_make_small(fd_small_value(*weight) + 1);
      }
      return 0;
    }
    case MALFORMED:
    default:
      fd_raise_system_error(env, "malformed indexical");
      return 0;
  }
}

int fd_run_indexical(lv_foreign_env* env, lv_term_ref indexical) {
  lv_term_ref actions = fd_rt::new_term_ref(env);
  fd_termref(env, actions) = FD_NIL;
  int r = fd_eval_indexical_code(env, actions, indexical, 0);
  // A queued export that found the domain emptied meanwhile leaves `fail`.
  for (lv_term l = fd_deref(fd_termref(env, actions)); r != 0 && fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]))
    if (fd_deref(fd_list_cells(l)[0]) == FD_ATOM_FAIL) r = 0;
  fd_rt::reset_term_refs(env, actions);
  return r;
}
