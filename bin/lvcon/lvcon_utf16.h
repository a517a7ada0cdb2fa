// UTF-16 surrogate pairs: a character above U+FFFF as two units.
#pragma once

#include <cstdint>

inline bool utf16_is_high(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool utf16_is_low(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline bool utf16_is_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }
// The character of a pair.
inline uint32_t utf16_join(uint32_t high, uint32_t low) { return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00); }
// The two units of a character above U+FFFF.
inline char16_t utf16_high_of(uint32_t c) { return static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)); }
inline char16_t utf16_low_of(uint32_t c) { return static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)); }
