// Bit scans on 32- and 64-bit words.
#pragma once

#include <cstdint>

// The index of the highest set bit; -1 for 0.
constexpr int lvio_highest_bit32(uint32_t w) { return w == 0 ? -1 : 31 - __builtin_clz(w); }
constexpr int lvio_highest_bit64(uint64_t w) { return w == 0 ? -1 : 63 - __builtin_clzll(w); }

// The count of leading zero bits; 32 or 64 for 0.
constexpr int lvio_leading_zeros32(uint32_t w) { return w == 0 ? 32 : __builtin_clz(w); }
constexpr int lvio_leading_zeros64(uint64_t w) { return w == 0 ? 64 : __builtin_clzll(w); }
