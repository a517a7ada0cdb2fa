// Lookups in the Unicode range tables.
#include "lvio/unicode_ranges.h"

int lvio_range_table_lookup(uint32_t code_point, const lvio_unicode_range* ranges, uint64_t count) {
  // The last range whose first code point is at most the code point.
  uint64_t lo = 0;
  uint64_t hi = count;
  while (lo < hi) {
    uint64_t mid = lo + (hi - lo) / 2;
    if (ranges[mid].first <= code_point)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo > 0 && code_point <= ranges[lo - 1].last ? 1 : 0;
}

lvio_code lvio_unicode_in_set_a(uint32_t code_point) {
  if (code_point > 0x10FFFF) return LVIO_E_ENCODING_UNMAPPABLE;
  return lvio_range_table_lookup(code_point, lvio_unicode_set_a, lvio_unicode_set_a_count);
}

lvio_code lvio_unicode_in_set_b(uint32_t code_point) {
  if (code_point > 0x10FFFF) return LVIO_E_ENCODING_UNMAPPABLE;
  return lvio_range_table_lookup(code_point, lvio_unicode_set_b, lvio_unicode_set_b_count);
}
