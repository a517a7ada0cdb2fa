// Splitting floats into their integer parts.
#pragma once

#include <cstdint>

// Truncates x toward zero and splits the result into a sign (1 when
// negative), an integer mantissa (its count of significant bits, at most 53,
// and its low 64 bits as two 32-bit words, low word first) and a binary
// exponent, so that the truncated value is mantissa * 2^exponent. For an
// infinity or a NaN only the sign (of its sign bit) and the bit count, 0,
// are set.
void lv_float_to_int_parts(double x, int* sign, int* exponent, int* bits, uint32_t words[2]);
