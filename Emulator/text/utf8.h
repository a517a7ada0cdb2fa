// The runtime's internal text encoding: UTF-8 extended to code points up to
// 2^31 - 1 in at most six bytes, with code point 0 written as the two bytes
// C0 80 so that a NUL byte always ends a text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Continuation bytes after a lead byte: 0-5, or 9 for a byte that cannot
// start a character.
extern const std::array<uint8_t, 256> lv_utf8_seq_length;
constexpr uint8_t LV_UTF8_INVALID = 9;

// 1 when the NUL-terminated text is well-formed, 0 otherwise and for null.
int lv_text_is_utf8(const char* text);

// Bytes of the encoding of c (1 to 6), or -1 for a negative c. With a
// buffer the bytes are written there.
int LV_code_wci(char* buffer, int32_t c);

// Decodes the first character: its length in bytes; 0 for a null or empty
// text; -1 for an invalid lead byte; minus the count of bytes read when a
// continuation byte is missing (code then untouched).
int LV_wci_code(int32_t* code, const char* text);
int LV_wci_len(const char* text);

// Decodes the character at p within [p, end): its code point (a malformed
// sequence reads as 128, taking one byte) and the position after it.
int32_t lv_utf8_next(const unsigned char*& p, const unsigned char* end);

// Character counts of atom texts. A lead byte announces its continuation
// bytes (a byte that cannot lead stands alone); a character ends after them
// or earlier, at the first byte that is not a continuation byte.
// The characters in [p, end).
uint64_t lv_utf8_count(const char* p, const char* end);
// The position after count characters from p, or null when end comes first.
const char* lv_utf8_skip(const char* p, const char* end, uint64_t count);
