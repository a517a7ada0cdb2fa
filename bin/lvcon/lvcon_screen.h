// What the window shows, as bytes for the terminal: the units written are
// turned into UTF-8, and the cursor moves of unit 8 into the terminal's own
// moves. The line being written is kept as the number of cells each of its
// units takes, so that a move back over a unit moves back over the cells
// its character took: none for the first half of a surrogate pair, two for
// a wide character, across the rows of a line that wrapped at the
// terminal's width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct lvcon_screen {
  std::vector<uint8_t> cells;  // per unit of the current line
  size_t unit = 0;             // the cursor, in units from the line's start
  size_t column = 0;           // the cursor, in cells from the line's start
  bool wrap_pending = false;   // the last character filled the row's last cell
  char16_t high = 0;           // the first half of a pair written last
  int escape = 0;              // within an escape sequence written as text
};

// The terminal cells a character takes: 0, 1 or 2.
int lvcon_char_width(uint32_t c);

// Appends to out the bytes that show the units on a terminal of the given
// width in cells (0: unknown, rows never wrap).
void lvcon_screen_write(lvcon_screen& screen, const char16_t* units, size_t count, int width, std::string& out);

// Appends the UTF-8 bytes of a code point.
void lvcon_put_utf8(std::string& out, uint32_t c);
