// The tokenizer behind the Prolog reader: one token at a time from a text
// stream, with the status word, the next character and the token's line.
#pragma once

#include <cstdint>

#include "core/term.h"
#include "core/worker.h"

struct lv_stream;

// Statuses besides 0 and 1 (1: a "(" right after the token opens an
// argument list).
constexpr int32_t LV_TOKEN_END_OF_FILE = -1;
constexpr int32_t LV_TOKEN_END_IN_LINE_COMMENT = -2;
constexpr int32_t LV_TOKEN_UNDEFINED_ESCAPE = -11;
constexpr int32_t LV_TOKEN_BAD_ESCAPE_DIGIT = -12;
constexpr int32_t LV_TOKEN_ESCAPE_OVERFLOW = -13;
constexpr int32_t LV_TOKEN_LAYOUT_IN_QUOTES = -14;
constexpr int32_t LV_TOKEN_END_IN_QUOTES = -15;
constexpr int32_t LV_TOKEN_END_IN_BLOCK_COMMENT = -17;
constexpr int32_t LV_TOKEN_BAD_NUMBER = -21;
constexpr int32_t LV_TOKEN_FLOAT_RANGE = -22;
constexpr int32_t LV_TOKEN_UNASSIGNED_CODE = -24;
constexpr int32_t LV_TOKEN_ILLEGAL = -25;
constexpr int32_t LV_TOKEN_BACK_QUOTED = -26;
constexpr int32_t LV_TOKEN_INTEGER_TOO_LARGE = -27;
constexpr int32_t LV_TOKEN_INVALID_BYTES = -30;  // bytes that make no character of the stream's encoding
constexpr int32_t LV_TOKEN_EXPONENT_SIGN_UPPER = -32;  // "E" and a sign without a digit
constexpr int32_t LV_TOKEN_EXPONENT_SIGN_LOWER = -64;  // "e" and a sign without a digit
constexpr int32_t LV_TOKEN_RADIX_PREFIX = -128;        // number(0) of 0', 0b, 0o, 0x

// States of the next call: the statuses 0, 1 and the prefix state.
constexpr int32_t LV_TOKEN_STATE_PREFIX = 2;

struct lv_token {
  lv_term token;
  int32_t next;    // the character after the token as read, -1 at end of file
  int32_t status;
  int64_t line;    // the line of the token's first character; 0 when unknown
  int64_t error;   // a negative lvio code when reading failed, else 0
};

// Reads one token from a text input stream. c is the first unread
// character (already taken from the stream, -1 at end of file), state 0, 1
// or 2, prompt an atom to store in the prompt word once a character other
// than layout is seen (0: none). Heap room is made keeping X0..X(live-1).
// On a read error the token read so far is given with the error code.
void lv_read_token(lv_worker* w, lv_stream* s, int32_t c, int32_t state, lv_term prompt, unsigned live,
                   lv_token* out);

// The variable-name hash of the tokenizer, one code point at a time.
inline uint32_t lv_var_name_hash_step(uint32_t h, int32_t c) {
  h = (h << 4) + static_cast<uint32_t>(c);
  uint32_t g = h & 0xf0000000u;
  if (g != 0) h ^= g ^ (g >> 28);
  return h;
}
