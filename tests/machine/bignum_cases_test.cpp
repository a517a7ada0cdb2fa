// Big integers: the edge cases, as tables, and the event checks and error
// paths that random operands do not reach.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/bignum_apply.h"
#include "core/memory.h"
#include "machine/bignum.h"
#include "machine/recovery.h"
#include "support/engine_fixture.h"
#include "bignum_support.h"

namespace {

using namespace bignum_test;

// A normal box from hexadecimal text with an optional '-'.
Box hex(const char* text) {
  Z z;
  mpz_set_str(z.v, text, 16);
  return box_of(z);
}

Box dec(const std::string& text) { return box_of(Z(text.c_str())); }

std::string hex_of(const Box& b) { return Z(b.data()).str(16); }

// The result of a kernel in hexadecimal, or its error code in decimal.
std::string outcome(lv_bignum_kernel k, const Box& x, const Box& y) {
  Result r = run(k, x.data(), y.data());
  return r.code != 0 ? std::to_string(r.code) : hex_of(r.box);
}

Box count(uint64_t s) { return Box{LV_BOX_INT1, s, LV_BOX_INT1}; }

TEST(BignumCases, Msb) {
  struct Case {
    std::string x;
    std::string expected;
  } cases[] = {
      {"10000000000000000", "40"},  // 2^64, two limbs {0, 1}: 64
      {"8000000000000000", "3f"},   // 2^63, two limbs {2^63, 0}: 63
      {"1", "0"},
      {"7fffffffffffffff", "3e"},
      {"1" + std::string(50, '0'), "c8"},  // 2^200
      {"0", "-519"},
      {"-1", "-519"},
      {"-10000000000000000", "-519"},
  };
  for (const auto& c : cases) {
    Box x = hex(c.x.c_str());
    EXPECT_EQ(outcome(lv_bignum_msb, x, x), c.expected) << c.x;
  }
}

TEST(BignumCases, NegationOfTheLowestLimbValueGrowsALimb) {
  Box x = {LV_BOX_INT1, uint64_t{1} << 63, LV_BOX_INT1};  // -2^63
  Result r = run(lv_bignum_negate, x.data(), x.data());
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.box, (Box{LV_BOX_INT2, uint64_t{1} << 63, 0, LV_BOX_INT2}));
  for (const char* v : {"0", "1", "-1", "8000000000000000", "-8000000000000000", "-80000000000000000000000000000000",
                        "80000000000000000000000000000000"}) {
    Z expected;
    mpz_neg(expected.v, Z(hex(v).data()).v);
    EXPECT_EQ(outcome(lv_bignum_negate, hex(v), hex(v)), expected.str(16)) << v;
  }
}

TEST(BignumCases, Division) {
  struct Case {
    lv_bignum_kernel kernel;
    const char* x;
    const char* y;
    const char* expected;
  } cases[] = {
      // -(2^64+1) by 2.
      {lv_bignum_floor_quotient, "-10000000000000001", "2", "-8000000000000001"},
      {lv_bignum_quotient, "-10000000000000001", "2", "-8000000000000000"},
      {lv_bignum_modulo, "-10000000000000001", "2", "1"},
      {lv_bignum_remainder, "-10000000000000001", "2", "-1"},
      // Estimated digit 0xFFFFFFFF with an add-back.
      {lv_bignum_quotient, "8000000000000000000000000003", "80000000000000000001", "ffffffff"},
      {lv_bignum_remainder, "8000000000000000000000000003", "80000000000000000001", "7fffffffffff00000004"},
      {lv_bignum_floor_quotient, "-8000000000000000000000000003", "80000000000000000001", "-100000000"},
      {lv_bignum_modulo, "-8000000000000000000000000003", "80000000000000000001", "fffffffd"},
      // Estimated digit 0xFFFFFFFF whose remainder estimate passes 2^32.
      {lv_bignum_quotient, "ffffffff7fffffff7fffffff", "1ffffffff", "7fffffffffffffff"},
      {lv_bignum_remainder, "ffffffff7fffffff7fffffff", "1ffffffff", "17ffffffe"},
      {lv_bignum_modulo, "ffffffff7fffffff7fffffff", "-1ffffffff", "-80000001"},
      // One quotient digit, corrected by an add-back.
      {lv_bignum_quotient, "18000000000000000", "18000000000000001", "0"},
      {lv_bignum_floor_quotient, "-18000000000000000", "18000000000000001", "-1"},
      {lv_bignum_modulo, "18000000000000000", "-18000000000000001", "-1"},
      // Quotient with the top bit of a limb set: a sign limb is added.
      {lv_bignum_quotient, "-8000000000000000", "-1", "8000000000000000"},
      {lv_bignum_floor_quotient, "-8000000000000000", "-1", "8000000000000000"},
      // A dividend smaller than the divisor.
      {lv_bignum_quotient, "5", "-100000000000000000000", "0"},
      {lv_bignum_floor_quotient, "5", "-100000000000000000000", "-1"},
      {lv_bignum_floor_quotient, "0", "-100000000000000000000", "0"},
      {lv_bignum_modulo, "5", "-100000000000000000000", "-fffffffffffffffffffb"},
      {lv_bignum_modulo, "-5", "100000000000000000000", "fffffffffffffffffffb"},
      {lv_bignum_remainder, "-8000000000000000", "100000000000000000000", "-8000000000000000"},
      // Division by zero, which no room shortage may hide.
      {lv_bignum_quotient, "1", "0", "-775"},
      {lv_bignum_floor_quotient, "-123456789abcdef0123456789abcdef", "0", "-775"},
      {lv_bignum_remainder, "123456789abcdef0123456789abcdef", "0", "-775"},
      {lv_bignum_modulo, "0", "0", "-775"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(outcome(c.kernel, hex(c.x), hex(c.y)), c.expected) << c.x << " by " << c.y;
}

TEST(BignumCases, DivisionOfANumberByItself) {
  Box x = hex("-123456789abcdef0123456789abcdef");
  EXPECT_EQ(outcome(lv_bignum_quotient, x, x), "1");
  EXPECT_EQ(outcome(lv_bignum_floor_quotient, x, x), "1");
  EXPECT_EQ(outcome(lv_bignum_remainder, x, x), "0");
  EXPECT_EQ(outcome(lv_bignum_modulo, x, x), "0");
  // The driver pushes two equal small operands once, so 0 meets itself.
  Box zero = hex("0");
  for (lv_bignum_kernel k : {lv_bignum_quotient, lv_bignum_floor_quotient, lv_bignum_remainder, lv_bignum_modulo})
    EXPECT_EQ(outcome(k, zero, zero), "-775");
}

TEST(BignumCases, DivideModesGiveMagnitudesAndTheRemainderFlag) {
  struct Case {
    const char* x;
    const char* y;
    const char* quotient;
    const char* remainder;
  } cases[] = {
      {"-10000000000000001", "2", "8000000000000000", "1"},
      {"-20000000000000000", "-2", "10000000000000000", "0"},
      {"0", "-7", "0", "0"},
      {"3", "-100000000000000000", "0", "3"},
      {"8000000000000000000000000003", "-80000000000000000001", "ffffffff", "7fffffffffff00000004"},
  };
  for (const auto& c : cases) {
    Box x = hex(c.x);
    Box y = hex(c.y);
    for (int mode = LV_DIVIDE_QUOTIENT; mode <= LV_DIVIDE_MODULO; mode++) {
      int flag = -1;
      Result r = run(
          [&](const lv_term* a, const lv_term* b, lv_term* first, lv_term* last) {
            return lv_bignum_divide(a, b, first, last, &flag, mode);
          },
          x.data(), y.data(), false);
      ASSERT_EQ(r.code, 0);
      EXPECT_EQ(hex_of(r.box), mode <= LV_DIVIDE_QUOTIENT_FLAG ? c.quotient : c.remainder) << c.x << " mode " << mode;
      if (mode == LV_DIVIDE_QUOTIENT_FLAG) {
        EXPECT_EQ(flag, std::string(c.remainder) == "0" ? 1 : 0) << c.x;
      } else {
        EXPECT_EQ(flag, -1);
      }
    }
  }
}

TEST(BignumCases, Shifts) {
  struct Case {
    lv_bignum_kernel kernel;
    const char* x;
    uint64_t s;
    const char* expected;
  } cases[] = {
      {lv_bignum_shift_right, "-123456789abcdef0123456789abcdef", 128, "-1"},
      {lv_bignum_shift_right, "-123456789abcdef0123456789abcdef", ~uint64_t{0}, "-1"},
      {lv_bignum_shift_right, "123456789abcdef0123456789abcdef", 128, "0"},
      {lv_bignum_shift_right, "123456789abcdef0123456789abcdef", 120, "1"},
      {lv_bignum_shift_right, "-123456789abcdef0123456789abcdef", 120, "-2"},
      {lv_bignum_shift_right, "-8000000000000000", 63, "-1"},
      {lv_bignum_shift_right, "-10000000000000000", 64, "-1"},
      {lv_bignum_shift_left, "-1", 64, "-10000000000000000"},
      {lv_bignum_shift_left, "-1", 63, "-8000000000000000"},
      {lv_bignum_shift_left, "1", 63, "8000000000000000"},
      {lv_bignum_shift_left, "-8000000000000000", 1, "-10000000000000000"},
      // Zero stays zero, however far.
      {lv_bignum_shift_left, "0", uint64_t{1} << 40, "0"},
      {lv_bignum_shift_left, "0", ~uint64_t{0}, "0"},
      {lv_bignum_shift_left, "1", uint64_t{1} << 40, "-265"},
      {lv_bignum_shift_left, "1", ~uint64_t{0}, "-265"},
      {lv_bignum_shift_left, "1", 64 * (LV_BIGNUM_MAX_LIMBS - 1) + 1, "-265"},
  };
  for (const auto& c : cases) EXPECT_EQ(outcome(c.kernel, hex(c.x), count(c.s)), c.expected) << c.x << " by " << c.s;
}

TEST(BignumCases, FloatsToIntegers) {
  struct Case {
    double d;
    Box expected;
  } cases[] = {
      {9223372036854775808.0, {LV_BOX_INT2, uint64_t{1} << 63, 0, LV_BOX_INT2}},  // 2^63
      {-9223372036854775808.0, {LV_BOX_INT1, uint64_t{1} << 63, LV_BOX_INT1}},     // -2^63
      {-std::ldexp(1.0, 127), {LV_BOX_INT2, 0, uint64_t{1} << 63, LV_BOX_INT2}},
      {-std::ldexp(1.0, 64), {LV_BOX_INT2, 0, ~uint64_t{0}, LV_BOX_INT2}},
      {-std::ldexp(3.0, 100), {LV_BOX_INT2, 0, 0xffffffd000000000, LV_BOX_INT2}},
      {-2.5, {LV_BOX_INT1, static_cast<uint64_t>(-2), LV_BOX_INT1}},
  };
  for (const auto& c : cases) {
    Box f = {LV_BOX_FLOAT, lv_canonical_float_bits(c.d), LV_BOX_FLOAT};
    Result r = run(lv_bignum_from_float, f.data(), f.data());
    EXPECT_EQ(r.box, c.expected) << c.d;
  }
  for (double d : {INFINITY, -INFINITY, NAN}) {
    Box f = {LV_BOX_FLOAT, lv_canonical_float_bits(d), LV_BOX_FLOAT};
    EXPECT_EQ(run(lv_bignum_from_float, f.data(), f.data()).code, LV_BIGNUM_NOT_FINITE);
  }
}

TEST(BignumCases, BoxPredicatesAndComparison) {
  struct Case {
    const char* x;
    const char* y;
    int compare;
    int x_fits_uint64;
  } cases[] = {
      {"0", "0", 0, 1},
      {"ffffffffffffffff", "10000000000000000", -1, 1},
      {"10000000000000000", "ffffffffffffffff", 1, 0},
      {"8000000000000000", "-8000000000000000", 1, 1},
      {"-8000000000000000", "-8000000000000001", 1, 0},
      {"-10000000000000000", "-ffffffffffffffff", -1, 0},
      {"-1", "1", -1, 0},
      {"123456789abcdef0123456789abcdef", "123456789abcdef0123456789abcdee", 1, 0},
  };
  for (const auto& c : cases) {
    Box x = hex(c.x);
    Box y = hex(c.y);
    EXPECT_EQ(lv_bignum_compare(x.data(), y.data()), c.compare) << c.x << " " << c.y;
    EXPECT_EQ(lv_bignum_compare(y.data(), x.data()), -c.compare) << c.x << " " << c.y;
    EXPECT_EQ(lv_bignum_fits_uint64(x.data()), c.x_fits_uint64) << c.x;
    EXPECT_EQ(lv_bignum_nonnegative(x.data()), c.x[0] == '-' ? 0 : 1) << c.x;
  }
}

TEST(BignumCases, InPlaceOperations) {
  Box x = {lv_box_header(3, false), 0, 0, 5, 0};
  lv_bignum_normalize(x.data());
  EXPECT_EQ(x[0], lv_box_header(3, false));
  x[3] = 0;
  lv_bignum_normalize(x.data());
  EXPECT_EQ(x[0], LV_BOX_INT1);
  Box m = {lv_box_header(3, false), 0, 0, ~uint64_t{0}, ~uint64_t{0}};
  lv_bignum_normalize(m.data());
  EXPECT_EQ(m[0], lv_box_header(3, false));  // -2^128: the top limb is needed
  lv_bignum_negate_in_place(m.data());
  EXPECT_EQ(m, (Box{lv_box_header(3, false), 0, 0, 1, ~uint64_t{0}}));
  Box copy(4, 0);
  lv_bignum_copy(m.data(), copy.data());
  EXPECT_EQ(copy, Box(m.begin(), m.begin() + 4));
}

// Text to integer through the kernel convention (the caller's own driving).
Result text_in(const char* text, int radix, int check_events = 0) {
  return run([&](const lv_term*, const lv_term*, lv_term* first,
                 lv_term* last) { return lv_bignum_from_text(text, first, last, radix, check_events); },
             nullptr, nullptr, true, false);
}

TEST(BignumCases, TextToInteger) {
  struct Case {
    const char* text;
    int radix;
    const char* expected;
  } cases[] = {
      {"000", 10, "0"},
      {"-0", 10, "0"},
      {"0", -10, "0"},
      {"+12", 10, "c"},
      {"-12", 10, "-c"},
      {"12", -10, "-c"},
      {"0012", -16, "-12"},
      {"18446744073709551616", 10, "10000000000000000"},
      {"-9223372036854775808", 10, "-8000000000000000"},
      {"9223372036854775808", 10, "8000000000000000"},
      {"10000000000000000", 16, "10000000000000000"},
      {"-FFFFFFFFFFFFFFFF", 16, "-ffffffffffffffff"},
      {"8000000000000000", 16, "8000000000000000"},
      {"-8000000000000000", 16, "-8000000000000000"},
      {"zZ", 36, "50f"},
      {"11111111111111111111111111111111111111111111111111111111111111111", 2, "1ffffffffffffffff"},
      {"", 10, "0"},
  };
  for (const auto& c : cases) {
    Result r = text_in(c.text, c.radix);
    ASSERT_EQ(r.code, 0) << c.text;
    EXPECT_EQ(hex_of(r.box), c.expected) << c.text << " radix " << c.radix;
  }
  // Seventeen hexadecimal digits: two value limbs and a zero top limb.
  lv_term region[8];
  EXPECT_EQ(lv_bignum_from_text("10000000000000000", region, region, 16, 0), 5);
}

TEST(BignumCases, TextToIntegerAsksOnceForEnough) {
  std::string digits(3000, '9');
  lv_term* none = nullptr;
  int32_t need = lv_bignum_from_text(digits.c_str(), none, none, 10, 0);
  ASSERT_GT(need, 0);
  std::vector<lv_term> region(need);
  EXPECT_EQ(lv_bignum_from_text(digits.c_str(), region.data(), region.data() + need, 10, 0), 0);
  // Short of that, the same answer, however far the digits got.
  std::vector<lv_term> half(need / 2);
  EXPECT_EQ(lv_bignum_from_text(digits.c_str(), half.data(), half.data() + half.size(), 10, 0), need);
}

TEST_F(EngineTest, IntegerToText) {
  struct Case {
    const char* x;
    int radix;
    const char* expected;
  } cases[] = {
      {"-ffffffffffffffff", -16, "-FFFFFFFFFFFFFFFF"},
      {"-ffffffffffffffff", 16, "-ffffffffffffffff"},
      {"0", 10, "0"},
      {"0", 2, "0"},
      {"0", -36, "0"},
      {"-1", 2, "-1"},
      {"8000000000000000", 10, "9223372036854775808"},
      {"-8000000000000000", 10, "-9223372036854775808"},
      {"8000000000000000", 7, "22341010611245052052301"},
      {"8000000000000000", 24, "acd772jnc9l0l8"},
      {"-800000000000000000000000000000000000000000000000", 10,  // -2^191, three limbs
       "-3138550867693340381917894711603833208051177722232017256448"},
      {"3b9aca00", 10, "1000000000"},
      {"23", -36, "Z"},
      {"-10000000000000000", 8, "-2000000000000000000000"},
      {"10000000000000000", 32, "g000000000000"},
  };
  for (const auto& c : cases) {
    Box x = hex(c.x);
    char* text = lv_bignum_to_text(x.data(), c.radix, 0);
    EXPECT_STREQ(text, c.expected) << c.x << " radix " << c.radix;
    LV_free(text);
  }
}

TEST(BignumCases, IntegerToBytes) {
  struct Case {
    const char* x;
    std::vector<uint8_t> minimal;
  } cases[] = {
      {"80", {0x80, 0x00}},
      {"-80", {0x80}},
      {"7f", {0x7f}},
      {"-81", {0x7f, 0xff}},
      {"0", {0x00}},
      {"-1", {0xff}},
      {"8000000000000000", {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00}},  // {2^63, 0}
      {"-8000000000000000", {0, 0, 0, 0, 0, 0, 0, 0x80}},
      {"ffffffffffffffff", {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00}},
      {"-10000000000000000", {0, 0, 0, 0, 0, 0, 0, 0, 0xff}},
      {"10000000000000000", {0, 0, 0, 0, 0, 0, 0, 0, 0x01}},
  };
  for (const auto& c : cases) {
    Box x = hex(c.x);
    uint8_t pad = c.x[0] == '-' ? 0xff : 0x00;
    // Too small: the minimal count comes back and nothing is written.
    std::vector<uint8_t> buffer(c.minimal.size() + 3, 0xa5);
    uint64_t size = c.minimal.size() - 1;
    EXPECT_EQ(lv_bignum_to_bytes(x.data(), buffer.data(), &size), 0) << c.x;
    EXPECT_EQ(size, c.minimal.size()) << c.x;
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0xa5)) << c.x;
    // Larger: padded with the sign byte.
    size = buffer.size();
    EXPECT_EQ(lv_bignum_to_bytes(x.data(), buffer.data(), &size), 1) << c.x;
    EXPECT_EQ(size, c.minimal.size()) << c.x;
    std::vector<uint8_t> expected = c.minimal;
    expected.resize(buffer.size(), pad);
    EXPECT_EQ(buffer, expected) << c.x;
    // And back, from the minimal and from the padded form.
    for (uint64_t n : {c.minimal.size(), buffer.size()}) {
      Result r = run([&](const lv_term*, const lv_term*, lv_term* first,
                         lv_term* last) { return lv_bignum_from_bytes(buffer.data(), n, first, last); },
                     nullptr, nullptr);
      EXPECT_EQ(r.box, x) << c.x << " from " << n << " bytes";
    }
  }
  Result empty = run([](const lv_term*, const lv_term*, lv_term* first,
                        lv_term* last) { return lv_bignum_from_bytes(nullptr, 0, first, last); },
                     nullptr, nullptr);
  EXPECT_EQ(empty.box, hex("0"));
}

// Boxes whose headers claim more limbs than the size limit allows: the
// kernels refuse them before they read any limb.
TEST(BignumCases, SizeLimits) {
  auto fake = [](uint64_t n) { return Box{lv_box_header(n, false), 1, 1}; };
  lv_term* none = nullptr;
  Box one = hex("1");
  Box at_limit = fake(LV_BIGNUM_MAX_LIMBS - 1);  // 2^31 - 4 limbs
  Box over = fake(LV_BIGNUM_MAX_LIMBS);
  EXPECT_EQ(lv_bignum_add(at_limit.data(), one.data(), none, none), static_cast<int32_t>(LV_BIGNUM_MAX_LIMBS + 2));
  EXPECT_EQ(lv_bignum_add(over.data(), one.data(), none, none), LV_BIGNUM_TOO_LARGE);
  EXPECT_EQ(lv_bignum_subtract(one.data(), over.data(), none, none), LV_BIGNUM_TOO_LARGE);
  EXPECT_EQ(lv_bignum_and(over.data(), one.data(), none, none), static_cast<int32_t>(LV_BIGNUM_MAX_LIMBS + 2));
  Box half = fake((uint64_t{1} << 30) - 4);  // 2(p + q) = 2^31 - 6
  Box half_over = fake((uint64_t{1} << 30) - 3);
  EXPECT_EQ(lv_bignum_multiply(half.data(), one.data(), none, none), static_cast<int32_t>((uint64_t{1} << 31) - 2));
  EXPECT_EQ(lv_bignum_multiply(half_over.data(), one.data(), none, none), LV_BIGNUM_TOO_LARGE);
  Box fifth = fake(429496728);  // 5p + q + 3 = 2^31 - 4 with q = 1
  Box fifth_over = fake(429496729);
  EXPECT_EQ(lv_bignum_quotient(fifth.data(), one.data(), none, none), INT32_MAX);
  EXPECT_EQ(lv_bignum_quotient(fifth_over.data(), one.data(), none, none), LV_BIGNUM_TOO_LARGE);
  Box limit_shift = count(64 * (LV_BIGNUM_MAX_LIMBS - 1));
  EXPECT_EQ(lv_bignum_shift_left(one.data(), limit_shift.data(), none, none),
            static_cast<int32_t>(LV_BIGNUM_MAX_LIMBS + 2));
}

TEST(BignumCases, ResultTerms) {
  lv_term region[6] = {LV_BOX_INT1, static_cast<uint64_t>(LV_SMALL_MIN), 0, 0, 0, 0};
  lv_term* end = nullptr;
  EXPECT_EQ(lv_bignum_result_term(region, &end), lv_make_small(LV_SMALL_MIN));
  EXPECT_EQ(end, region);
  region[1] = uint64_t{1} << 60;
  EXPECT_EQ(lv_bignum_result_term(region, &end), lv_make_struct(region));
  EXPECT_EQ(end, region + 3);
  EXPECT_EQ(region[2], LV_BOX_INT1);
  region[0] = LV_BOX_INT2;
  region[2] = 0;
  EXPECT_EQ(lv_bignum_result_term(region, &end), lv_make_struct(region));
  EXPECT_EQ(end, region + 4);
  EXPECT_EQ(region[3], LV_BOX_INT2);
}

// The long loops unwind through the event check when an event is pending.
class BignumEvents : public EngineTest {
 protected:
  std::vector<lv_term> region = std::vector<lv_term>(4096);
  Box x = dec("-" + std::string(200, '9'));
  Box y = dec("1" + std::string(100, '7'));
  lv_term* first() { return region.data(); }
  lv_term* last() { return region.data() + region.size(); }
};

TEST_F(BignumEvents, MultiplyAndDivideUnwind) {
  lv_request_event(w);
  EXPECT_EQ(run_to_recovery([&] { lv_bignum_multiply(x.data(), y.data(), first(), last()); }), LV_UNWIND_EVENT);
  EXPECT_EQ(run_to_recovery([&] { lv_bignum_quotient(x.data(), y.data(), first(), last()); }), LV_UNWIND_EVENT);
  EXPECT_EQ(run_to_recovery([&] { lv_bignum_modulo(x.data(), y.data(), first(), last()); }), LV_UNWIND_EVENT);
  // Without a recovery record the check does not unwind and the work is done.
  EXPECT_EQ(lv_bignum_multiply(x.data(), y.data(), first(), last()), 0);
}

TEST_F(BignumEvents, TextInUnwindsOnlyWhenAsked) {
  std::string digits(500, '7');
  lv_request_event(w);
  EXPECT_EQ(run_to_recovery([&] { lv_bignum_from_text(digits.c_str(), first(), last(), 10, 1); }), LV_UNWIND_EVENT);
  EXPECT_EQ(run_to_recovery([&] { lv_bignum_from_text(digits.c_str(), first(), last(), 10, 0); }), 0);
}

TEST_F(BignumEvents, TextOutFreesItsBlockBeforeUnwinding) {
  uint64_t before = lv_mem_category_bytes(LV_CAT_LV_MALLOC);
  lv_request_event(w);
  EXPECT_EQ(run_to_recovery([&] { lv_bignum_to_text(x.data(), 10, 1); }), LV_UNWIND_EVENT);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_LV_MALLOC), before);
  // Without a recovery record nothing unwinds and the text is made.
  char* text = lv_bignum_to_text(x.data(), 10, 1);
  EXPECT_EQ(std::string(text), "-" + std::string(200, '9'));
  LV_free(text);
  char* unchecked = nullptr;
  EXPECT_EQ(run_to_recovery([&] { unchecked = lv_bignum_to_text(x.data(), 10, 0); }), 0);
  LV_free(unchecked);
}

// Through the driver.
TEST_F(EngineTest, DriverDivisionByZero) {
  int32_t error = 0;
  EXPECT_EQ(lv_bignum_apply(w, lv_bignum_quotient, lv_make_small(0), lv_make_small(0), &error), 0u);
  EXPECT_EQ(error, -131847);
  // A dividend too long for the current chunk: still an error, not a fault.
  Box big = hex(std::string(3000, 'f').c_str());
  EXPECT_EQ(lv_bignum_apply(w, lv_bignum_modulo, lv_make_struct(big.data()), lv_make_small(0), &error), 0u);
  EXPECT_EQ(error, -131847);
}

}  // namespace
