// The error-code table: the numbers other components and the Prolog side
// rely on.
#include <gtest/gtest.h>

#include "core/error_codes.h"
#include "machine/bignum.h"

namespace {

TEST(ErrorCodes, NumbersOfTheNames) {
  struct {
    lv_error_code name;
    int32_t code;
  } cases[] = {
      {LV_ERROR_INSTANTIATION, 0},         {LV_ERROR_FAULT, -1},
      {LV_ERROR_SYSTEM, 5},                {LV_ERROR_INPUT_STREAM_NEEDED, 262},
      {LV_ERROR_OUTPUT_STREAM_NEEDED, 518}, {LV_ERROR_NOT_A_STREAM, 2306},
      {LV_ERROR_NOT_FINITE, 263},          {LV_ERROR_UNDEFINED, 519},
      {LV_ERROR_ZERO_DIVISOR, 775},        {LV_ERROR_NOT_INTEGER, 1025},
      {LV_ERROR_NAN_COPIED, 1031},         {LV_ERROR_NOT_FLOAT, 2049},
      {LV_ERROR_NOT_A_LIST, 0x501},
      {LV_ERROR_NOT_EVALUABLE, 2305},      {LV_ERROR_INVALID_TEXT, 1283},
      {LV_ERROR_ARGUMENT_RANGE, 4867},     {LV_ERROR_ADDRESS_BASE, 0x1403},
      {LV_ERROR_ADDRESS_OFFSET, 0x1503},   {LV_ERROR_INT64_RANGE, 0x903},
      {LV_ERROR_UINT8_RANGE, 4611},        {LV_ERROR_VARIABLE_EXPECTED, 0x1603},
  };
  for (const auto& c : cases) EXPECT_EQ(static_cast<int32_t>(c.name), c.code);
}

TEST(ErrorCodes, BignumKernelCodesAreTheNegatedCodes) {
  EXPECT_EQ(LV_BIGNUM_TOO_LARGE, -265);
  EXPECT_EQ(LV_BIGNUM_MSB_NOT_POSITIVE, -519);
  EXPECT_EQ(LV_BIGNUM_NOT_FINITE, -771);
  EXPECT_EQ(LV_BIGNUM_DIVISION_BY_ZERO, -775);
}

}  // namespace
