// Evaluable functions of floats: division, the trigonometric, hyperbolic,
// exponential and logarithmic functions, powers, and the parts of a float.
//
// The shape of each: the operands as doubles; the domain test, made on
// finite operands only; the C library function; a finite result pushed as a
// float, any other result raising the error of its first non-finite operand,
// else of the result itself (see float_result).
#include <bit>
#include <cmath>

#include "machine/arith.h"
#include "machine/eval_support.h"

using namespace lv_eval;

namespace {

// One unit in the last place above the double nearest to pi: the constant
// acot and acot2 are defined with.
constexpr double ACOT_PI = std::bit_cast<double>(uint64_t{0x400921FB54442D19});

lv_term unary(lv_worker* w, lv_term x, const char* name, double (*f)(double)) {
  double d = to_double(x);
  return float_result(w, f(d), name, 1, x, d, x, d);
}

// A unary function with a domain: outside it (for a finite operand) error
// `code` with the operand.
lv_term unary_in(lv_worker* w, lv_term x, const char* name, double (*f)(double), bool (*outside)(double), int32_t code) {
  double d = to_double(x);
  if (std::isfinite(d) && outside(d)) return raise_operand(w, code, 0, name, 1, x, x);
  return float_result(w, f(d), name, 1, x, d, x, d);
}

double acot_of(double d) {
  double a = std::asin(1 / std::sqrt(d * d + 1));
  return d >= 0 ? a : ACOT_PI - a;
}

// A power of floats: a negative base with a non-integral power, or zero to a
// negative power, is undefined (519 with the power).
lv_term float_power(lv_worker* w, lv_term base, lv_term power, const char* name) {
  double b = to_double(base), p = to_double(power);
  if (std::isfinite(b) && std::isfinite(p) && ((b < 0 && p != std::trunc(p)) || (b == 0 && p < 0)))
    return raise_operand(w, LV_ERROR_UNDEFINED, 1, name, 2, base, power);
  return float_result(w, std::pow(b, p), name, 2, base, b, power, p);
}

// The integer part of a float, toward zero.
double integer_part(double d) { return d < 0 ? -std::floor(-d) : std::floor(d); }

}  // namespace

lv_term lv_arith_div(lv_worker* w, lv_term x, lv_term y) {
  double a = to_double(x), b = to_double(y);
  if (b == 0) return raise_operand(w, LV_ERROR_ZERO_DIVISOR, 1, "/", 2, x, y);
  double r = a / b;
  if (std::isfinite(r)) return lv_numstack_push_float(w, r);
  if (!std::isfinite(b)) return raise_operand(w, LV_ERROR_NOT_FINITE, 1, "/", 2, x, y);
  if (!std::isfinite(a)) return raise_operand(w, LV_ERROR_NOT_FINITE, 0, "/", 2, x, y);
  return raise_result(w, r, "/", 2, x, y);
}

lv_term lv_arith_sin(lv_worker* w, lv_term x) { return unary(w, x, "sin", [](double d) { return std::sin(d); }); }
lv_term lv_arith_cos(lv_worker* w, lv_term x) { return unary(w, x, "cos", [](double d) { return std::cos(d); }); }
lv_term lv_arith_atan(lv_worker* w, lv_term x) { return unary(w, x, "atan", [](double d) { return std::atan(d); }); }
lv_term lv_arith_sinh(lv_worker* w, lv_term x) { return unary(w, x, "sinh", [](double d) { return std::sinh(d); }); }
lv_term lv_arith_cosh(lv_worker* w, lv_term x) { return unary(w, x, "cosh", [](double d) { return std::cosh(d); }); }
lv_term lv_arith_tanh(lv_worker* w, lv_term x) { return unary(w, x, "tanh", [](double d) { return std::tanh(d); }); }
lv_term lv_arith_exp(lv_worker* w, lv_term x) { return unary(w, x, "exp", [](double d) { return std::exp(d); }); }
lv_term lv_arith_acot(lv_worker* w, lv_term x) { return unary(w, x, "acot", acot_of); }

// Where the function has a pole the operand itself is reported (263).
lv_term lv_arith_tan(lv_worker* w, lv_term x) {
  return unary_in(w, x, "tan", [](double d) { return std::tan(d); }, [](double d) { return std::cos(d) == 0; },
                  LV_ERROR_NOT_FINITE);
}
lv_term lv_arith_cot(lv_worker* w, lv_term x) {
  return unary_in(w, x, "cot", [](double d) { return std::cos(d) / std::sin(d); }, [](double d) { return std::sin(d) == 0; },
                  LV_ERROR_NOT_FINITE);
}

// coth x = (e + 1) / (e - 1) with e = exp(2x); an e that overflows stands
// for 1.0, the limit the quotient reaches long before.
lv_term lv_arith_coth(lv_worker* w, lv_term x) {
  double d = to_double(x);
  double e = std::exp(2 * d);
  if (!std::isfinite(d) || e == 1) return raise_operand(w, LV_ERROR_NOT_FINITE, 0, "coth", 1, x, x);
  double r = std::isinf(e) ? 1.0 : (e + 1) / (e - 1);
  return float_result(w, r, "coth", 1, x, d, x, d);
}

lv_term lv_arith_asin(lv_worker* w, lv_term x) {
  return unary_in(w, x, "asin", [](double d) { return std::asin(d); }, [](double d) { return d < -1 || d > 1; }, LV_ERROR_UNDEFINED);
}
lv_term lv_arith_acos(lv_worker* w, lv_term x) {
  return unary_in(w, x, "acos", [](double d) { return std::acos(d); }, [](double d) { return d < -1 || d > 1; }, LV_ERROR_UNDEFINED);
}

// The inverse hyperbolic sine and cosine come from the C library: the
// logarithmic formulas overflow for large operands (and lose every digit for
// large negative ones) although the results are small.
lv_term lv_arith_asinh(lv_worker* w, lv_term x) { return unary(w, x, "asinh", [](double d) { return std::asinh(d); }); }
lv_term lv_arith_acosh(lv_worker* w, lv_term x) {
  return unary_in(w, x, "acosh", [](double d) { return std::acosh(d); }, [](double d) { return d < 1; }, LV_ERROR_UNDEFINED);
}
lv_term lv_arith_atanh(lv_worker* w, lv_term x) {
  return unary_in(w, x, "atanh", [](double d) { return std::log((d + 1) / (1 - d)) / 2; },
                  [](double d) { return d <= -1 || d >= 1; }, LV_ERROR_UNDEFINED);
}
lv_term lv_arith_acoth(lv_worker* w, lv_term x) {
  return unary_in(w, x, "acoth", [](double d) { return std::log((d + 1) / (d - 1)) / 2; },
                  [](double d) { return d >= -1 && d <= 1; }, LV_ERROR_UNDEFINED);
}
lv_term lv_arith_sqrt(lv_worker* w, lv_term x) {
  return unary_in(w, x, "sqrt", [](double d) { return std::sqrt(d); }, [](double d) { return d < 0; }, LV_ERROR_UNDEFINED);
}
lv_term lv_arith_log(lv_worker* w, lv_term x) {
  return unary_in(w, x, "log", [](double d) { return std::log(d); }, [](double d) { return d <= 0; }, LV_ERROR_UNDEFINED);
}

lv_term lv_arith_atan2(lv_worker* w, lv_term y, lv_term x) {
  double a = to_double(y), b = to_double(x);
  if (a == 0 && b == 0) return raise_operand(w, LV_ERROR_UNDEFINED, 0, "atan2", 2, y, x);
  return float_result(w, std::atan2(a, b), "atan2", 2, y, a, x, b);
}

lv_term lv_arith_acot2(lv_worker* w, lv_term y, lv_term x) {
  double a = to_double(y), b = to_double(x);
  if (b == 0) return raise_operand(w, LV_ERROR_NOT_FINITE, 1, "acot2", 2, y, x);
  double q = a / b;
  double r = std::asin(1 / std::sqrt(q * q + 1));
  if (q < 0) r = ACOT_PI - r;
  if (a < 0) r = b < 0 ? r - ACOT_PI : r + ACOT_PI;
  return float_result(w, r, "acot2", 2, y, a, x, b);
}

lv_term lv_arith_log2(lv_worker* w, lv_term base, lv_term x) {
  double b = to_double(base), d = to_double(x);
  if (std::isfinite(b) && (b <= 0 || b == 1)) return raise_operand(w, LV_ERROR_UNDEFINED, 0, "log", 2, base, x);
  if (std::isfinite(d) && d <= 0) return raise_operand(w, LV_ERROR_UNDEFINED, 1, "log", 2, base, x);
  return float_result(w, std::log(d) / std::log(b), "log", 2, base, b, x, d);
}

lv_term lv_arith_exp2(lv_worker* w, lv_term base, lv_term power) { return float_power(w, base, power, "exp"); }
lv_term lv_arith_float_power(lv_worker* w, lv_term base, lv_term power) { return float_power(w, base, power, "**"); }

lv_term lv_eval::float_caret(lv_worker* w, lv_term base, lv_term power) { return float_power(w, base, power, "^"); }

lv_term lv_arith_float_integer_part(lv_worker* w, lv_term x) {
  if (!is_float(x)) return raise_operand(w, LV_ERROR_NOT_FLOAT, 0, "float_integer_part", 1, x, x);
  double d = lv_float_value(x);
  return float_result(w, integer_part(d), "float_integer_part", 1, x, d, x, d);
}

lv_term lv_arith_float_fractional_part(lv_worker* w, lv_term x) {
  if (!is_float(x)) return raise_operand(w, LV_ERROR_NOT_FLOAT, 0, "float_fractional_part", 1, x, x);
  double d = lv_float_value(x);
  return float_result(w, d - integer_part(d), "float_fractional_part", 1, x, d, x, d);
}
