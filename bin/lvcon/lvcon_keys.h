// The bytes typed, turned into the keys the window hands out: UTF-16 units
// of the characters, two-code keys for the cursor keys' escape sequences,
// and markers for the keys that signal the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Markers among the keys (never handed out as keys themselves).
constexpr int LVCON_KEY_INTERRUPT = -100;  // Ctrl-C
constexpr int LVCON_KEY_BREAK = -101;      // Ctrl-\ (Ctrl-Break)

// The prefix of a two-code key.
constexpr int LVCON_KEY_PREFIX = 0;

struct lvcon_key_decoder {
  bool terminal = false;  // read escape sequences and control keys as keys
  // A UTF-8 sequence under way: the code so far, the bytes still to come,
  // and the least code its length may encode.
  uint32_t code = 0;
  int missing = 0;
  uint32_t least = 0;
  // 0 plain text, 1 after ESC, 2 in a control sequence (ESC [ or ESC O).
  int escape = 0;
  char introducer = 0;
  char parameters[16] = {};
  int parameter_count = 0;
};

// Appends the keys of the bytes to keys. A sequence cut off at the end of
// the bytes is finished by the next call. An invalid UTF-8 sequence becomes
// U+FFFD; a NUL byte is dropped (it would read as a two-code prefix).
void lvcon_decode_keys(lvcon_key_decoder& decoder, const unsigned char* bytes, size_t count, std::vector<int>& keys);
