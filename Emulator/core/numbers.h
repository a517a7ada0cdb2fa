// Numbers on the heap: boxes, skeletons and conversions. The constructors
// write at the heap top H and advance it; the caller has checked the room.
#pragma once

#include <cstdint>

#include "core/worker.h"

lv_term lv_make_integer_box(lv_worker* w, int64_t value);
// An integer term: a small integer when the value fits, else a box.
lv_term lv_make_integer(lv_worker* w, int64_t value);
lv_term lv_make_float_box(lv_worker* w, double value);
// Copies a box (header and value words, trailer added) from its header.
lv_term lv_copy_number_box(lv_worker* w, const lv_term* header);
// Name(_, ..., _) for a functor word, a fresh list pair for '.'/2; any other
// word unchanged.
lv_term lv_make_skeleton(lv_worker* w, lv_term word);

double lv_float_value(lv_term float_box);
double lv_number_to_double(lv_term box);

// One newly allocated text (memory manager, category "miscellaneous:")
// holding the texts of a null-terminated list in order, or null.
char* lv_str_concat(const char* const* texts);
