// Big-integer kernels. A kernel takes two operands (the addresses of box
// headers; unary kernels ignore the second) and an output region [first,
// last) at the number-stack top. It writes the result's header at first[0]
// and its limbs after it, and answers 0, a positive number of words it needs
// when the region is too small, or a negative error code.
#pragma once

#include <cstdint>

#include "core/term.h"

typedef int32_t (*lv_bignum_kernel)(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);

// Kernel error codes.
constexpr int32_t LV_BIGNUM_TOO_LARGE = -265;
constexpr int32_t LV_BIGNUM_MSB_NOT_POSITIVE = -519;
constexpr int32_t LV_BIGNUM_NOT_FINITE = -771;
constexpr int32_t LV_BIGNUM_DIVISION_BY_ZERO = -775;

// A float box to an integer, truncated toward zero.
int32_t lv_bignum_from_float(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
