// Big integers: boxes of 64-bit two's-complement limbs, least significant
// first (header, limbs; a trailer copy of the header on the heap). The top
// limb, read as signed, gives the sign. A box is normal when its top limb is
// not redundant (0 above a non-negative limb, or -1 above a negative one);
// every kernel leaves its result normal. Kernels accept one-limb boxes of any
// value, since the driver pushes small-integer operands as one-limb boxes.
//
// A kernel takes two operands (the addresses of box headers; unary kernels
// ignore the second) and an output region [first, last) at the number-stack
// top. It writes the result's header at first[0] and its limbs after it,
// never the trailer, and uses the rest of the region as scratch. It answers
// 0, a positive number of words it needs when the region is too small
// (nothing usable written), or a negative error code. It checks the size
// limit first, then the room, and only then writes limbs.
#pragma once

#include <cstdint>

#include "core/error_codes.h"
#include "core/term.h"

typedef int32_t (*lv_bignum_kernel)(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);

// Kernel error codes: the pending-error codes negated.
constexpr int32_t LV_BIGNUM_TOO_LARGE = -LV_ERROR_TOO_LARGE;
constexpr int32_t LV_BIGNUM_MSB_NOT_POSITIVE = -LV_ERROR_UNDEFINED;
constexpr int32_t LV_BIGNUM_NOT_FINITE = -LV_ERROR_FLOAT_TO_INTEGER;
constexpr int32_t LV_BIGNUM_DIVISION_BY_ZERO = -LV_ERROR_ZERO_DIVISOR;

// No result has more limbs than this.
constexpr uint64_t LV_BIGNUM_MAX_LIMBS = (uint64_t{1} << 31) - 3;

// Arithmetic. The output of add and subtract may start at the second operand
// itself (first == y): each limb is read before it is overwritten.
int32_t lv_bignum_add(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_subtract(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_negate(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_multiply(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);

// Division: truncating quotient (//), floor quotient (div), remainder with
// the sign of the dividend (rem) and modulo with the sign of the divisor
// (mod). Division by zero answers LV_BIGNUM_DIVISION_BY_ZERO whatever the room.
int32_t lv_bignum_quotient(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_floor_quotient(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_remainder(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_modulo(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);

// Bitwise operations, two's complement over the infinite sign extension.
int32_t lv_bignum_and(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_or(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_xor(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_not(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);

// Shifts by the count in the first limb of y, read as unsigned; the right
// shift is arithmetic. The caller decides the direction for negative counts.
int32_t lv_bignum_shift_left(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
int32_t lv_bignum_shift_right(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);

// The index of the highest set bit of a positive x.
int32_t lv_bignum_msb(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);

// A float box to an integer, truncated toward zero.
int32_t lv_bignum_from_float(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last);
// The double nearest to an integer box (header at box[0]), ties to the even
// mantissa; beyond the largest double, infinity of the box's sign.
double lv_bignum_to_double(const lv_term* box);

// The common step of the division kernels: the magnitudes |x| / |y|, left at
// first as a non-negative box (not necessarily normal) whose top limb is
// below 2^32 in the quotient modes. Mode 1: the quotient. Mode 2: the
// quotient, and *zero_remainder is set to 1 when the remainder is 0, else 0.
// Modes 3 and 4: the remainder. Answers 0, words needed, LV_BIGNUM_TOO_LARGE
// or LV_BIGNUM_DIVISION_BY_ZERO.
constexpr int LV_DIVIDE_QUOTIENT = 1;
constexpr int LV_DIVIDE_QUOTIENT_FLAG = 2;
constexpr int LV_DIVIDE_REMAINDER = 3;
constexpr int LV_DIVIDE_MODULO = 4;
int32_t lv_bignum_divide(const lv_term* x, const lv_term* y, lv_term* first, lv_term* last, int* zero_remainder,
                         int mode);

// The unsigned product of the na limbs at a and the nb limbs at b, written to
// the na + nb limbs of the box at result (its header is left alone). Runs the
// event check before each non-zero digit of the shorter operand.
void lv_bignum_multiply_magnitudes(const lv_term* a, uint64_t na, const lv_term* b, uint64_t nb, lv_term* result);

// Boxes.
int lv_bignum_nonnegative(const lv_term* x);   // 1 when the top limb is >= 0
int lv_bignum_fits_uint64(const lv_term* x);   // 1 when 0 <= x < 2^64 (normal x)
int lv_bignum_compare(const lv_term* x, const lv_term* y);  // -1, 0 or 1 (normal boxes)
void lv_bignum_copy(const lv_term* x, lv_term* destination);  // header and limbs
void lv_bignum_negate_in_place(lv_term* x);  // limbs negated, header kept
void lv_bignum_normalize(lv_term* x);        // drops redundant top limbs

// A kernel result standing at first made a term, for callers that build
// numbers in place outside the driver (on the heap): one limb in the
// small-integer range gives the small integer and *end = first; otherwise the
// trailer is written and the box is returned, with *end just past it.
lv_term lv_bignum_result_term(lv_term* first, lv_term** end);

// Text to integer, following the kernel output convention (0, words needed
// or LV_BIGNUM_TOO_LARGE). The radix is 2-36 in absolute value; a negative
// radix means a negative value written without sign, otherwise one leading
// '+' or '-' is taken. The digits are not checked: the caller has. The
// number of words asked for when the region is short always suffices for
// the whole result. With check_events set the event check runs as the
// digits are taken in.
int32_t lv_bignum_from_text(const char* text, lv_term* first, lv_term* last, int radix, int check_events);

// Integer to text in radix 2-36 (lower-case letters; upper-case for a
// negative radix), as a new text allocated with LV_malloc that the caller
// frees with LV_free. Zero is "0". With check_events set, a pending event
// frees the text and unwinds through the event check.
char* lv_bignum_to_text(const lv_term* x, int radix, int check_events);

// Integer to little-endian two's-complement bytes. *count holds the buffer's
// size on entry and the minimal byte count m on return; when the buffer is
// at least m bytes it receives the m bytes followed by sign bytes up to its
// size, and the answer is 1; otherwise nothing is written and the answer is 0.
int lv_bignum_to_bytes(const lv_term* x, uint8_t* buffer, uint64_t* count);

// Little-endian two's-complement bytes to integer (kernel output convention;
// the result is normalised, and no bytes read as 0).
int32_t lv_bignum_from_bytes(const uint8_t* bytes, uint64_t count, lv_term* first, lv_term* last);
