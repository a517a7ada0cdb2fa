// Term words, boxed numbers, the number stack and the big-integer driver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/bignum_apply.h"
#include "core/numbers.h"
#include "core/numstack.h"
#include "core/predefined_atoms.h"
#include "machine/bignum.h"
#include "support/engine_fixture.h"
#include "support/terms.h"

namespace {

using namespace terms;

TEST(TermWords, TagsAndFunctors) {
  EXPECT_EQ(LV_ATOM_NIL, 7u);
  EXPECT_EQ(LV_ATOM_DOT, 15u);
  EXPECT_EQ(LV_ATOM_COLON, 71u);
  EXPECT_EQ(LV_ATOM_MUTABLE, 239u);
  lv_term f = lv_make_functor(LV_ATOM_COLON, 2);
  EXPECT_EQ(f, 0x100000000000047u);
  EXPECT_EQ(lv_functor_atom(f), LV_ATOM_COLON);
  EXPECT_EQ(lv_functor_arity(lv_make_functor(LV_ATOM_COLON, 255)), 255u);
  EXPECT_TRUE(lv_is_functor_word(f));
  EXPECT_FALSE(lv_is_functor_word(LV_ATOM_COLON));
  EXPECT_FALSE(lv_is_functor_word(LV_BOX_INT1));
  for (int64_t v : {LV_SMALL_MIN, int64_t{-1}, int64_t{0}, LV_SMALL_MAX}) {
    lv_term t = lv_make_small(v);
    EXPECT_TRUE(lv_is_small(t));
    EXPECT_EQ(lv_small_value(t), v);
  }
  EXPECT_TRUE(lv_fits_small(LV_SMALL_MAX));
  EXPECT_FALSE(lv_fits_small(LV_SMALL_MAX + 1));
  EXPECT_FALSE(lv_fits_small(LV_SMALL_MIN - 1));
  int x;
  EXPECT_EQ(TermToPointer_checked(lv_pointer_to_term(&x)), &x);
}

TEST(TermWords, BoxHeaders) {
  EXPECT_EQ(static_cast<int64_t>(lv_box_header(1, false)), -25);
  EXPECT_EQ(static_cast<int64_t>(lv_box_header(2, false)), -41);
  EXPECT_EQ(static_cast<int64_t>(lv_box_header(1, true)), -17);
  EXPECT_EQ(lv_box_value_words(LV_BOX_INT2), 2u);
  EXPECT_EQ(LargeArity_checked(LV_BOX_INT2), 3);
  EXPECT_TRUE(lv_box_is_float(LV_BOX_FLOAT));
  EXPECT_FALSE(lv_box_is_float(LV_BOX_INT1));
}

TEST_F(EngineTest, IntegersHaveOneForm) {
  EXPECT_EQ(lv_make_integer(w, 5), lv_make_small(5));
  EXPECT_EQ(lv_make_integer(w, LV_SMALL_MAX), lv_make_small(LV_SMALL_MAX));
  lv_term big = lv_make_integer(w, LV_SMALL_MAX + 1);
  ASSERT_TRUE(lv_is_integer_box(big));
  const lv_term* cells = lv_struct_cells(big);
  EXPECT_EQ(cells[0], LV_BOX_INT1);
  EXPECT_EQ(static_cast<int64_t>(cells[1]), LV_SMALL_MAX + 1);
  EXPECT_EQ(cells[2], LV_BOX_INT1);
}

TEST_F(EngineTest, FloatsAreCanonical) {
  uint64_t odd_nan_bits = 0x7ff0000000000123;
  double odd_nan;
  std::memcpy(&odd_nan, &odd_nan_bits, sizeof odd_nan);
  for (double d : {odd_nan, -std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(lv_struct_cells(lv_make_float_box(w, d))[1], LV_CANONICAL_NAN);
    EXPECT_EQ(lv_struct_cells(lv_numstack_push_float(w, d))[1], LV_CANONICAL_NAN);
  }
  EXPECT_EQ(lv_struct_cells(lv_make_float_box(w, -0.0))[1], 0u);
  EXPECT_EQ(lv_struct_cells(lv_numstack_push_float(w, -0.0))[1], 0u);
  EXPECT_EQ(lv_float_value(lv_make_float_box(w, -2.5)), -2.5);
  EXPECT_EQ(lv_struct_cells(lv_float_plus_infinity())[1], LV_PLUS_INFINITY);
  EXPECT_EQ(lv_struct_cells(lv_float_minus_infinity())[1], LV_MINUS_INFINITY);
  EXPECT_EQ(lv_struct_cells(lv_float_nan())[1], LV_CANONICAL_NAN);
}

TEST_F(EngineTest, BoxesCopyAndConvert) {
  lv_term* h = w->H;
  lv_term two_limbs[] = {LV_BOX_INT2, 0, 1, LV_BOX_INT2};  // 2^64
  lv_term copy = lv_copy_number_box(w, two_limbs);
  EXPECT_EQ(w->H, h + 4);
  EXPECT_EQ(std::memcmp(lv_struct_cells(copy), two_limbs, sizeof two_limbs), 0);
  EXPECT_EQ(lv_number_to_double(copy), 18446744073709551616.0);
  lv_term negative[] = {LV_BOX_INT2, 0, ~uint64_t{0}, LV_BOX_INT2};  // -2^64
  EXPECT_EQ(lv_number_to_double(lv_make_struct(negative)), -18446744073709551616.0);
  EXPECT_EQ(lv_number_to_double(lv_make_integer_box(w, -7)), -7.0);
  EXPECT_EQ(lv_number_to_double(lv_make_float_box(w, 0.25)), 0.25);
}

TEST_F(EngineTest, Skeletons) {
  lv_term s = lv_make_skeleton(w, lv_make_functor(atom(300), 3));
  ASSERT_TRUE(lv_is_struct(s));
  for (int i = 1; i <= 3; i++) EXPECT_TRUE(lv_is_unbound_cell(&lv_struct_cells(s)[i]));
  lv_term l = lv_make_skeleton(w, LV_FUNCTOR_DOT_2);
  ASSERT_TRUE(lv_is_list(l));
  lv_term* pair = lv_list_cells(l);
  EXPECT_TRUE(lv_is_unbound_cell(&pair[0]));
  EXPECT_TRUE(lv_is_unbound_cell(&pair[1]));
  EXPECT_NE(pair[0], pair[1]);
  lv_term* before = w->H;
  EXPECT_EQ(lv_make_skeleton(w, atom(300)), atom(300));
  EXPECT_EQ(lv_make_skeleton(w, small(3)), small(3));
  EXPECT_EQ(lv_make_skeleton(w, LV_BOX_INT1), LV_BOX_INT1);
  EXPECT_EQ(w->H, before);
}

TEST_F(EngineTest, NumberStackChunksDoubleAndTrimKeepsThem) {
  lv_term first = lv_numstack_push_int(w, 1);
  lv_term* mark = w->numstack_top;
  EXPECT_EQ(lv_numstack_chunk_count(), 1u);
  lv_numstack_chunk* c1 = reinterpret_cast<lv_numstack_chunk*>(w->numstack_chunk);
  EXPECT_EQ(c1->size, 1024u);
  // Fill well past the first chunk: 2048, 4096, ... follow.
  for (int i = 0; i < 400; i++) lv_numstack_push_int(w, i);
  lv_numstack_chunk* c = reinterpret_cast<lv_numstack_chunk*>(w->numstack_chunk);
  EXPECT_GE(lv_numstack_chunk_count(), 3u);
  uint64_t expected = 1024;
  for (lv_numstack_chunk* k = c1; k != nullptr; k = k->next, expected *= 2) EXPECT_EQ(k->size, expected);
  EXPECT_NE(c, c1);
  numstack_trim(w, mark);
  EXPECT_EQ(w->numstack_chunk, reinterpret_cast<lv_term*>(c1));
  EXPECT_EQ(w->numstack_top, mark);
  uint64_t chunks = lv_numstack_chunk_count();
  for (int i = 0; i < 400; i++) lv_numstack_push_int(w, i);
  EXPECT_EQ(lv_numstack_chunk_count(), chunks);  // reused, none added
  EXPECT_EQ(lv_struct_cells(first)[1], 1u);
}

TEST_F(EngineTest, TrimToTheEndOfAFullChunkKeepsThatChunk) {
  lv_numstack_push_int(w, 7);
  lv_numstack_chunk* c1 = reinterpret_cast<lv_numstack_chunk*>(w->numstack_chunk);
  lv_term* end = reinterpret_cast<lv_term*>(c1);
  // Fill the first chunk exactly.
  while (w->numstack_top < end) *w->numstack_top++ = 0;
  lv_numstack_push_int(w, 8);  // moves to the second chunk
  numstack_trim(w, end);
  EXPECT_EQ(w->numstack_chunk, reinterpret_cast<lv_term*>(c1));
}

TEST_F(EngineTest, NumberStackPushes) {
  lv_term b = lv_numstack_push_struct(w, ~uint64_t{0});
  const lv_term* cells = lv_struct_cells(b);
  EXPECT_EQ(cells[0], LV_BOX_INT2);
  EXPECT_EQ(cells[1], ~uint64_t{0});
  EXPECT_EQ(cells[2], 0u);
  lv_term copy = lv_numstack_push_box(w, b);
  EXPECT_EQ(std::memcmp(lv_struct_cells(copy), cells, 3 * sizeof(lv_term)), 0);
}

// A test kernel: adds two one-limb operands, answering "needs 4 words" when
// given less.
int32_t add_kernel(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last) {
  if (last - first < 4) return 4;
  __int128 sum = static_cast<__int128>(static_cast<int64_t>(x[1])) + static_cast<int64_t>(y[1]);
  int64_t lo = static_cast<int64_t>(sum);
  if (sum == lo) {
    first[0] = LV_BOX_INT1;
    first[1] = static_cast<lv_term>(lo);
  } else {
    first[0] = LV_BOX_INT2;
    first[1] = static_cast<lv_term>(static_cast<uint64_t>(sum));
    first[2] = static_cast<lv_term>(static_cast<uint64_t>(sum >> 64));
  }
  return 0;
}

int32_t divide_kernel(const lv_term*, const lv_term*, lv_term*, lv_term*) { return LV_BIGNUM_DIVISION_BY_ZERO; }
int32_t too_large_kernel(const lv_term*, const lv_term*, lv_term*, lv_term*) { return LV_BIGNUM_TOO_LARGE; }
int32_t greedy_kernel(const lv_term*, const lv_term*, lv_term*, lv_term* ) { return 1 << 20; }

TEST_F(EngineTest, BignumResultsInTheSmallRangeAreSmall) {
  int32_t error = 99;
  lv_term r = lv_bignum_apply(w, add_kernel, small(LV_SMALL_MAX - 1), small(1), &error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(r, lv_make_small(LV_SMALL_MAX));
  r = lv_bignum_apply(w, add_kernel, small(LV_SMALL_MAX), small(1), &error);
  ASSERT_TRUE(lv_is_integer_box(r));
  const lv_term* cells = lv_struct_cells(r);
  EXPECT_EQ(cells[0], LV_BOX_INT1);
  EXPECT_EQ(static_cast<int64_t>(cells[1]), LV_SMALL_MAX + 1);
  EXPECT_EQ(cells[2], LV_BOX_INT1);  // the trailer
  lv_term huge = lv_make_integer_box(w, INT64_MAX);
  r = lv_bignum_apply(w, add_kernel, huge, huge, &error);
  ASSERT_TRUE(lv_is_integer_box(r));
  EXPECT_EQ(lv_box_value_words(lv_struct_cells(r)[0]), 2u);
  EXPECT_EQ(lv_struct_cells(r)[3], LV_BOX_INT2);
}

TEST_F(EngineTest, BignumFloatOperandsBecomeIntegers) {
  int32_t error = 0;
  lv_term r = lv_bignum_apply(w, add_kernel, lv_make_float_box(w, 2.9), small(1), &error);
  EXPECT_EQ(r, small(3));
  r = lv_bignum_apply(w, add_kernel, small(1), lv_make_float_box(w, INFINITY), &error);
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(error, LV_BIGNUM_NOT_FINITE - 65536 - 131072);
}

TEST_F(EngineTest, BignumErrorCodes) {
  int32_t error = 0;
  EXPECT_EQ(lv_bignum_apply(w, divide_kernel, small(1), small(0), &error), 0u);
  EXPECT_EQ(error, -131847);
  EXPECT_EQ(lv_bignum_apply(w, too_large_kernel, small(1), small(0), &error), 0u);
  EXPECT_EQ(error, -265 - 65536);
}

TEST_F(EngineTest, BignumKernelAskingTwiceIsFatal) {
  int32_t error = 0;
  EXPECT_EXIT(lv_bignum_apply(w, greedy_kernel, small(1), small(2), &error), testing::ExitedWithCode(255),
              "miscalculated size of bignum");
}

TEST_F(EngineTest, BignumGivesUpWhenAnEventIsPending) {
  lv_request_event(w);
  int32_t error = 0;
  int code = run_to_recovery([&] { lv_bignum_apply(w, add_kernel, small(1), small(2), &error); });
  EXPECT_EQ(code, LV_UNWIND_EVENT);
}

// Floats to integers, through the driver so that the results are checked in
// their final form.
TEST_F(EngineTest, FloatsToIntegers) {
  int32_t error = 0;
  auto convert = [&](double d) {
    lv_term f = lv_make_float_box(w, d);
    return lv_bignum_apply(w, lv_bignum_from_float, f, f, &error);
  };
  EXPECT_EQ(convert(-3.99), small(-3));
  EXPECT_EQ(convert(1152921504606846975.0 / 2), small(576460752303423488));
  lv_term r = convert(1152921504606846976.0);  // 2^60
  ASSERT_TRUE(lv_is_integer_box(r));
  EXPECT_EQ(lv_struct_cells(r)[1], uint64_t{1} << 60);
  r = convert(-9223372036854775808.0);  // -2^63: one limb
  ASSERT_TRUE(lv_is_integer_box(r));
  EXPECT_EQ(lv_box_value_words(lv_struct_cells(r)[0]), 1u);
  EXPECT_EQ(lv_struct_cells(r)[1], uint64_t{1} << 63);
  r = convert(9223372036854775808.0);  // 2^63: two limbs
  ASSERT_EQ(lv_box_value_words(lv_struct_cells(r)[0]), 2u);
  EXPECT_EQ(lv_struct_cells(r)[1], uint64_t{1} << 63);
  EXPECT_EQ(lv_struct_cells(r)[2], 0u);
  r = convert(-std::ldexp(3.0, 100));  // -3 * 2^100
  ASSERT_EQ(lv_box_value_words(lv_struct_cells(r)[0]), 2u);
  EXPECT_EQ(lv_number_to_double(r), -std::ldexp(3.0, 100));
  r = convert(std::ldexp(1.0, 1000));
  EXPECT_EQ(lv_number_to_double(r), std::ldexp(1.0, 1000));
  EXPECT_EQ(convert(NAN), 0u);
  EXPECT_EQ(error, LV_BIGNUM_NOT_FINITE - 65536);
}

TEST_F(EngineTest, StrConcat) {
  const char* parts[] = {"ab", "", "cde", nullptr};
  char* s = lv_str_concat(parts);
  EXPECT_STREQ(s, "abcde");
  lv_mem_free(s, 6, lv_mem_flags(LV_CAT_MISC));
}

}  // namespace
