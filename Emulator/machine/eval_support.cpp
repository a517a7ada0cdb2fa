// What the evaluable functions share.
#include "machine/eval_support.h"

#include "core/atoms.h"
#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "core/startup_records.h"
#include "machine/arith.h"

namespace lv_eval {

namespace {

constexpr lv_term ATOM_INF = lv_predefined_atom(9);
constexpr lv_term ATOM_NAN = lv_predefined_atom(77);

// The atom of an evaluable's name. Names are interned when an error needs
// them; should the atom table refuse, '$eval' stands in.
lv_term name_atom(const char* name) {
  lv_term atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  return atom != 0 ? atom : lv_atom_eval;
}

// Culprits: an operand (0 or 1), or an atom (inf, nan) standing for a
// result that is no finite number. X0 and X1 always receive the operands,
// so that the context rebuilds the expression as it was evaluated.
lv_term raise_error(lv_worker* w, int32_t code, int which, lv_term atom, const char* name, unsigned arity, lv_term x,
                    lv_term y) {
  // A frame being built at the local top is left before anything is pushed
  // there (lv_arith_error would leave it too).
  if (w->E == w->local_top) w->E = lv_frame_view(w->E)->previous();
  lv_term ox, oy;
  lv_arith_operands(w, x, arity == 2 ? y : 0, &ox, &oy);
  lv_term culprit = atom != 0 ? atom : which == 0 ? ox : oy;
  lv_set_pending_error(code, "", culprit);
  w->X[0] = ox;
  if (arity == 2) w->X[1] = oy;
  lv_arith_error(w, name_atom(name), arity);
  return 0;
}

lv_term raise_not_admitted(lv_worker* w, lv_term atom) {
  lv_set_pending_error(LV_ERROR_NOT_EVALUABLE, "", atom);
  w->X[0] = atom;
  lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_eval, 1, 1);
  return 0;
}

}  // namespace

int compare_integers(lv_term x, lv_term y) {
  if (lv_is_small(x) && lv_is_small(y)) {
    int64_t a = lv_small_value(x), b = lv_small_value(y);
    return a < b ? -1 : a > b ? 1 : 0;
  }
  lv_term sx, sy;
  const lv_term *lx, *ly;
  uint64_t nx = limbs_of(x, &sx, &lx);
  uint64_t ny = limbs_of(y, &sy, &ly);
  nx = significant_limbs(lx, nx);
  ny = significant_limbs(ly, ny);
  bool negative_x = static_cast<int64_t>(lx[nx - 1]) < 0;
  bool negative_y = static_cast<int64_t>(ly[ny - 1]) < 0;
  if (negative_x != negative_y) return negative_x ? -1 : 1;
  // Of equal signs, more limbs is further from zero.
  if (nx != ny) return (nx > ny) != negative_x ? 1 : -1;
  if (nx == 1) {
    int64_t a = static_cast<int64_t>(lx[0]), b = static_cast<int64_t>(ly[0]);
    return a < b ? -1 : a > b ? 1 : 0;
  }
  for (uint64_t i = nx; i-- > 0;)
    if (lx[i] != ly[i]) return lx[i] < ly[i] ? -1 : 1;
  return 0;
}

lv_term int_result(lv_worker* w, __int128 value) {
  if (value >= LV_SMALL_MIN && value <= LV_SMALL_MAX) return lv_make_small(static_cast<int64_t>(value));
  if (value >= INT64_MIN && value <= INT64_MAX) return lv_numstack_push_int(w, static_cast<int64_t>(value));
  lv_numstack_reserve(w, 3);
  lv_term* p = w->numstack_top;
  p[0] = LV_BOX_INT2;
  p[1] = static_cast<lv_term>(value);
  p[2] = static_cast<lv_term>(value >> 64);
  w->numstack_top = p + 3;
  return lv_make_struct(p);
}

lv_term float_result(lv_worker* w, double r, const char* name, unsigned arity, lv_term x, double xd, lv_term y,
                     double yd) {
  if (std::isfinite(r)) return lv_numstack_push_float(w, r);
  if (!std::isfinite(xd)) return raise_operand(w, LV_ERROR_NOT_FINITE, 0, name, arity, x, y);
  if (arity == 2 && !std::isfinite(yd)) return raise_operand(w, LV_ERROR_NOT_FINITE, 1, name, arity, x, y);
  return raise_result(w, r, name, arity, x, y);
}

lv_term kernel(lv_worker* w, lv_bignum_kernel k, lv_term x, lv_term y, const char* name, unsigned arity) {
  int32_t status = 0;
  lv_term r = lv_bignum_apply(w, k, x, arity == 2 ? y : x, &status);
  if (r == 0) return raise_kernel(w, status, name, arity, x, y);
  return r;
}

lv_term raise_operand(lv_worker* w, int32_t code, int which, const char* name, unsigned arity, lv_term x, lv_term y) {
  return raise_error(w, code, which, 0, name, arity, x, y);
}

lv_term raise_result(lv_worker* w, double r, const char* name, unsigned arity, lv_term x, lv_term y) {
  if (std::isnan(r)) return raise_error(w, LV_ERROR_UNDEFINED, 0, ATOM_NAN, name, arity, x, y);
  return raise_error(w, LV_ERROR_NOT_FINITE, 0, ATOM_INF, name, arity, x, y);
}

lv_term raise_kernel(lv_worker* w, int32_t status, const char* name, unsigned arity, lv_term x, lv_term y) {
  int32_t code = static_cast<int32_t>(static_cast<uint32_t>(-status) & 0xFFFF);
  return raise_error(w, code, code == LV_ERROR_ZERO_DIVISOR && arity == 2 ? 1 : 0, 0, name, arity, x, y);
}

bool integers_or_raise(lv_worker* w, const char* name, unsigned arity, lv_term x, lv_term y) {
  if (is_float(x)) {
    raise_operand(w, LV_ERROR_NOT_INTEGER, 0, name, arity, x, y);
    return false;
  }
  if (arity == 2 && is_float(y)) {
    raise_operand(w, LV_ERROR_NOT_INTEGER, 1, name, arity, x, y);
    return false;
  }
  return true;
}

}  // namespace lv_eval

lv_term lv_arith_raise_inf(lv_worker* w) { return lv_eval::raise_not_admitted(w, lv_predefined_atom(9)); }
lv_term lv_arith_raise_nan(lv_worker* w) { return lv_eval::raise_not_admitted(w, lv_predefined_atom(77)); }
