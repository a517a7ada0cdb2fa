// Input streams over texts handed in from C, and reading a term from one.
#pragma once

#include "core/termrefs.h"
#include "streams/stream.h"

// A text input stream over a copy of a well-formed UTF-8 text: 1, or 0
// (nothing is left open then).
int LV_stream_from_string(const char* text, lv_stream** out);

// Reads one term from the text into t, through the Prolog reader's role
// read_from_string_helper/3; values is a list of term references ended by
// 0, handed to the reader. The query's result, or 0 (error 4 when the
// reader is not defined).
int LV_read_from_string(lv_term_ref t, const char* text, const lv_term_ref* values);
