// The native writer of atomic pieces: atoms plain or quoted, numbers,
// variable names and the names of compound terms. Compound terms and
// operators are laid out by Prolog code. Every writer stops at the first
// negative lvio code of the stream and returns it; 0 when all was written.
#pragma once

#include <cstdint>

#include "core/term.h"
#include "streams/stream.h"

// What the writers take from the write-options term.
struct lv_write_options {
  bool quoted;              // argument 1 is true
  bool portable;            // the quoted charset (argument 8, else the global word) is portable
  int float_letter;         // argument 9: Letter-and-Precision, two small integers
  int64_t float_precision;
};

// No options: unquoted, the global quoted charset, letter H, precision 3.
void lv_write_options_default(lv_write_options* options);
// The options of a write-options term; pieces that are missing or of the
// wrong type take their defaults.
void lv_write_options_from_term(lv_term term, lv_write_options* options);

// The characters of a UTF-8 text (an invalid sequence writes code 128).
int64_t lv_write_text(lv_stream* stream, const char* text, uint64_t length);

// An atomic term or variable: numbers in radix 10 (floats in the options'
// letter and precision), atoms quoted as lv_write_atom quotes them when the
// options ask for quoting and plain otherwise, a compound term as its name,
// a list cell as ".", a variable by its name. Null options are the
// defaults. The stream's keep-on-interrupt flag is set while writing.
int64_t lv_write_atomic(lv_stream* stream, lv_term term, const lv_write_options* options);

// An atom in the quoted form when its writing class says it must be quoted,
// or when its plain form is not ASCII and the charset is portable; plain
// otherwise.
int64_t lv_write_atom(lv_stream* stream, lv_term atom, const lv_write_options* options);

// The quoted form of a text: "'", the characters, "'". The characters are
// checked only when escape is set or (portable and not safe): then "'" and
// "\" get a backslash, the blank stays, and a character is escaped when it
// is layout, when it is of the class other and portable is set or it is
// not in the Unicode set A, or when portable is set and its code is 128 or
// more (\a \b \t \n \v \f \r, else \x, upper-case hex digits and \).
int64_t lv_write_quoted_text(lv_stream* stream, const char* text, bool escape, bool portable, bool safe);

// "_" and twice the cell's word offset from the heap base, in decimal.
int64_t lv_write_var_name(lv_stream* stream, const lv_term* cell);
