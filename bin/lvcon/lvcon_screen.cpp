// The window's text as terminal output.
#include "lvcon/lvcon_screen.h"

#include "lvcon/lvcon_utf16.h"

namespace {

constexpr char16_t BACKSPACE = 8;
constexpr char16_t NEWLINE = 10;
constexpr char16_t RETURN = 13;
constexpr char16_t TAB = 9;
constexpr char16_t ESC = 27;
constexpr char16_t BELL = 7;
constexpr uint32_t REPLACEMENT = 0xFFFD;

struct range {
  uint32_t first, last;
};

// Characters that take no cell of their own: combining marks, zero-width
// spaces and joiners, variation selectors.
constexpr range ZERO_WIDTH[] = {{0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
                                {0x064B, 0x065F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
                                {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F},
                                {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF}};

// East Asian wide and full-width characters and the emoji blocks.
constexpr range WIDE[] = {{0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},
                          {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
                          {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
                          {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x18CFF},
                          {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004}, {0x1F18E, 0x1F18E}, {0x1F200, 0x1F2FF},
                          {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF},
                          {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};

template <size_t N>
bool within(const range (&table)[N], uint32_t c) {
  for (const range& r : table)
    if (c >= r.first && c <= r.last) return true;
  return false;
}

// The cells of the unit at the cursor become n, and the cursor moves past it.
void take_unit(lvcon_screen& s, uint8_t n) {
  if (s.unit < s.cells.size())
    s.cells[s.unit] = n;
  else
    s.cells.push_back(n);
  s.unit++;
}

void show(lvcon_screen& s, uint32_t c, int width, std::string& out) {
  int n = lvcon_char_width(c);
  lvcon_put_utf8(out, c);
  take_unit(s, static_cast<uint8_t>(n));
  if (n == 0) return;
  s.column += static_cast<size_t>(n);
  s.wrap_pending = width > 0 && s.column % static_cast<size_t>(width) == 0;
}

// Moves the cursor back over n cells. Within a row the terminal's own
// backspace does; across rows, or from the row's last cell when it is
// full (the terminal then waits to wrap, and a backspace would not land
// where the cells say), the cursor goes to the row's start, up and right.
void move_back(lvcon_screen& s, size_t n, int width, std::string& out) {
  if (n == 0) return;
  size_t target = s.column - n;
  if (width <= 0) {
    out.append(n, '\b');
  } else {
    size_t w = static_cast<size_t>(width);
    size_t row = s.wrap_pending ? s.column / w - 1 : s.column / w;
    size_t target_row = target / w, target_at = target % w;
    if (row == target_row && !s.wrap_pending) {
      out.append(s.column % w - target_at, '\b');
    } else {
      out += '\r';
      if (row > target_row) out += "\x1b[" + std::to_string(row - target_row) + "A";
      if (target_at > 0) out += "\x1b[" + std::to_string(target_at) + "C";
    }
  }
  s.column = target;
  s.wrap_pending = false;
}

// A lone first half of a pair shows as the replacement character.
void settle_high(lvcon_screen& s, int width, std::string& out) {
  if (s.high == 0) return;
  s.high = 0;
  s.unit--;  // its unit was taken with no cells
  show(s, REPLACEMENT, width, out);
}

// Escape sequences written as text pass through and take no cells.
bool in_escape(lvcon_screen& s, char16_t u) {
  switch (s.escape) {
    case 0:
      if (u != ESC) return false;
      s.escape = 1;
      return true;
    case 1: s.escape = u == '[' ? 2 : u == ']' ? 3 : 0; return true;
    case 2:
      if (u >= 0x40 && u <= 0x7E) s.escape = 0;
      return true;
    case 3:
      if (u == BELL) s.escape = 0;
      if (u == ESC) s.escape = 4;
      return true;
    default: s.escape = u == '\\' ? 0 : 3; return true;
  }
}

}  // namespace

int lvcon_char_width(uint32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return 0;
  if (within(ZERO_WIDTH, c)) return 0;
  return within(WIDE, c) ? 2 : 1;
}

void lvcon_put_utf8(std::string& out, uint32_t c) {
  if (c > 0x10FFFF || utf16_is_surrogate(c)) c = REPLACEMENT;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void lvcon_screen_write(lvcon_screen& s, const char16_t* units, size_t count, int width, std::string& out) {
  for (size_t i = 0; i < count; i++) {
    char16_t u = units[i];
    if (s.high != 0 && utf16_is_low(u)) {
      uint32_t c = utf16_join(s.high, u);
      s.high = 0;
      show(s, c, width, out);
      continue;
    }
    if (s.high != 0 && u == BACKSPACE) {  // the half pair never showed
      s.high = 0;
      s.unit--;
      continue;
    }
    settle_high(s, width, out);
    if (in_escape(s, u)) {
      out += static_cast<char>(u);
      take_unit(s, 0);
      continue;
    }
    switch (u) {
      case BACKSPACE:
        if (s.unit > 0) {
          s.unit--;
          move_back(s, s.cells[s.unit], width, out);
        }
        break;
      case NEWLINE:
        out += '\n';
        s.cells.clear();
        s.unit = s.column = 0;
        s.wrap_pending = false;
        break;
      case RETURN:
        out += '\r';
        s.unit = s.column = 0;
        s.wrap_pending = false;
        break;
      case TAB: {
        out += '\t';
        size_t n = 8 - s.column % 8;
        take_unit(s, static_cast<uint8_t>(n));
        s.column += n;
        s.wrap_pending = false;
        break;
      }
      default:
        if (utf16_is_high(u)) {
          s.high = u;
          take_unit(s, 0);
        } else if (u < 0x20 || u == 0x7F) {
          out += static_cast<char>(u);  // a control character, shown as the terminal does
          take_unit(s, 0);
        } else {
          show(s, utf16_is_low(u) ? REPLACEMENT : u, width, out);
        }
        break;
    }
  }
}
