// Sets of Unicode code points as sorted tables of inclusive ranges.
//
// Set B holds every code point assigned in Unicode 15.0 except surrogates
// and private-use characters; above 255 its members count as letters for
// the tokenizer and the character classes while the Unicode letter switch
// is on. Set A is set B less the code points that canonical composition may
// change (NFC quick check not Yes); the writer quotes atoms by it.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_unicode_range {
  uint32_t first;
  uint32_t last;
};

extern const lvio_unicode_range lvio_unicode_set_a[];
extern const uint64_t lvio_unicode_set_a_count;
extern const lvio_unicode_range lvio_unicode_set_b[];
extern const uint64_t lvio_unicode_set_b_count;

// 1 when some range of the table holds the code point, else 0.
int lvio_range_table_lookup(uint32_t code_point, const lvio_unicode_range* ranges, uint64_t count);

// 1 or 0; LVIO_E_ENCODING_UNMAPPABLE above U+10FFFF.
[[nodiscard]] lvio_code lvio_unicode_in_set_a(uint32_t code_point);
[[nodiscard]] lvio_code lvio_unicode_in_set_b(uint32_t code_point);
