// Conversions between texts and lists of codes, characters or bytes, and the
// list-length tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/worker.h"

// List-length results for terms that are not proper lists.
constexpr int64_t LV_LIST_CYCLIC = -30001;
constexpr int64_t LV_LIST_NOT_A_LIST = -30002;

// The length of a proper list, or LV_LIST_CYCLIC / LV_LIST_NOT_A_LIST.
int64_t lv_proper_list_length(lv_term t);
// The list cells walked and the term where the walk stopped: the first word
// that is no list cell, or on a cyclic list (*cyclic set) the list cell at
// which the cycle was seen.
int64_t lv_list_walk(lv_term t, lv_term* stop, bool* cyclic);
// The number of list cells before the tail (the first word that is not a
// list cell) and the tail; LV_LIST_CYCLIC for a cyclic list.
int64_t lv_list_length_tail(lv_term t, lv_term* tail);

enum : int {
  LV_TEXT_CHARS = 0,  // elements are one-character atoms
  LV_TEXT_CODES = 1,  // elements are character codes
};

// A code or char list to a text (allocated with lv_mem_alloc, category
// "miscellaneous:", freed by the caller): 1, 0 when a variable is met (a
// partial list), -1 for any other term. [] gives the empty text.
int lv_term_to_text(lv_term list, int mode, char** text);
// Frees a text made by lv_term_to_text.
void lv_text_free(char* text);

// Encodes the codes of a list into buffer as long as whole characters fit in
// room bytes; returns the rest of the list, or 0 when an element is not a
// code. *written receives the bytes written (no NUL is added).
lv_term lv_code_list_to_text(lv_term list, size_t room, size_t* written, char* buffer);

enum : unsigned {
  LV_INTS_INTEGERS = 1,  // integers 0 to 2^31 - 1
  LV_INTS_CHARS = 2,     // one-character atoms (their code point)
};
// The elements of a list as an array of ints (lv_mem_alloc, category
// "miscellaneous:"; with a null out the array is only checked): the count, a
// list-length code, LVIO_E_OUT_OF_MEMORY when the array cannot be
// allocated, or LVIO_E_PARAMETER_ERROR when an element is refused.
int64_t lv_list_to_int_array(lv_term list, int32_t** out, unsigned flags);

// Lists built on the heap (room is made first, keeping X0..X(live-1)), ending
// in tail; an unbound local-stack tail is first moved to the heap.
// The code points of n bytes of text (mode as above); 0 for a malformed text.
lv_term lv_text_to_code_list(lv_worker* w, size_t n, const char* text, lv_term tail, int mode, uint64_t extra,
                             unsigned live);
// The same from an array of code points; 0 when one is negative.
lv_term lv_wide_text_to_code_list(lv_worker* w, size_t n, const int32_t* codes, lv_term tail, int mode,
                                  uint64_t extra, unsigned live);
// The byte values as small integers.
lv_term lv_bytes_to_list(lv_worker* w, size_t n, const unsigned char* bytes, lv_term tail, uint64_t extra,
                         unsigned live);

// The one-character atom of a code point (made when it is above 255), or 0.
lv_term lv_code_atom(int32_t c);
// The code point of a one-character atom, or -1.
int32_t lv_atom_code(lv_term atom);
