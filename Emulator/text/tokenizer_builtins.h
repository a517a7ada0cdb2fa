// The reader's built-ins over the tokenizer and the conversion table.
#pragma once

#include "core/worker.h"

// $read_token(+Char, +State, -Token, -Next, -Status, -Line) on the current
// input. A read error of the stream is raised as the stream's error.
int prolog_read_token(lv_worker* w);
// $add_char_conversion(+In, +Out): code points 0..0x7fffffff; fails on
// anything else and when a new pair finds the table full.
int prolog_add_char_conversion(lv_worker* w);

// The char-conversion flag := on, and an empty conversion table.
void lv_reset_reader_flags();
