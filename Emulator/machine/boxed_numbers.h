// Boxed numbers as the emulator meets them: inline in code, on the number
// stack or on the heap. A box is given as a structure term pointing at its
// header word; boxes off the heap need have no trailer.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_pred;

// Free heap cells (up to the local stack) that copying a box of the given
// words (header and value words) needs: the copy with its trailer, the heap
// reserve and one cell.
constexpr int64_t lv_box_copy_room(uint64_t box_words) { return static_cast<int64_t>(box_words) + 1 + LV_HEAP_RESERVE_CELLS + 1; }

// The box as a heap term. A box already on the heap is returned as it is;
// an integer box whose value fits a small integer gives the small integer; a
// float box holding -0.0 gives a new box of 0.0; any other box is copied.
// A non-finite float raises code 1031 (NaN) or 263 (infinity) for
// prolog:'$eval'(Culprit), argument 1, the culprit being the atom nan or
// inf, and returns 0 with *needed = 0. When the heap has fewer free cells
// than lv_box_copy_room asks for, nothing is written and 0 is returned with
// *needed = that room; the caller makes room and asks again.
lv_term lv_copy_boxed_to_heap(lv_worker* w, lv_term box, int64_t* needed);

// Unifies a term with a box. The term is dereferenced: a list cell fails; an
// unbound variable is bound to the box on the heap (the box itself when it is
// on the heap, else a copy as lv_copy_boxed_to_heap makes, without its
// finiteness test), trailed by the binding rules (core/bind.h: an attributed
// variable counts a wake-up and requests an event; a local-stack variable
// at or above the protected local top is not trailed); anything else must
// equal the box word for word. Returns 1 on success and 0 on failure; -1
// with *needed set when the copy does not fit the heap (nothing is bound).
// The two names serve callers that unify in read mode and in general.
int lv_bind_boxed_number(lv_worker* w, lv_term other, lv_term box, int64_t* needed);
int lv_equal_boxed(lv_worker* w, lv_term other, lv_term box, int64_t* needed);

// Signed 64-bit multiplication: 0 with *out = a * b when the product fits 64
// bits, else 1 with *out unchanged.
int lv_mul64_overflow(int64_t a, int64_t b, int64_t* out);

// A float result of the predicate's code: 1 when finite; a NaN raises code
// 519 with culprit nan, an infinity code 263 with culprit inf, for the
// predicate and argument (lv_raise_in_predicate), and 0 is returned.
int lv_check_float_result(lv_worker* w, double value, const lv_pred* pred, int64_t argument);
// The same for the emulator's float accumulator, passed by value.
int lv_check_float_accumulator(lv_worker* w, double accumulator, const lv_pred* pred, int64_t argument);
