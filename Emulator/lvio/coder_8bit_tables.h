// Mapping tables of the 8-bit coders.
#pragma once

#include <cstdint>

constexpr uint32_t LVIO_8BIT_NO_CHARACTER = 0xFFFFFFFF;

struct lvio_8bit_exception {
  uint32_t code_point;
  uint32_t byte;
};

// A byte decodes to decode[byte] (LVIO_8BIT_NO_CHARACTER: none). A code
// point c encodes to byte c when c < 256 and that byte decodes to c, else to
// the byte of its exception pair.
struct lvio_8bit_table {
  uint32_t replacement;  // written for an unmappable code point on request
  uint32_t decode[256];
  uint64_t exception_count;
  const lvio_8bit_exception* exceptions;
};

extern const lvio_8bit_table lvio_table_ascii;
extern const lvio_8bit_table lvio_table_latin1;
extern const lvio_8bit_table lvio_table_latin2;
extern const lvio_8bit_table lvio_table_latin9;
extern const lvio_8bit_table lvio_table_windows1252;
