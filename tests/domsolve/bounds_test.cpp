// Saturating bound arithmetic: the boundary cases as a table, and every
// operation against exact 128-bit arithmetic over integers near zero, near
// the 32-bit split and near the small-integer limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arith/bounds.h"
#include "arith/int192.h"
#include "domsolve/set_terms.h"

namespace {

using set_terms::bound;
using set_terms::text;

std::string show(lv_term b) { return b == FD_BOUND_UNDEFINED ? "undefined" : text(b); }

lv_term num(int64_t v) { return fd_make_small(v); }
constexpr int64_t P60 = int64_t{1} << 60;

struct Case {
  const char* op;
  lv_term a, b, expected;
};

lv_term apply(const std::string& op, lv_term a, lv_term b) {
  if (op == "+") return fd_bound_add(a, b);
  if (op == "-") return fd_bound_sub(a, b);
  if (op == "neg") return fd_bound_neg(a);
  if (op == "*") return fd_bound_mul(a, b);
  if (op == "ceil") return fd_bound_div_ceil(a, b);
  if (op == "floor") return fd_bound_div_floor(a, b);
  return 1;
}

TEST(BoundArithmetic, BoundaryCases) {
  const lv_term inf = FD_INF, sup = FD_SUP, U = FD_BOUND_UNDEFINED;
  const Case cases[] = {
      {"+", inf, sup, inf},  // the first infinity wins
      {"+", sup, inf, sup},
      {"+", num(5), sup, sup},
      {"+", num(P60 - 1), num(1), sup},
      {"+", num(-P60), num(-1), inf},
      {"+", num(-P60), num(P60 - 1), num(-1)},
      {"-", num(-P60), num(1), inf},
      {"-", num(5), inf, sup},
      {"-", num(5), sup, inf},
      {"-", sup, sup, sup},
      {"-", num(P60 - 1), num(-1), sup},
      {"-", num(0), num(-P60), sup},
      {"neg", num(-P60), 0, sup},
      {"neg", num(P60 - 1), 0, num(-P60 + 1)},
      {"neg", inf, 0, sup},
      {"neg", sup, 0, inf},
      {"*", num(0), sup, U},
      {"*", inf, num(0), U},
      {"*", inf, inf, sup},
      {"*", inf, sup, inf},
      {"*", num(-3), sup, inf},
      {"*", sup, num(-3), inf},
      {"*", num(int64_t{1} << 40), num(int64_t{1} << 40), sup},
      {"*", num(-(int64_t{1} << 40)), num(int64_t{1} << 40), inf},
      {"*", num(int64_t{1} << 30), num(int64_t{1} << 30), sup},  // 2^60 is just outside
      {"*", num(-(int64_t{1} << 30)), num(int64_t{1} << 30), num(-P60)},
      {"*", num(-P60), num(-1), sup},
      {"ceil", num(7), num(2), num(4)},
      {"floor", num(7), num(2), num(3)},
      {"ceil", num(-7), num(2), num(-3)},
      {"floor", num(-7), num(2), num(-4)},
      {"ceil", num(7), num(-2), num(-3)},
      {"floor", num(7), num(-2), num(-4)},
      {"ceil", num(-7), num(-2), num(4)},
      {"floor", num(-7), num(-2), num(3)},
      {"ceil", num(5), sup, num(1)},
      {"floor", num(5), sup, num(0)},
      {"ceil", num(-5), sup, num(0)},
      {"floor", num(-5), sup, num(-1)},
      {"ceil", num(5), inf, num(0)},
      {"floor", num(5), inf, num(-1)},
      {"ceil", num(-5), inf, num(1)},
      {"floor", num(-5), inf, num(0)},
      {"ceil", num(0), inf, num(0)},
      {"floor", num(0), num(-3), num(0)},
      {"ceil", sup, num(0), sup},
      {"floor", inf, num(0), inf},
      {"ceil", sup, num(-2), inf},
      {"floor", inf, num(-2), sup},
      {"ceil", num(3), num(0), sup},
      {"floor", num(-3), num(0), inf},
      {"ceil", num(0), num(0), U},
      {"floor", sup, inf, U},
      {"ceil", num(-P60), num(-1), sup},
      {"floor", num(-P60), num(-1), sup},
  };
  for (const Case& c : cases)
    EXPECT_EQ(show(apply(c.op, c.a, c.b)), show(c.expected))
        << show(c.a) << " " << c.op << " " << show(c.b);
}

TEST(BoundArithmetic, CheckedMultiplication) {
  struct {
    int64_t x, y;
    bool fits;
  } cases[] = {
      {INT64_MAX, 1, true},   {INT64_MIN, 1, true},          {INT64_MIN, -1, false},
      {int64_t{1} << 32, int64_t{1} << 31, false},           {-(int64_t{1} << 32), int64_t{1} << 31, true},
      {int64_t{1} << 31, int64_t{1} << 31, true},            {3037000499, 3037000499, true},
      {3037000500, 3037000500, false},                       {0, INT64_MIN, true},
  };
  for (auto c : cases) {
    int64_t out = 12345;
    int r = fd_mul_checked(c.x, c.y, &out);
    EXPECT_EQ(r, c.fits ? 0 : 1) << c.x << " * " << c.y;
    if (c.fits) EXPECT_EQ(static_cast<__int128>(out), static_cast<__int128>(c.x) * c.y);
    else EXPECT_EQ(out, 12345) << "nothing is stored on overflow";
  }
}

// The exact result of an operation on two integers, as a bound.
lv_term saturate(__int128 r) {
  if (r > FD_SMALL_MAX) return FD_SUP;
  if (r < FD_SMALL_MIN) return FD_INF;
  return fd_make_small(static_cast<int64_t>(r));
}

__int128 floor_div(__int128 x, __int128 y) {
  __int128 q = x / y;
  return (x % y != 0 && ((x < 0) != (y < 0))) ? q - 1 : q;
}
__int128 ceil_div(__int128 x, __int128 y) {
  __int128 q = x / y;
  return (x % y != 0 && ((x < 0) == (y < 0))) ? q + 1 : q;
}

TEST(BoundArithmetic, IntegersAgainstExactArithmetic) {
  std::vector<int64_t> values;
  for (int64_t v = -12; v <= 12; v++) values.push_back(v);
  for (int64_t base : {int64_t{1} << 30, int64_t{1} << 31, int64_t{1} << 32, int64_t{1} << 40, P60})
    for (int64_t d : {-2, -1, 0, 1}) {
      values.push_back(base + d);
      values.push_back(-base - d);
    }
  for (int64_t x : values) {
    if (!fd_fits_small(x)) continue;
    EXPECT_EQ(fd_bound_neg(num(x)), saturate(-static_cast<__int128>(x))) << x;
    for (int64_t y : values) {
      if (!fd_fits_small(y)) continue;
      __int128 X = x, Y = y;
      ASSERT_EQ(fd_bound_add(num(x), num(y)), saturate(X + Y)) << x << " + " << y;
      ASSERT_EQ(fd_bound_sub(num(x), num(y)), saturate(X - Y)) << x << " - " << y;
      ASSERT_EQ(fd_bound_mul(num(x), num(y)), saturate(X * Y)) << x << " * " << y;
      if (y != 0) {
        ASSERT_EQ(fd_bound_div_ceil(num(x), num(y)), saturate(ceil_div(X, Y))) << x << " / " << y;
        ASSERT_EQ(fd_bound_div_floor(num(x), num(y)), saturate(floor_div(X, Y))) << x << " / " << y;
      }
    }
  }
}

}  // namespace

// 192-bit sums against __int128 where that suffices, and at the top word.
TEST(Int192, ArithmeticDivisionAndTerms) {
  using namespace fd_int192_ops;
  const __int128 values[] = {0, 1, -1, 7, -7, 1000000007, -(static_cast<__int128>(1) << 100),
                             (static_cast<__int128>(1) << 120) + 3, -((static_cast<__int128>(1) << 90) - 5)};
  auto as128 = [](const fd_int192& x) {
    return static_cast<__int128>((static_cast<unsigned __int128>(x.mid) << 64) | x.lo);
  };
  for (__int128 a : values) {
    for (__int128 b : values) {
      int overflow = 0;
      EXPECT_EQ(as128(add(from_i128(a), from_i128(b), &overflow)), a + b);
      EXPECT_EQ(as128(sub(from_i128(a), from_i128(b), &overflow)), a - b);
      EXPECT_EQ(overflow, 0);
      EXPECT_EQ(compare(from_i128(a), from_i128(b)), a < b ? -1 : a > b ? 1 : 0);
    }
    for (int64_t d : {int64_t{1}, int64_t{2}, int64_t{-3}, int64_t{7}, int64_t{-1000000007}}) {
      __int128 q = a / d, r = a % d;
      __int128 floor = r != 0 && ((r < 0) != (d < 0)) ? q - 1 : q;
      __int128 ceil = r != 0 && ((r < 0) == (d < 0)) ? q + 1 : q;
      EXPECT_EQ(as128(divide(from_i128(a), d, TRUNCATE)), q);
      EXPECT_EQ(as128(divide(from_i128(a), d, FLOOR)), floor);
      EXPECT_EQ(as128(divide(from_i128(a), d, CEIL)), ceil);
      if (d > 0) {
        EXPECT_EQ(static_cast<__int128>(mod(from_i128(a), static_cast<uint64_t>(d))), ((a % d) + d) % d);
      }
    }
  }
  // The infinite terms: the sign of the coefficient times the infinity's.
  EXPECT_EQ(compare(term_product(3, FD_SUP), infinity(true)), 0);
  EXPECT_EQ(compare(term_product(-3, FD_SUP), infinity(false)), 0);
  EXPECT_EQ(compare(term_product(-3, FD_INF), infinity(true)), 0);
  EXPECT_EQ(as128(term_product(int64_t{1} << 59, fd_make_small(-(int64_t{1} << 59)))), -(static_cast<__int128>(1) << 118));
  // Leaving the 192 bits is reported by the first operand's sign.
  int overflow = 0;
  fd_int192 top{INT64_MAX, ~uint64_t{0}, ~uint64_t{0}};
  add(top, from_i64(1), &overflow);
  EXPECT_EQ(overflow, 2);
  overflow = 0;
  sub(negate(top), from_i64(2), &overflow);
  EXPECT_EQ(overflow, 1);
  int64_t v;
  EXPECT_TRUE(to_small(from_i64(FD_SMALL_MIN), &v));
  EXPECT_FALSE(to_small(from_i64(FD_SMALL_MIN - 1), &v));
  EXPECT_FALSE(to_small(fd_int192{-1, ~uint64_t{0}, 5}, &v));
}
