// Number text to number terms: the number reader shared by the tokenizer,
// the number built-ins and the C interface.
#pragma once

#include <cstdint>

#include "core/worker.h"
#include "text/number_text.h"

// Reads a whole NUL-terminated UTF-8 text as one number in the radix
// (syntax and flags of lv_scan_number) and returns the number term, built on
// the heap when it is not a small integer; or 0 with the error stored in
// *error (when error is given): LV_NUMBER_SYNTAX, LV_NUMBER_OUT_OF_RANGE or
// LV_NUMBER_TOO_LARGE. Leaves room for reserve more heap words; when the
// heap has to grow, argument registers X0..X(live-1) are kept. With
// check_events set the big-integer reader runs the event check as it goes.
lv_term lv_parse_number(lv_worker* w, const char* text, int radix, int flags, int64_t reserve, int live,
                        int check_events, int* error);
