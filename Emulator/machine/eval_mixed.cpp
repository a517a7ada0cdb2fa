// Evaluable functions on integers and floats alike: the sum, difference,
// product and negation, abs, sign, min and max, and the conversions between
// integers and floats.
#include <cmath>

#include "machine/arith.h"
#include "machine/bignum.h"
#include "machine/eval_support.h"

using namespace lv_eval;

namespace {

// Adds, subtracts or multiplies: integers exactly (in 128 bits when both fit
// 64, else by the kernel), otherwise as doubles.
template <typename Exact, typename Float>
lv_term binary(lv_worker* w, lv_term x, lv_term y, const char* name, lv_bignum_kernel k, Exact exact, Float inexact) {
  if (!is_float(x) && !is_float(y)) {
    int64_t a, b;
    if (int64_of(x, &a) && int64_of(y, &b)) return int_result(w, exact(static_cast<__int128>(a), static_cast<__int128>(b)));
    return kernel(w, k, x, y, name, 2);
  }
  double a = to_double(x), b = to_double(y);
  return float_result(w, inexact(a, b), name, 2, x, a, y, b);
}

// A float rounded to an integral value c: a small integer when
// -2^60 <= c < 2^60, else the float-to-integer kernel on c.
lv_term integral(lv_worker* w, double c, const char* name) {
  constexpr double LIMIT = 1152921504606846976.0;  // 2^60
  if (c >= -LIMIT && c < LIMIT) return lv_make_small(static_cast<int64_t>(c));
  lv_term box = lv_numstack_push_float(w, c);
  return kernel(w, lv_bignum_from_float, box, box, name, 1);
}

// The rounding functions. An integer is its own rounding: it is returned as
// it is, so that no precision is lost through a double.
lv_term rounding(lv_worker* w, lv_term x, const char* name, double (*round)(double)) {
  if (!is_float(x)) return x;
  double d = lv_float_value(x);
  if (!std::isfinite(d)) return raise_operand(w, LV_ERROR_NOT_FINITE, 0, name, 1, x, x);
  return integral(w, round(d), name);
}

// Halves go toward positive infinity.
double round_half_up(double d) {
  double f = std::floor(d);
  return d - f < 0.5 ? f : std::ceil(d);
}

double truncate_toward_zero(double d) { return d < 0 ? std::ceil(d) : std::floor(d); }

// min and max: integers by value, the chosen operand itself (the second on
// a tie); with a float, the chosen double as a float. A NaN on either side
// is the result, so that it is refused whatever the argument order.
lv_term choose(lv_worker* w, lv_term x, lv_term y, bool larger, const char* name) {
  if (!is_float(x) && !is_float(y)) {
    int c = compare_integers(x, y);
    return (larger ? c > 0 : c < 0) ? x : y;
  }
  double a = to_double(x), b = to_double(y);
  double r = std::isnan(a) || (larger ? a > b : a < b) ? a : b;
  return float_result(w, r, name, 2, x, a, y, b);
}

}  // namespace

lv_term lv_arith_neg(lv_worker* w, lv_term x) {
  if (lv_is_small(x)) return int_result(w, -static_cast<__int128>(lv_small_value(x)));
  if (is_float(x)) {
    double d = lv_float_value(x);
    return float_result(w, -d, "-", 1, x, d, x, d);
  }
  int64_t a;
  if (int64_of(x, &a)) return int_result(w, -static_cast<__int128>(a));
  return kernel(w, lv_bignum_negate, x, x, "-", 1);
}

lv_term lv_arith_add(lv_worker* w, lv_term x, lv_term y) {
  if (lv_is_small(x) && lv_is_small(y)) return int_result(w, lv_small_value(x) + lv_small_value(y));
  return binary(w, x, y, "+", lv_bignum_add, [](__int128 a, __int128 b) { return a + b; }, [](double a, double b) { return a + b; });
}

lv_term lv_arith_sub(lv_worker* w, lv_term x, lv_term y) {
  if (lv_is_small(x) && lv_is_small(y)) return int_result(w, lv_small_value(x) - lv_small_value(y));
  return binary(w, x, y, "-", lv_bignum_subtract, [](__int128 a, __int128 b) { return a - b; }, [](double a, double b) { return a - b; });
}

lv_term lv_arith_mul(lv_worker* w, lv_term x, lv_term y) {
  return binary(w, x, y, "*", lv_bignum_multiply, [](__int128 a, __int128 b) { return a * b; }, [](double a, double b) { return a * b; });
}

lv_term lv_arith_abs(lv_worker* w, lv_term x) {
  if (is_float(x)) {
    double d = lv_float_value(x);
    return float_result(w, std::fabs(d), "abs", 1, x, d, x, d);
  }
  int64_t a;
  if (int64_of(x, &a)) return int_result(w, a < 0 ? -static_cast<__int128>(a) : a);
  if (sign_of(x) >= 0) return x;
  return kernel(w, lv_bignum_negate, x, x, "abs", 1);
}

lv_term lv_arith_sign(lv_worker* w, lv_term x) {
  if (is_float(x)) {
    double d = lv_float_value(x);
    return lv_numstack_push_float(w, d > 0 ? 1.0 : d < 0 ? -1.0 : 0.0);
  }
  return lv_make_small(sign_of(x));
}

lv_term lv_arith_min(lv_worker* w, lv_term x, lv_term y) { return choose(w, x, y, false, "min"); }
lv_term lv_arith_max(lv_worker* w, lv_term x, lv_term y) { return choose(w, x, y, true, "max"); }

lv_term lv_arith_integer(lv_worker* w, lv_term x) {
  if (!is_float(x)) return x;
  double d = lv_float_value(x);
  if (!std::isfinite(d)) return kernel(w, lv_bignum_from_float, x, x, "integer", 1);
  return integral(w, truncate_toward_zero(d), "integer");
}

lv_term lv_arith_float(lv_worker* w, lv_term x) {
  if (is_float(x)) return x;
  double d = to_double(x);
  if (!std::isfinite(d)) return raise_operand(w, LV_ERROR_NOT_FINITE, 0, "float", 1, x, x);
  return lv_numstack_push_float(w, d);
}

lv_term lv_arith_round(lv_worker* w, lv_term x) { return rounding(w, x, "round", round_half_up); }
lv_term lv_arith_truncate(lv_worker* w, lv_term x) { return rounding(w, x, "truncate", truncate_toward_zero); }
lv_term lv_arith_floor(lv_worker* w, lv_term x) { return rounding(w, x, "floor", [](double d) { return std::floor(d); }); }
lv_term lv_arith_ceiling(lv_worker* w, lv_term x) { return rounding(w, x, "ceiling", [](double d) { return std::ceil(d); }); }
