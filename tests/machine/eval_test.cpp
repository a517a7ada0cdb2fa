// The evaluable functions called directly: results, error codes, culprits
// and the goals the errors are raised for.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "core/errors.h"
#include "machine/arith.h"
#include "core/numstack.h"
#include "machine/arith_support.h"
#include "machine/routines_fixture.h"

namespace {

using arith_test::show;
using Unary = lv_term (*)(lv_worker*, lv_term);
using Binary = lv_term (*)(lv_worker*, lv_term, lv_term);

class EvalTest : public RoutinesTest {
 protected:
  // "3.5", or an error as arith_test::error_outcome writes it.
  std::string outcome(lv_term r) {
    if (r != 0) return show(r);
    if (!error_handler_called()) return "no error raised";
    std::string s = arith_test::error_outcome(lv_pending_error_code(), handler_arg(2), handler_arg(0), handler_arg(1));
    lv_pop_call_choicepoint(w);
    return s;
  }

  arith_test::Numbers num;
};

struct Case {
  Unary f1;
  Binary f2;
  std::string x;
  std::string y;
  std::string expected;
};

Case unary(Unary f, const std::string& x, const std::string& expected) { return {f, nullptr, x, "", expected}; }
Case binary(Binary f, const std::string& x, const std::string& y, const std::string& expected) {
  return {nullptr, f, x, y, expected};
}

const std::string TEN_400 = "1" + std::string(400, '0');  // beyond the doubles

TEST_F(EvalTest, ResultsAndErrors) {
  const char* big64 = "9223372036854775808";  // 2^63
  const Case cases[] = {
      // Sums, differences, products; integers exactly, floats as doubles.
      binary(lv_arith_add, "9223372036854775807", "1", big64),
      binary(lv_arith_add, "1152921504606846975", "1", "1152921504606846976"),
      binary(lv_arith_sub, "-1152921504606846976", "1", "-1152921504606846977"),
      binary(lv_arith_mul, "4294967296", "4294967296", "18446744073709551616"),
      binary(lv_arith_mul, "-9223372036854775808", "-1", big64),
      binary(lv_arith_add, "box:5", "box:-7", "-2"),
      binary(lv_arith_add, "1.5", "2", "3.5"),
      binary(lv_arith_mul, "1e308", "10.0", "!263 inf *(1e+308,10.0)"),
      binary(lv_arith_add, TEN_400, "1.0", "!263 " + TEN_400 + " +(" + TEN_400 + ",1.0)"),
      binary(lv_arith_sub, "0.5", TEN_400, "!263 " + TEN_400 + " -(0.5," + TEN_400 + ")"),
      binary(lv_arith_add, TEN_400, "1", TEN_400.substr(0, 400) + "1"),
      unary(lv_arith_neg, "-9223372036854775808", big64),
      unary(lv_arith_neg, "-1152921504606846976", "1152921504606846976"),
      unary(lv_arith_neg, "2.5", "-2.5"),
      unary(lv_arith_neg, "0.0", "0.0"),
      // Division.
      binary(lv_arith_div, "7", "2", "3.5"),
      binary(lv_arith_div, "4", "2", "2.0"),
      binary(lv_arith_div, "1", "0", "!775 0 /(1,0)"),
      binary(lv_arith_div, "1", "0.0", "!775 0.0 /(1,0.0)"),
      binary(lv_arith_div, "1e308", "0.5", "!263 inf /(1e+308,0.5)"),
      binary(lv_arith_intdiv, "-7", "2", "-3"),
      binary(lv_arith_floordiv, "-7", "2", "-4"),
      binary(lv_arith_mod, "-7", "2", "1"),
      binary(lv_arith_rem, "-7", "2", "-1"),
      binary(lv_arith_mod, "7", "-2", "-1"),
      binary(lv_arith_rem, "7", "-2", "1"),
      binary(lv_arith_intdiv, "7", "0", "!775 0 //(7,0)"),
      binary(lv_arith_mod, "7", "box:0", "!775 0 mod(7,0)"),
      binary(lv_arith_intdiv, "-9223372036854775808", "-1", big64),
      binary(lv_arith_floordiv, "-18446744073709551617", "2", "-9223372036854775809"),
      binary(lv_arith_intdiv, "-18446744073709551617", "2", "-9223372036854775808"),
      binary(lv_arith_mod, "-18446744073709551617", "2", "1"),
      binary(lv_arith_rem, "-18446744073709551617", "2", "-1"),
      binary(lv_arith_rem, "18446744073709551617", "0", "!775 0 rem(18446744073709551617,0)"),
      binary(lv_arith_intdiv, "2.5", "1", "!1025 2.5 //(2.5,1)"),
      binary(lv_arith_intdiv, "1", "2.5", "!1025 2.5 //(1,2.5)"),
      binary(lv_arith_intdiv, "1.5", "2.5", "!1025 1.5 //(1.5,2.5)"),
      // Bitwise operations and shifts.
      unary(lv_arith_bitnot, "0", "-1"),
      unary(lv_arith_bitnot, big64, "-9223372036854775809"),
      binary(lv_arith_and, "-1", "18446744073709551617", "18446744073709551617"),
      binary(lv_arith_xor, "5", "3", "6"),
      binary(lv_arith_or, "2.0", "1", "!1025 2.0 \\/(2.0,1)"),
      binary(lv_arith_shl, "1", "62", "4611686018427387904"),
      binary(lv_arith_shl, "1", "63", big64),
      binary(lv_arith_shl, "1", "64", "18446744073709551616"),
      binary(lv_arith_shl, "5", "-1", "2"),
      binary(lv_arith_shr, "5", "100", "0"),
      binary(lv_arith_shr, "-5", "100", "-1"),
      binary(lv_arith_shr, "-5", "-2", "-20"),
      binary(lv_arith_shl, "7", "0", "7"),
      binary(lv_arith_shl, "1", "1180591620717411303424", "!265 1180591620717411303424 <<(1,1180591620717411303424)"),
      binary(lv_arith_shr, "5", "1180591620717411303424", "0"),
      binary(lv_arith_shr, "-5", "1180591620717411303424", "-1"),
      binary(lv_arith_shl, "-5", "-1180591620717411303424", "-1"),
      binary(lv_arith_shl, "0", "1180591620717411303424", "0"),
      binary(lv_arith_shl, "0", "1099511627776", "0"),
      binary(lv_arith_shl, "1", "1099511627776", "!265 1 <<(1,1099511627776)"),
      binary(lv_arith_shr, "1", "-9223372036854775808", "!265 -9223372036854775808 >>(1,-9223372036854775808)"),
      unary(lv_arith_msb, "1", "0"),
      unary(lv_arith_msb, "18446744073709551616", "64"),
      unary(lv_arith_msb, big64, "63"),
      unary(lv_arith_msb, "0", "!519 0 msb(0)"),
      unary(lv_arith_msb, "-18446744073709551616", "!519 -18446744073709551616 msb(-18446744073709551616)"),
      // abs, sign, min, max.
      unary(lv_arith_abs, "-9223372036854775808", big64),
      unary(lv_arith_abs, "-18446744073709551616", "18446744073709551616"),
      unary(lv_arith_abs, "-3.5", "3.5"),
      unary(lv_arith_sign, "-0.0", "0.0"),
      unary(lv_arith_sign, "-2.5", "-1.0"),
      unary(lv_arith_sign, "-18446744073709551616", "-1"),
      unary(lv_arith_sign, "box:0", "0"),
      binary(lv_arith_min, "1", "1.0", "1.0"),
      binary(lv_arith_max, "2", "1.5", "2.0"),
      binary(lv_arith_min, "-18446744073709551616", "3", "-18446744073709551616"),
      binary(lv_arith_min, "1.0", TEN_400, "1.0"),
      binary(lv_arith_max, "1.0", TEN_400, "!263 " + TEN_400 + " max(1.0," + TEN_400 + ")"),
      // A NaN operand is refused in either place.
      binary(lv_arith_max, "nan", "1", "!263 nan max(nan,1)"),
      binary(lv_arith_max, "1", "nan", "!263 nan max(1,nan)"),
      binary(lv_arith_min, "nan", "1.0", "!263 nan min(nan,1.0)"),
      binary(lv_arith_min, "1.0", "nan", "!263 nan min(1.0,nan)"),
      // gcd.
      binary(lv_arith_gcd, "12", "-18", "6"),
      binary(lv_arith_gcd, "0", "0", "0"),
      binary(lv_arith_gcd, "0", "-7", "7"),
      binary(lv_arith_gcd, "-9223372036854775808", "0", big64),
      binary(lv_arith_gcd, "1267650600228229401496703205376", "808281277464764060643139600456536293376", "1125899906842624"),
      binary(lv_arith_gcd, "6", "1.0", "!1025 1.0 gcd(6,1.0)"),
      // Rounding; integers are their own rounding.
      unary(lv_arith_round, "-2.5", "-2"),
      unary(lv_arith_round, "2.5", "3"),
      unary(lv_arith_round, "0.49999999999999994", "0"),
      unary(lv_arith_truncate, "-2.5", "-2"),
      unary(lv_arith_floor, "-2.5", "-3"),
      unary(lv_arith_ceiling, "-2.5", "-2"),
      unary(lv_arith_round, "1e300",
            "1000000000000000052504760255204420248704468581108159154915854115511802457988908195786371375080447864043704443832883878176942523235360430575644792184786706982848387200926575803737830233794788090059368953234970799945081119038967640880074652742780142494579258788820056842838115669472196386865459400540160"),
      unary(lv_arith_floor, "-1152921504606846976.0", "-1152921504606846976"),
      unary(lv_arith_round, "1152921504606846977", "1152921504606846977"),
      unary(lv_arith_integer, "-2.5", "-2"),
      unary(lv_arith_integer, "1e20", "100000000000000000000"),
      unary(lv_arith_integer, "inf", "!771 inf integer(inf)"),
      unary(lv_arith_float, "3", "3.0"),
      unary(lv_arith_float, "box:-4", "-4.0"),
      unary(lv_arith_float, TEN_400, "!263 " + TEN_400 + " float(" + TEN_400 + ")"),
      unary(lv_arith_sin, TEN_400, "!263 " + TEN_400 + " sin(" + TEN_400 + ")"),
      unary(lv_arith_round, TEN_400, TEN_400),
      // Float parts.
      unary(lv_arith_float_integer_part, "3", "!2049 3 float_integer_part(3)"),
      unary(lv_arith_float_integer_part, "-2.75", "-2.0"),
      unary(lv_arith_float_fractional_part, "-2.25", "-0.25"),
      unary(lv_arith_float_fractional_part, "2.25", "0.25"),
      // Domains and poles of the float functions.
      unary(lv_arith_asin, "2", "!519 2 asin(2)"),
      unary(lv_arith_acos, "-1.5", "!519 -1.5 acos(-1.5)"),
      unary(lv_arith_log, "0", "!519 0 log(0)"),
      unary(lv_arith_sqrt, "-1", "!519 -1 sqrt(-1)"),
      unary(lv_arith_sqrt, "4", "2.0"),
      unary(lv_arith_exp, "1000", "!263 inf exp(1000)"),
      unary(lv_arith_exp, "0", "1.0"),
      unary(lv_arith_cot, "0", "!263 0 cot(0)"),
      unary(lv_arith_coth, "0", "!263 0 coth(0)"),
      unary(lv_arith_coth, "400", "1.0"),
      unary(lv_arith_acosh, "0.5", "!519 0.5 acosh(0.5)"),
      unary(lv_arith_atanh, "1", "!519 1 atanh(1)"),
      unary(lv_arith_acoth, "0.5", "!519 0.5 acoth(0.5)"),
      binary(lv_arith_atan2, "0", "0.0", "!519 0 atan2(0,0.0)"),
      binary(lv_arith_acot2, "1", "0", "!263 0 acot2(1,0)"),
      binary(lv_arith_log2, "1", "5", "!519 1 log(1,5)"),
      binary(lv_arith_log2, "2", "0", "!519 0 log(2,0)"),
      binary(lv_arith_log2, "-2", "0", "!519 -2 log(-2,0)"),
      // Powers.
      binary(lv_arith_float_power, "2", "10", "1024.0"),
      binary(lv_arith_float_power, "-8", "0.5", "!519 0.5 **(-8,0.5)"),
      binary(lv_arith_float_power, "0", "-1", "!519 -1 **(0,-1)"),
      binary(lv_arith_exp2, "10", "400", "!263 inf exp(10,400)"),
      binary(lv_arith_power, "2", "-1", "!2049 2 ^(2,-1)"),
      binary(lv_arith_power, "1", "-5", "1"),
      binary(lv_arith_power, "-1", "-3", "-1"),
      binary(lv_arith_power, "-1", "18446744073709551616", "1"),
      binary(lv_arith_power, "0", "-1", "!519 -1 ^(0,-1)"),
      binary(lv_arith_power, "0", "5", "0"),
      binary(lv_arith_power, "7", "0", "1"),
      binary(lv_arith_power, "2", "3.0", "8.0"),
      binary(lv_arith_power, "2", "100", "1267650600228229401496703205376"),
      binary(lv_arith_power, "-3", "3", "-27"),
      binary(lv_arith_power, "-18446744073709551616", "1", "-18446744073709551616"),
      binary(lv_arith_power, "2", "1180591620717411303424", "!265 1180591620717411303424 ^(2,1180591620717411303424)"),
      binary(lv_arith_power, "2", "1099511627776", "!265 1099511627776 ^(2,1099511627776)"),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x + (c.f2 != nullptr ? ", " + c.y : "") + " -> " + c.expected);
    lv_term r = c.f1 != nullptr ? c.f1(w, num(c.x)) : c.f2(w, num(c.x), num(c.y));
    EXPECT_EQ(outcome(r), c.expected);
  }
}

// Functions of the C library: near the mathematical value, not bit for bit.
TEST_F(EvalTest, FloatFunctionsAreNearTheirValues) {
  using std::numbers::pi;
  struct Near {
    Unary f1;
    Binary f2;
    const char* x;
    const char* y;
    double expected;
  };
  const Near cases[] = {
      {lv_arith_atan, nullptr, "1", nullptr, pi / 4},
      {lv_arith_acot, nullptr, "1", nullptr, pi / 4},
      {lv_arith_acot, nullptr, "-1", nullptr, 3 * pi / 4},
      {nullptr, lv_arith_acot2, "1", "1", pi / 4},
      {nullptr, lv_arith_acot2, "-1", "1", 7 * pi / 4},
      {nullptr, lv_arith_acot2, "-1", "-1", -3 * pi / 4},
      {nullptr, lv_arith_atan2, "1", "-1", 3 * pi / 4},
      {lv_arith_asinh, nullptr, "-1e10", nullptr, -23.718998110500402},
      {lv_arith_asinh, nullptr, "1e200", nullptr, 461.2101657793691},
      {lv_arith_acosh, nullptr, "1e200", nullptr, 461.2101657793691},
      {lv_arith_atanh, nullptr, "0.5", nullptr, 0.5493061443340549},
      {lv_arith_acoth, nullptr, "2", nullptr, 0.5493061443340549},
      {lv_arith_coth, nullptr, "1", nullptr, 1.3130352854993312},
      {lv_arith_tanh, nullptr, "0.5", nullptr, 0.46211715726000974},
      {lv_arith_sinh, nullptr, "1", nullptr, 1.1752011936438014},
      {lv_arith_cosh, nullptr, "1", nullptr, 1.5430806348152437},
      {lv_arith_tan, nullptr, "1", nullptr, 1.5574077246549023},
      {lv_arith_cot, nullptr, "1", nullptr, 0.6420926159343306},
      {lv_arith_sin, nullptr, "0.5", nullptr, 0.479425538604203},
      {lv_arith_cos, nullptr, "0.5", nullptr, 0.8775825618903728},
      {lv_arith_asin, nullptr, "1", nullptr, pi / 2},
      {lv_arith_acos, nullptr, "-1", nullptr, pi},
      {lv_arith_exp, nullptr, "1", nullptr, std::numbers::e},
      {lv_arith_log, nullptr, "10", nullptr, std::numbers::ln10},
      {nullptr, lv_arith_log2, "2", "8", 3},
      {nullptr, lv_arith_exp2, "2", "0.5", std::numbers::sqrt2},
      {nullptr, lv_arith_float_power, "-2", "3", -8},
  };
  for (const Near& c : cases) {
    SCOPED_TRACE(std::string(c.x) + (c.y != nullptr ? std::string(", ") + c.y : ""));
    lv_term r = c.f1 != nullptr ? c.f1(w, num(c.x)) : c.f2(w, num(c.x), num(c.y));
    ASSERT_NE(r, 0u);
    EXPECT_NEAR(arith_test::float_of(r), c.expected, 1e-12 * std::fabs(c.expected));
  }
}

TEST_F(EvalTest, InfAndNanAsNumbersAreRefused) {
  EXPECT_EQ(lv_arith_raise_inf(w), 0u);
  EXPECT_EQ(outcome(0), "!2305 inf $eval(inf)");
  EXPECT_EQ(lv_arith_raise_nan(w), 0u);
  EXPECT_EQ(outcome(0), "!2305 nan $eval(nan)");
}

// Operands off the heap become heap terms in the error goal: the copies have
// their trailers and the culprit is the copy.
TEST_F(EvalTest, ErrorOperandsAreCopiedToTheHeap) {
  lv_term* h = w->H;
  lv_term x = lv_numstack_push_int(w, int64_t{1} << 62);
  ASSERT_EQ(lv_arith_intdiv(w, x, num("box:0")), 0u);
  ASSERT_TRUE(error_handler_called());
  lv_term culprit = handler_arg(2);
  EXPECT_EQ(culprit, lv_make_small(0));
  lv_term goal = handler_arg(0);
  const lv_term* inner = lv_struct_cells(lv_struct_cells(lv_struct_cells(lv_struct_cells(goal)[2])[1])[2]);
  lv_term first = inner[1];
  ASSERT_TRUE(lv_is_box(first));
  const lv_term* cells = lv_struct_cells(first);
  EXPECT_GE(cells, h);
  EXPECT_EQ(cells[2], LV_BOX_INT1);  // the trailer
  lv_pop_call_choicepoint(w);
}

// A normal box as the engine keeps it: a small value as a small integer.
lv_term one_form(const bignum_test::Box& box) {
  if (box[0] == LV_BOX_INT1 && lv_fits_small(static_cast<int64_t>(box[1]))) return lv_make_small(static_cast<int64_t>(box[1]));
  return lv_make_struct(box.data());
}

// Integer results against GMP on random operands of up to a few limbs.
TEST_F(EvalTest, IntegerFunctionsAgreeWithExactArithmetic) {
  using bignum_test::Z;
  bignum_test::Generator g(20240611);
  struct Op {
    const char* name;
    Binary f;
    void (*exact)(mpz_t, const mpz_t, const mpz_t);
    bool divides;
  };
  const Op ops[] = {
      {"+", lv_arith_add, mpz_add, false},
      {"-", lv_arith_sub, mpz_sub, false},
      {"*", lv_arith_mul, mpz_mul, false},
      {"//", lv_arith_intdiv, mpz_tdiv_q, true},
      {"div", lv_arith_floordiv, mpz_fdiv_q, true},
      {"rem", lv_arith_rem, mpz_tdiv_r, true},
      {"mod", lv_arith_mod, mpz_fdiv_r, true},
      {"/\\", lv_arith_and, mpz_and, false},
      {"\\/", lv_arith_or, mpz_ior, false},
      {"xor", lv_arith_xor, mpz_xor, false},
      {"gcd", lv_arith_gcd, mpz_gcd, false},
  };
  for (int i = 0; i < 3000; i++) {
    bignum_test::Box bx = g.box(4), by = g.box(4);
    lv_term x = one_form(bx), y = one_form(by);
    Z zx(bx.data()), zy(by.data());
    const Op& op = ops[g.below(std::size(ops))];
    if (op.divides && mpz_sgn(zy.v) == 0) continue;
    SCOPED_TRACE(zx.str() + " " + op.name + " " + zy.str());
    Z expected;
    op.exact(expected.v, zx.v, zy.v);
    lv_term r = op.f(w, x, y);
    ASSERT_NE(r, 0u);
    EXPECT_EQ(show(r), expected.str());
    EXPECT_TRUE(lv_is_small(r) || !lv_fits_small(static_cast<int64_t>(lv_struct_cells(r)[1])) ||
                lv_box_value_words(lv_struct_cells(r)[0]) > 1)
        << "a small value left in a box";
    w->numstack_chunk = nullptr;
  }
}

// Shifts and powers against GMP, with counts and exponents that stay small.
TEST_F(EvalTest, ShiftsAndPowersAgreeWithExactArithmetic) {
  using bignum_test::Z;
  bignum_test::Generator g(777);
  for (int i = 0; i < 2000; i++) {
    bignum_test::Box bx = g.box(3);
    lv_term x = one_form(bx);
    Z zx(bx.data());
    int64_t n = static_cast<int64_t>(g.below(400)) - 200;
    Z left, right, power;
    if (n >= 0) {
      mpz_mul_2exp(left.v, zx.v, static_cast<mp_bitcnt_t>(n));
      mpz_fdiv_q_2exp(right.v, zx.v, static_cast<mp_bitcnt_t>(n));
    } else {
      mpz_fdiv_q_2exp(left.v, zx.v, static_cast<mp_bitcnt_t>(-n));
      mpz_mul_2exp(right.v, zx.v, static_cast<mp_bitcnt_t>(-n));
    }
    SCOPED_TRACE(zx.str() + " by " + std::to_string(n));
    EXPECT_EQ(show(lv_arith_shl(w, x, lv_make_small(n))), left.str());
    EXPECT_EQ(show(lv_arith_shr(w, x, lv_make_small(n))), right.str());
    uint64_t e = g.below(12);
    mpz_pow_ui(power.v, zx.v, e);
    EXPECT_EQ(show(lv_arith_power(w, x, lv_make_small(static_cast<int64_t>(e)))), power.str());
    w->numstack_chunk = nullptr;
  }
}

}  // namespace
