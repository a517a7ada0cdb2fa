// The reified scalar product's entry ($fd_linear_reif, propagator-table row
// scalar_product_reif/5): it reads the mode from the state, checks at the
// first call that the summands fit the variant the mode selects (a variant
// relies on what the mode claims: 64-bit sums, 0/1 variables, unit
// coefficients, a count of one to three; a claim that does not hold sends
// the constraint to the generic variant for good), runs the variant and
// ends through the propagator exit. What the variants share lies here too.
#include "arith/linear.h"
#include "kernel/attributes.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

lin_variant lin_select(int64_t mode, int* count) {
  *count = 0;
  if (mode < 0 || mode > 31) return LIN_GENERIC;
  int m = static_cast<int>(mode >> 3), k = static_cast<int>(mode & 7);
  *count = m;
  bool fixed = m != 0;
  switch (k) {
    case 1: case 5: return fixed ? LIN_M_K15 : LIN_K15;
    case 2: case 3: return fixed ? LIN_M_K23 : LIN_K23;
    case 6: case 7: return fixed ? LIN_M_K67 : LIN_K67;
    default: return fixed ? LIN_M_K04 : LIN_GENERIC;
  }
}

int lin_effective(int r, lv_term bmin, lv_term bmax) {
  if (bmin == fd_make_small(1)) return r;
  if (bmax == fd_make_small(0)) return 7 - r;
  return r + 6;
}

int lin_status(int e, int le, int ge, int unfixed) {
  switch (e) {
    case LIN_LT: return le <= 0 ? 4 : ge < 0 ? 3 : 2;
    case LIN_LE: return le < 0 ? 4 : ge <= 0 ? 3 : 2;
    case LIN_EQ: return le < 0 || ge < 0 ? 4 : le == 0 && ge == 0 ? 3 : 2;
    case LIN_NE: return unfixed < 2 ? 3 : 2;
    case LIN_GT: return ge <= 0 ? 4 : le < 0 ? 3 : 2;
    case LIN_GE: return ge < 0 ? 4 : le <= 0 ? 3 : 2;
    default: return 2;
  }
}

int lin_decide(int e, int le, int ge) {
  switch (e) {
    case 7: return ge < 0 ? 1 : le <= 0 ? 0 : -1;
    case 8: return ge <= 0 ? 1 : le < 0 ? 0 : -1;
    case 9: return le == 0 && ge == 0 ? 1 : le < 0 || ge < 0 ? 0 : -1;
    case 10: return le < 0 || ge < 0 ? 1 : le == 0 && ge == 0 ? 0 : -1;
    case 11: return le < 0 ? 1 : ge <= 0 ? 0 : -1;
    case 12: return le <= 0 ? 1 : ge < 0 ? 0 : -1;
    default: return -1;
  }
}

fd_int192 lin_num<fd_int192>::add(const lv_foreign_env* env, const fd_int192& a, const fd_int192& b) {
  int overflow = 0;
  fd_int192 r = fd_int192_ops::add(a, b, &overflow);
  if (overflow != 0) fd_set_overflow(env, overflow);
  return r;
}

fd_int192 lin_num<fd_int192>::sub(const lv_foreign_env* env, const fd_int192& a, const fd_int192& b) {
  int overflow = 0;
  fd_int192 r = fd_int192_ops::sub(a, b, &overflow);
  if (overflow != 0) fd_set_overflow(env, overflow);
  return r;
}

namespace {

int small_or_side(const fd_int192& q, int64_t* out) {
  if (fd_int192_ops::to_small(q, out)) return 0;
  return fd_int192_ops::is_negative(q) ? -1 : 1;
}

int small_or_side(int64_t q, int64_t* out) {
  *out = q;
  return q < FD_SMALL_MIN ? -1 : q > FD_SMALL_MAX ? 1 : 0;
}

}  // namespace

int lin_num<fd_int192>::div_floor(const fd_int192& t, int64_t d, int64_t* q) {
  return small_or_side(fd_int192_ops::divide(t, d, fd_int192_ops::FLOOR), q);
}
int lin_num<fd_int192>::div_ceil(const fd_int192& t, int64_t d, int64_t* q) {
  return small_or_side(fd_int192_ops::divide(t, d, fd_int192_ops::CEIL), q);
}

int lin_num<int64_t>::div_floor(int64_t t, int64_t d, int64_t* q) {
  int64_t r = t / d;
  if ((t % d != 0) && ((t < 0) != (d < 0))) r--;
  return small_or_side(r, q);
}
int lin_num<int64_t>::div_ceil(int64_t t, int64_t d, int64_t* q) {
  int64_t r = t / d;
  if ((t % d != 0) && ((t < 0) == (d < 0))) r++;
  return small_or_side(r, q);
}

namespace {

// Whether the summands, read from the state's list, fit the variant: a
// proper list of t(A, X, Attribute) with nonzero small coefficients (a zero
// one only in the generic variant, which leaves it out), and what the
// variant's mode claims of them.
bool fits(lv_term state, lin_variant variant, int count) {
  lv_term list = fd_deref(fd_arg(state, 1));
  int64_t n = 0;
  __int128 reach = 0;  // a bound on every partial sum, for the 64-bit variants
  lv_term c = fd_deref(fd_arg(state, 3));
  bool boolean = variant == LIN_K23 || variant == LIN_M_K23 || variant == LIN_K67 || variant == LIN_M_K67;
  bool unit = variant == LIN_K67 || variant == LIN_M_K67;
  bool wide = variant == LIN_GENERIC || variant == LIN_M_K04;
  if (!wide && !fd_is_small(c)) return false;
  if (fd_is_small(c)) reach = fd_small_value(c) < 0 ? -static_cast<__int128>(fd_small_value(c)) : fd_small_value(c);
  for (; fd_is_list(list); list = fd_deref(fd_list_cells(list)[1])) {
    n++;
    lv_term t = fd_deref(fd_list_cells(list)[0]);
    lv_term a = fd_deref(fd_arg(t, 1));
    int64_t av = fd_small_value(a);
    if (av == 0 && variant != LIN_GENERIC) return false;
    if (unit && av != 1 && av != -1) return false;
    lv_term d = fd_attribute_domain(fd_deref(fd_arg(t, 3)));
    lv_term lo = fd_is_small(d) ? d : fd_deref(fd_arg(d, 2)), hi = fd_is_small(d) ? d : fd_deref(fd_arg(d, 3));
    if (boolean && (fd_bound_compare(lo, fd_make_small(0)) < 0 || fd_bound_compare(hi, fd_make_small(1)) > 0))
      return false;
    if (!wide) {
      if (!fd_is_small(lo) || !fd_is_small(hi)) return false;
      __int128 m = fd_small_value(lo) < 0 ? -static_cast<__int128>(fd_small_value(lo)) : fd_small_value(lo);
      __int128 mh = fd_small_value(hi) < 0 ? -static_cast<__int128>(fd_small_value(hi)) : fd_small_value(hi);
      if (mh > m) m = mh;
      reach += m * (av < 0 ? -static_cast<__int128>(av) : av);
      if (reach > (static_cast<__int128>(1) << 61)) return false;
    }
  }
  return count == 0 || n == count;
}

// Whether the state term is well formed: a relation 1-6, a proper list of
// t(A, X, Attribute) with small coefficients and attributes, an integer
// right-hand side, a pair for B with its attribute.
bool well_formed(lv_term state) {
  if (!fd_is_compound_struct(state) || fd_functor_arity(fd_functor_of(state)) != 7) return false;
  lv_term p = fd_deref(fd_arg(state, 2));
  if (!fd_is_small(p) || (fd_small_value(p) & 7) < 1 || (fd_small_value(p) & 7) > 6) return false;
  fd_int192 c;
  if (!fd_int192_ops::from_term(fd_arg(state, 3), &c)) return false;
  lv_term b = fd_deref(fd_arg(state, 4));
  if (!fd_is_compound_struct(b) || fd_functor_arity(fd_functor_of(b)) != 2 ||
      fd_functor_of(fd_deref(fd_arg(b, 2))) != FD_FUNCTOR_V_7)
    return false;
  return lin_summands_well_formed(fd_arg(state, 1), true);
}

}  // namespace

bool lin_summands_well_formed(lv_term list, bool zero_allowed) {
  list = fd_deref(list);
  if (fd_proper_length(list) < 0) return false;
  for (; fd_is_list(list); list = fd_deref(fd_list_cells(list)[1])) {
    lv_term t = fd_deref(fd_list_cells(list)[0]);
    if (!fd_is_compound_struct(t) || fd_functor_arity(fd_functor_of(t)) != 3 || !fd_is_small(fd_deref(fd_arg(t, 1))) ||
        (!zero_allowed && fd_deref(fd_arg(t, 1)) == fd_make_small(0)) ||
        fd_functor_of(fd_deref(fd_arg(t, 3))) != FD_FUNCTOR_V_7)
      return false;
  }
  return true;
}

int fd_linear_reif(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  int64_t p = fd_small_value(fd_deref(fd_arg(state, 2)));
  if (fd_is_ref(handle)) {
    // The first call: the state is checked, and the variant too.
    if (!well_formed(state)) {
      fd_raise_system_error(env, "scalar_product_reif: malformed state");
      return 0;
    }
    int count;
    lin_variant v = lin_select(static_cast<int32_t>(p) >> 3, &count);
    if (v != LIN_GENERIC && !fits(state, v, count)) {
      p &= 7;
      fd_struct_cells(state)[2] = fd_make_small(p);
    }
  }
  int count;
  lin_variant variant = lin_select(static_cast<int32_t>(p) >> 3, &count);
  int status = lin_run(env, state_ref, new_state, actions, goal, variant, count);
  if (status == 0) return 0;  // an error was raised
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}
