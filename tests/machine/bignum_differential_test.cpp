// Big integers against GMP: random operands of 1 to several hundred limbs,
// both signs, favouring the limb and digit patterns that reach carries,
// borrows and quotient corrections. Every kernel is also held to its room
// protocol and to normal results (see run()).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/bignum_apply.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/numstack.h"
#include "machine/bignum.h"
#include "support/engine_fixture.h"
#include "bignum_support.h"

namespace {

using namespace bignum_test;

constexpr int ROUNDS = 4000;

std::string show(const Box& b) { return Z(b.data()).str(16); }

// Runs kernel on random operand pairs (x, y from make) and compares with the
// oracle, which sets the expected value and answers 0, or answers the error
// code expected.
template <typename Make, typename Oracle>
void differential(lv_bignum_kernel kernel, uint64_t seed, Make make, Oracle oracle, bool allow_same = true) {
  Generator g(seed);
  for (int i = 0; i < ROUNDS; i++) {
    auto [x, y] = make(g);
    // Now and then both operands are the same box.
    bool same = allow_same && g.below(16) == 0;
    const lv_term* yp = same ? x.data() : y.data();
    Z expected;
    int32_t code = oracle(expected, Z(x.data()), Z(yp));
    Result r = run(kernel, x.data(), yp);
    ASSERT_EQ(r.code, code) << "x = " << show(x) << "\ny = " << (same ? show(x) : show(y));
    if (code == 0) {
      ASSERT_EQ(Z(r.box.data()), expected) << "x = " << show(x) << "\ny = " << (same ? show(x) : show(y));
    }
  }
}

// The shift count: y's first limb, read as unsigned.
uint64_t shift_count(const Z& y) {
  Z low;
  mpz_fdiv_r_2exp(low.v, y.v, 64);
  return mpz_get_ui(low.v);
}

std::pair<Box, Box> two_boxes(Generator& g) { return {g.box(), g.box()}; }

TEST(BignumDifferential, Add) {
  differential(lv_bignum_add, 1, two_boxes, [](Z& r, const Z& x, const Z& y) {
    mpz_add(r.v, x.v, y.v);
    return 0;
  });
}

TEST(BignumDifferential, Subtract) {
  differential(lv_bignum_subtract, 2, two_boxes, [](Z& r, const Z& x, const Z& y) {
    mpz_sub(r.v, x.v, y.v);
    return 0;
  });
}

TEST(BignumDifferential, Negate) {
  differential(lv_bignum_negate, 3, two_boxes, [](Z& r, const Z& x, const Z&) {
    mpz_neg(r.v, x.v);
    return 0;
  });
}

TEST(BignumDifferential, And) {
  differential(lv_bignum_and, 4, two_boxes, [](Z& r, const Z& x, const Z& y) {
    mpz_and(r.v, x.v, y.v);
    return 0;
  });
}

TEST(BignumDifferential, Or) {
  differential(lv_bignum_or, 5, two_boxes, [](Z& r, const Z& x, const Z& y) {
    mpz_ior(r.v, x.v, y.v);
    return 0;
  });
}

TEST(BignumDifferential, Xor) {
  differential(lv_bignum_xor, 6, two_boxes, [](Z& r, const Z& x, const Z& y) {
    mpz_xor(r.v, x.v, y.v);
    return 0;
  });
}

TEST(BignumDifferential, Not) {
  differential(lv_bignum_not, 7, two_boxes, [](Z& r, const Z& x, const Z&) {
    mpz_com(r.v, x.v);
    return 0;
  });
}

TEST(BignumDifferential, Msb) {
  differential(lv_bignum_msb, 8, two_boxes, [](Z& r, const Z& x, const Z&) {
    if (mpz_sgn(x.v) <= 0) return LV_BIGNUM_MSB_NOT_POSITIVE;
    mpz_set_ui(r.v, mpz_sizeinbase(x.v, 2) - 1);
    return 0;
  });
}

TEST(BignumDifferential, Multiply) {
  differential(lv_bignum_multiply, 9, two_boxes, [](Z& r, const Z& x, const Z& y) {
    mpz_mul(r.v, x.v, y.v);
    return 0;
  });
}

// Shift counts: within a few hundred limbs, whole limbs, past the operand,
// and now and then far too large.
std::pair<Box, Box> shift_operands(Generator& g) {
  Box x = g.box();
  uint64_t n = limb_count(x.data());
  uint64_t s;
  switch (g.below(8)) {
    case 0: s = 64 * g.below(n + 3); break;
    case 1: s = 64 * n - 1 + g.below(3); break;
    case 2: s = g.below(2) ? ~uint64_t{0} - g.below(64) : (uint64_t{1} << (40 + g.below(20))); break;
    case 3: s = g.below(64); break;
    default: s = g.below(64 * 450); break;
  }
  if (g.below(32) == 0) x = make_box({0});
  return {x, Box{LV_BOX_INT1, s, LV_BOX_INT1}};
}

TEST(BignumDifferential, ShiftLeft) {
  differential(lv_bignum_shift_left, 10, shift_operands, [](Z& r, const Z& x, const Z& y) {
    uint64_t s = shift_count(y);
    if (mpz_sgn(x.v) == 0) return 0;
    uint64_t n = limb_count(box_of(x).data());
    if (s / 64 > LV_BIGNUM_MAX_LIMBS || n + s / 64 + (s % 64 != 0) > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
    mpz_mul_2exp(r.v, x.v, s);
    return 0;
  }, false);
}

TEST(BignumDifferential, ShiftRight) {
  differential(lv_bignum_shift_right, 11, shift_operands, [](Z& r, const Z& x, const Z& y) {
    uint64_t s = shift_count(y);
    if (s > 64 * 1000) s = 64 * 1000;  // the same: past every operand
    mpz_fdiv_q_2exp(r.v, x.v, s);
    return 0;
  }, false);
}

// Division operands: plain random pairs, dividends built as q * y + r with a
// chosen remainder (0, 1, |y| - 1 or random), one-digit divisors, divisors
// longer than the dividend, and now and then zero.
std::pair<Box, Box> division_operands(Generator& g) {
  Box y = g.box(250);
  switch (g.below(8)) {
    case 0: y = make_box({g.below(2) ? static_cast<uint64_t>(g.digit()) : g.below(100) + 1}); break;
    case 1: y = make_box({g.below(2) ? uint64_t{0} - (g.below(100) + 1) : uint64_t{0} - g.digit()}); break;
    default: break;
  }
  if (g.below(40) == 0) y = make_box({0});
  Z zy(y.data());
  if (mpz_sgn(zy.v) != 0 && g.below(2) == 0) {
    Box q = g.box(250);
    Z x;
    mpz_mul(x.v, zy.v, Z(q.data()).v);
    Z r;
    mpz_abs(r.v, zy.v);
    switch (g.below(4)) {
      case 0: mpz_set_ui(r.v, 0); break;
      case 1: mpz_set_ui(r.v, 1); break;
      case 2: mpz_sub_ui(r.v, r.v, 1); break;
      default: mpz_fdiv_r(r.v, Z(g.box(250).data()).v, r.v); break;
    }
    if (g.below(2)) mpz_neg(r.v, r.v);
    mpz_add(x.v, x.v, r.v);
    return {box_of(x), y};
  }
  return {g.box(), y};
}

template <typename Op>
int32_t divided(Z& r, const Z& x, const Z& y, Op op) {
  if (mpz_sgn(y.v) == 0) return LV_BIGNUM_DIVISION_BY_ZERO;
  op(r.v, x.v, y.v);
  return 0;
}

TEST(BignumDifferential, Quotient) {
  differential(lv_bignum_quotient, 12, division_operands,
               [](Z& r, const Z& x, const Z& y) { return divided(r, x, y, mpz_tdiv_q); });
}

TEST(BignumDifferential, FloorQuotient) {
  differential(lv_bignum_floor_quotient, 13, division_operands,
               [](Z& r, const Z& x, const Z& y) { return divided(r, x, y, mpz_fdiv_q); });
}

TEST(BignumDifferential, Remainder) {
  differential(lv_bignum_remainder, 14, division_operands,
               [](Z& r, const Z& x, const Z& y) { return divided(r, x, y, mpz_tdiv_r); });
}

TEST(BignumDifferential, Modulo) {
  differential(lv_bignum_modulo, 15, division_operands,
               [](Z& r, const Z& x, const Z& y) { return divided(r, x, y, mpz_fdiv_r); });
}

TEST(BignumDifferential, DivideModes) {
  Generator g(16);
  for (int i = 0; i < ROUNDS; i++) {
    auto [x, y] = division_operands(g);
    Z zx(x.data());
    Z zy(y.data());
    if (mpz_sgn(zy.v) == 0) continue;
    Z q, r;
    mpz_abs(zx.v, zx.v);
    mpz_abs(zy.v, zy.v);
    mpz_tdiv_qr(q.v, r.v, zx.v, zy.v);
    for (int mode = LV_DIVIDE_QUOTIENT; mode <= LV_DIVIDE_MODULO; mode++) {
      int flag = -1;
      Result res = run(
          [&](const lv_term* a, const lv_term* b, lv_term* first, lv_term* last) {
            return lv_bignum_divide(a, b, first, last, &flag, mode);
          },
          x.data(), y.data(), false);
      ASSERT_EQ(res.code, 0);
      ASSERT_EQ(Z(res.box.data()), mode <= LV_DIVIDE_QUOTIENT_FLAG ? q : r)
          << "mode " << mode << "\nx = " << show(x) << "\ny = " << show(y);
      if (mode == LV_DIVIDE_QUOTIENT_FLAG) {
        ASSERT_EQ(flag, mpz_sgn(r.v) == 0 ? 1 : 0);
      }
    }
  }
}

TEST(BignumDifferential, CompareAndPredicates) {
  Generator g(17);
  for (int i = 0; i < ROUNDS; i++) {
    Box x = g.box();
    Z zx(x.data());
    Z zy;
    switch (g.below(4)) {
      case 0: mpz_set(zy.v, zx.v); break;
      case 1: mpz_add_ui(zy.v, zx.v, 1); break;
      case 2: mpz_neg(zy.v, zx.v); break;
      default: zy = Z(g.box().data()); break;
    }
    Box y = box_of(zy);
    int expected = mpz_cmp(zx.v, zy.v);
    expected = expected < 0 ? -1 : expected > 0 ? 1 : 0;
    ASSERT_EQ(lv_bignum_compare(x.data(), y.data()), expected) << show(x) << " " << show(y);
    ASSERT_EQ(lv_bignum_nonnegative(x.data()), mpz_sgn(zx.v) >= 0 ? 1 : 0);
    ASSERT_EQ(lv_bignum_fits_uint64(x.data()), mpz_sgn(zx.v) >= 0 && mpz_sizeinbase(zx.v, 2) <= 64 ? 1 : 0);
  }
}

TEST_F(EngineTest, BignumDifferentialTextOut) {
  Generator g(18);
  for (int i = 0; i < ROUNDS; i++) {
    Box x = g.box();
    int radix = static_cast<int>(2 + g.below(35)) * (g.below(2) ? 1 : -1);
    if (g.below(4) == 0) radix = g.below(2) ? 10 : 16;
    char* text = lv_bignum_to_text(x.data(), radix, static_cast<int>(g.below(2)));
    ASSERT_EQ(std::string(text), Z(x.data()).str(radix)) << "radix " << radix;
    LV_free(text);
  }
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_LV_MALLOC), 0u);
}

TEST(BignumDifferential, TextIn) {
  Generator g(19);
  const char* lower = "0123456789abcdefghijklmnopqrstuvwxyz";
  const char* upper = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int i = 0; i < ROUNDS; i++) {
    int r = static_cast<int>(2 + g.below(35));
    if (g.below(4) == 0) r = g.below(2) ? 10 : 16;
    // Up to a few hundred limbs' worth of digits.
    uint64_t chars = 1 + g.length(400) * 64 / (r < 4 ? 1 : r < 16 ? 3 : 4);
    std::string digits;
    uint64_t zeros = g.below(3) == 0 ? g.below(6) : 0;
    digits.append(zeros, '0');
    int pattern = static_cast<int>(g.below(6));
    for (uint64_t k = 0; k < chars; k++) {
      uint64_t v = pattern == 0 ? r - 1 : pattern == 1 ? (k == 0 ? 1 : 0) : g.below(r);
      digits += g.below(2) ? lower[v] : upper[v];
    }
    int radix = r;
    std::string text = digits;
    bool negative = false;
    switch (g.below(4)) {
      case 0: radix = -r; negative = true; break;
      case 1: text = "-" + digits; negative = true; break;
      case 2: text = "+" + digits; break;
      default: break;
    }
    Z expected;
    ASSERT_EQ(mpz_set_str(expected.v, digits.c_str(), r), 0);
    if (negative) mpz_neg(expected.v, expected.v);
    int check = static_cast<int>(g.below(2));
    Result res = run([&](const lv_term*, const lv_term*, lv_term* first,
                         lv_term* last) { return lv_bignum_from_text(text.c_str(), first, last, radix, check); },
                     nullptr, nullptr, true, false);
    ASSERT_EQ(res.code, 0);
    ASSERT_EQ(Z(res.box.data()), expected) << text << " radix " << radix;
  }
}

TEST(BignumDifferential, Bytes) {
  Generator g(20);
  for (int i = 0; i < ROUNDS; i++) {
    Box x = g.box();
    Z zx(x.data());
    // The minimal count: the fewest bytes m with -2^(8m-1) <= x < 2^(8m-1).
    Z bits_of;
    if (mpz_sgn(zx.v) < 0)
      mpz_com(bits_of.v, zx.v);
    else
      mpz_set(bits_of.v, zx.v);
    uint64_t bitlen = mpz_sgn(bits_of.v) == 0 ? 0 : mpz_sizeinbase(bits_of.v, 2);
    uint64_t m = bitlen / 8 + 1;
    uint64_t size = m + g.below(3) * g.below(20);
    std::vector<uint8_t> expected(size, 0);
    Z residue;
    mpz_fdiv_r_2exp(residue.v, zx.v, 8 * size);
    size_t written = 0;
    mpz_export(expected.data(), &written, -1, 1, 0, 0, residue.v);
    std::vector<uint8_t> buffer(size, 0xa5);
    uint64_t count = size;
    ASSERT_EQ(lv_bignum_to_bytes(x.data(), buffer.data(), &count), 1);
    ASSERT_EQ(count, m);
    ASSERT_EQ(buffer, expected) << show(x);
    Result back = run([&](const lv_term*, const lv_term*, lv_term* first,
                          lv_term* last) { return lv_bignum_from_bytes(buffer.data(), size, first, last); },
                      nullptr, nullptr);
    ASSERT_EQ(back.box, x) << show(x);
    count = m - 1;
    ASSERT_EQ(lv_bignum_to_bytes(x.data(), buffer.data(), &count), 0);
    ASSERT_EQ(count, m);
  }
}

TEST(BignumDifferential, FromFloat) {
  Generator g(22);
  for (int i = 0; i < ROUNDS; i++) {
    // Random bits, mostly with an exponent beyond the small-integer range.
    uint64_t bits = g.word();
    if (g.below(4) != 0) bits = (bits & 0x800fffffffffffff) | ((1023 + 60 + g.below(965)) << 52);
    if (g.below(8) == 0) bits &= 0xfff0000000000000;  // powers of two
    Box f = {LV_BOX_FLOAT, bits, LV_BOX_FLOAT};
    double d = lv_double_from_bits(bits);
    Result r = run(lv_bignum_from_float, f.data(), f.data());
    if (!std::isfinite(d)) {
      ASSERT_EQ(r.code, LV_BIGNUM_NOT_FINITE);
      continue;
    }
    Z expected;
    mpz_set_d(expected.v, d);
    ASSERT_EQ(r.code, 0);
    ASSERT_EQ(Z(r.box.data()), expected) << d;
  }
}

// The driver over the kernels: results in the small-integer range come back
// as small integers, all others as normal boxes with their trailers.
TEST_F(EngineTest, BignumDifferentialThroughTheDriver) {
  struct Op {
    lv_bignum_kernel kernel;
    void (*oracle)(mpz_ptr, mpz_srcptr, mpz_srcptr);
  } ops[] = {
      {lv_bignum_add, mpz_add}, {lv_bignum_subtract, mpz_sub}, {lv_bignum_multiply, mpz_mul},
      {lv_bignum_and, mpz_and}, {lv_bignum_or, mpz_ior},       {lv_bignum_xor, mpz_xor},
      {lv_bignum_quotient, mpz_tdiv_q}, {lv_bignum_modulo, mpz_fdiv_r},
  };
  Generator g(21);
  lv_term* mark = w->numstack_top;
  for (int i = 0; i < ROUNDS; i++) {
    const Op& op = ops[g.below(std::size(ops))];
    // Operands: small integers, or boxes used in place.
    Box xb = g.box(g.below(2) ? 2 : 40);
    Box yb = g.box(g.below(2) ? 2 : 40);
    Z zx(xb.data());
    Z zy(yb.data());
    auto term = [](Box& b, const Z& z) {
      if (mpz_fits_slong_p(z.v) && lv_fits_small(mpz_get_si(z.v))) return lv_make_small(mpz_get_si(z.v));
      return lv_make_struct(b.data());
    };
    lv_term x = term(xb, zx);
    lv_term y = term(yb, zy);
    if ((op.kernel == lv_bignum_quotient || op.kernel == lv_bignum_modulo) && mpz_sgn(zy.v) == 0) continue;
    Z expected;
    op.oracle(expected.v, zx.v, zy.v);
    int32_t error = 1;
    lv_term r = lv_bignum_apply(w, op.kernel, x, y, &error);
    ASSERT_EQ(error, 0);
    bool small = mpz_fits_slong_p(expected.v) && lv_fits_small(mpz_get_si(expected.v));
    if (small) {
      ASSERT_TRUE(lv_is_small(r)) << expected;
      ASSERT_EQ(lv_small_value(r), mpz_get_si(expected.v));
    } else {
      ASSERT_TRUE(lv_is_integer_box(r)) << expected;
      const lv_term* cells = lv_struct_cells(r);
      ASSERT_TRUE(is_normal(cells));
      ASSERT_EQ(cells[limb_count(cells) + 1], cells[0]);
      ASSERT_EQ(Z(cells), expected);
    }
    numstack_trim(w, mark);
  }
}

}  // namespace

// Big integers to floats, correctly rounded: the oracle takes the two doubles
// around |x| (GMP's truncation and the next one up) and picks the nearer one
// exactly, the one with the even mantissa on a tie.
namespace {

uint64_t bits_of(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

double nearest_double(const Z& x) {
  Z magnitude;
  mpz_abs(magnitude.v, x.v);
  double below = mpz_get_d(magnitude.v);  // truncated: exact top 53 bits
  if (!std::isfinite(below)) below = DBL_MAX;
  double above = std::nextafter(below, INFINITY);
  Z lo, twice, sum;
  mpz_set_d(lo.v, below);
  mpz_mul_2exp(twice.v, magnitude.v, 1);
  double result = below;
  if (std::isfinite(above)) {
    Z hi;
    mpz_set_d(hi.v, above);
    mpz_add(sum.v, lo.v, hi.v);
    int c = mpz_cmp(twice.v, sum.v);
    uint64_t mantissa = bits_of(below) & ((uint64_t{1} << 52) - 1);
    if (c > 0 || (c == 0 && (mantissa & 1) != 0)) result = above;
  } else {
    // Above the largest double: rounds to infinity from half an ulp past it.
    Z limit;
    mpz_set_d(limit.v, below);
    Z ulp;
    mpz_set_ui(ulp.v, 1);
    mpz_mul_2exp(ulp.v, ulp.v, 1023 - 52);
    mpz_mul_2exp(limit.v, limit.v, 1);
    mpz_add(limit.v, limit.v, ulp.v);
    if (mpz_cmp(twice.v, limit.v) >= 0) result = INFINITY;
  }
  return mpz_sgn(x.v) < 0 ? -result : result;
}

double box_to_double(Box& b) { return lv_number_to_double(lv_make_struct(b.data())); }

}  // namespace

TEST(BignumDifferential, ToFloatIsCorrectlyRounded) {
  // A value that rounding limb by limb gets one unit wrong.
  Box known = box_of(Z("90111588500810671893213494204433021"));
  EXPECT_EQ(box_to_double(known), nearest_double(Z("90111588500810671893213494204433021")));
  EXPECT_EQ(box_to_double(known), 9.011158850081068e+34);

  Generator g(23);
  for (int i = 0; i < 20 * ROUNDS; i++) {
    Z x;
    if (g.below(2) == 0) {
      x = Z(g.box(g.below(4) == 0 ? 20 : 3).data());
    } else {
      // Near a rounding boundary: a 53-bit mantissa, then a half-ulp pattern
      // (exactly half, just below, just above) at a random shift.
      uint64_t mantissa = (g.word() >> 11) | (uint64_t{1} << 52);
      unsigned shift = 11 + static_cast<unsigned>(g.below(1100));
      mpz_set_ui(x.v, mantissa);
      mpz_mul_2exp(x.v, x.v, shift);
      Z half;
      mpz_set_ui(half.v, 1);
      mpz_mul_2exp(half.v, half.v, shift - 1);
      switch (g.below(5)) {
        case 0: mpz_add(x.v, x.v, half.v); break;
        case 1: mpz_add(x.v, x.v, half.v); mpz_sub_ui(x.v, x.v, 1); break;
        case 2: mpz_add(x.v, x.v, half.v); mpz_add_ui(x.v, x.v, 1); break;
        case 3: mpz_sub_ui(x.v, x.v, 1); break;
        default: break;
      }
      if (g.below(2) == 0) mpz_neg(x.v, x.v);
    }
    Box b = box_of(x);
    if (lv_box_value_words(b[0]) == 1) continue;  // a box holds only values beyond one limb here
    double expected = nearest_double(x);
    double got = box_to_double(b);
    ASSERT_EQ(bits_of(got), bits_of(expected)) << x.str();
  }
}
