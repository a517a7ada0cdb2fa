// Decoding of the bytes typed into keys.
#include "lvcon/lvcon_keys.h"
#include "lvcon/lvcon_utf16.h"

namespace {

constexpr unsigned char ESC = 27;
constexpr unsigned char CTRL_C = 3;
constexpr unsigned char CTRL_BACKSLASH = 28;
constexpr unsigned char DEL = 127;
constexpr int BACKSPACE = 8;
constexpr int REPLACEMENT = 0xFFFD;

void put_code(std::vector<int>& keys, uint32_t c) {
  if (c >= 0x10000) {
    keys.push_back(utf16_high_of(c));
    keys.push_back(utf16_low_of(c));
  } else {
    keys.push_back(static_cast<int>(c));
  }
}

// The scan code of a cursor key's sequence: its final byte, and for the
// "ESC [ n ~" form the number; 0 for keys without one.
int scan_code(const lvcon_key_decoder& d, unsigned char final) {
  switch (final) {
    case 'A': return 72;
    case 'B': return 80;
    case 'C': return 77;
    case 'D': return 75;
    case 'H': return 71;
    case 'F': return 79;
    case '~': break;
    default: return 0;
  }
  if (d.introducer != '[') return 0;
  int n = 0;
  for (int i = 0; i < d.parameter_count && d.parameters[i] >= '0' && d.parameters[i] <= '9'; i++)
    n = n * 10 + (d.parameters[i] - '0');
  switch (n) {
    case 1: case 7: return 71;
    case 2: return 82;
    case 3: return 83;
    case 4: case 8: return 79;
    case 5: return 73;
    case 6: return 81;
    default: return 0;
  }
}

// A byte of an escape sequence; false when the byte ends the sequence
// without belonging to it (it is then read as plain text).
bool escape_byte(lvcon_key_decoder& d, unsigned char b, std::vector<int>& keys) {
  if (d.escape == 1) {
    if (b == '[' || b == 'O') {
      d.escape = 2;
      d.introducer = static_cast<char>(b);
      d.parameter_count = 0;
      return true;
    }
    keys.push_back(ESC);  // a lone Escape key
    if (b == ESC) return true;
    d.escape = 0;
    return false;
  }
  if (b >= 0x30 && b <= 0x3F) {  // parameters
    if (d.parameter_count < static_cast<int>(sizeof d.parameters)) d.parameters[d.parameter_count++] = static_cast<char>(b);
    return true;
  }
  if (b >= 0x20 && b <= 0x2F) return true;  // intermediates
  d.escape = 0;
  if (b >= 0x40 && b <= 0x7E) {
    int scan = scan_code(d, b);
    if (scan != 0) {
      keys.push_back(LVCON_KEY_PREFIX);
      keys.push_back(scan);
    }
    return true;
  }
  return false;  // a sequence cut short
}

void plain_byte(lvcon_key_decoder& d, unsigned char b, std::vector<int>& keys) {
  if (b == 0) return;
  if (d.terminal) {
    switch (b) {
      case ESC: d.escape = 1; return;
      case CTRL_C: keys.push_back(LVCON_KEY_INTERRUPT); return;
      case CTRL_BACKSLASH: keys.push_back(LVCON_KEY_BREAK); return;
      case DEL: keys.push_back(BACKSPACE); return;
      default: break;
    }
  }
  keys.push_back(b);
}

}  // namespace

void lvcon_decode_keys(lvcon_key_decoder& d, const unsigned char* bytes, size_t count, std::vector<int>& keys) {
  for (size_t i = 0; i < count; i++) {
    unsigned char b = bytes[i];
    if (d.missing > 0) {
      if ((b & 0xC0) == 0x80) {
        d.code = (d.code << 6) | (b & 0x3F);
        if (--d.missing == 0) {
          bool valid = d.code >= d.least && d.code <= 0x10FFFF && !utf16_is_surrogate(d.code);
          put_code(keys, valid ? d.code : REPLACEMENT);
        }
        continue;
      }
      d.missing = 0;  // cut short: the byte starts afresh
      keys.push_back(REPLACEMENT);
    }
    if (d.escape != 0 && escape_byte(d, b, keys)) continue;
    if (b < 0x80) {
      plain_byte(d, b, keys);
    } else if (b >= 0xC2 && b <= 0xF4) {
      d.missing = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
      d.least = d.missing == 3 ? 0x10000 : d.missing == 2 ? 0x800 : 0x80;
      d.code = b & (0x3F >> d.missing);
    } else {
      keys.push_back(REPLACEMENT);
    }
  }
}
