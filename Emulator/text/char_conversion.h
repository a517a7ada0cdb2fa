// The character-conversion table of the reader: up to 1024 pairs of code
// points (from, to), looked up in the order they were added.
#pragma once

#include <cstdint>

constexpr int LV_CHAR_CONVERSION_PAIRS = 1024;

// The number of pairs stored.
int lv_char_conversion_count();
// The target of c's pair, else c itself.
int32_t lv_char_conversion(int32_t c);
// Maps in to out: in = out removes in's pair (the last pair takes its
// place); otherwise in's pair gets out, or a new pair is added. 0 when a
// new pair finds the table full, else 1.
int lv_char_conversion_set(int32_t in, int32_t out);
// Empties the table.
void lv_char_conversion_clear();
