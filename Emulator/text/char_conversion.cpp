// The character-conversion table.
#include "text/char_conversion.h"

namespace {

int32_t from[LV_CHAR_CONVERSION_PAIRS];
int32_t to[LV_CHAR_CONVERSION_PAIRS];
int count = 0;

int find(int32_t c) {
  for (int i = 0; i < count; i++)
    if (from[i] == c) return i;
  return -1;
}

}  // namespace

int lv_char_conversion_count() { return count; }

int32_t lv_char_conversion(int32_t c) {
  int i = find(c);
  return i < 0 ? c : to[i];
}

int lv_char_conversion_set(int32_t in, int32_t out) {
  int i = find(in);
  if (in == out) {
    if (i >= 0) {
      count--;
      from[i] = from[count];
      to[i] = to[count];
    }
    return 1;
  }
  if (i >= 0) {
    to[i] = out;
    return 1;
  }
  if (count == LV_CHAR_CONVERSION_PAIRS) return 0;
  from[count] = in;
  to[count] = out;
  count++;
  return 1;
}

void lv_char_conversion_clear() { count = 0; }
