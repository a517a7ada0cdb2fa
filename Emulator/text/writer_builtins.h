// The writer's built-ins: atomic pieces, the numeric format directives and
// the heap offset of a term.
#pragma once

#include "core/worker.h"

// $write(+Stream, +Term, +Options): Term (atomic, a variable, or a compound
// term written as its name) with the write options. A bad stream or a
// write error is raised in the context '$writeq'/2, argument 1.
int prolog_write(lv_worker* w);
// $display_nonvar(+Stream, +Term): the same without options; errors in the
// context '$write'/2, argument 1.
int prolog_display_nonvar(lv_worker* w);
// $term_heap_offset(+Term, ?Offset): twice the word offset of the
// dereferenced Term from the heap base; fails for a list Offset.
int prolog_term_heap_offset(lv_worker* w);
// $format_print_integer_or_fail(+Letter, +Number, +N, +Stream): the text of
// the d, D, r or R directive. Fails when N is no small integer or above
// 99999, for another letter or a Number that is no number, and when Stream
// is no output stream; a write error is raised (argument 4).
int prolog_format_print_integer_or_fail(lv_worker* w);
// $format_print_float(+Letter, +Number, +Precision, +Stream): the float text
// of the letter for an integer or a float. Fails when Precision is no small
// integer in -99999..99999, Letter no code, Number no number or Stream no
// output stream; a write error is raised (argument 4).
int prolog_format_print_float(lv_worker* w);
// $format_printf_float(+Letter, +Number, +Precision, +Stream): the same for
// format/2's e, f and g directives, written as C's printf writes them. Fails
// as $format_print_float does.
int prolog_format_printf_float(lv_worker* w);
