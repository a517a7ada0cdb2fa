// Helpers of the stream built-ins: integer arguments, results unified with
// integers, errors raised for a built-in, and the stream argument of the
// fast built-ins.
#pragma once

#include <cstdint>

#include "core/worker.h"
#include "streams/stream.h"

// An integer argument, small or in a one-word box: true with its value.
bool lv_integer_arg(lv_term t, int64_t* value);

// Unifies X[slot] with the integer, making heap room first (the first live
// argument registers are kept).
bool lv_unify_integer(lv_worker* w, unsigned slot, int64_t value, unsigned live);

// Raises the lvio failure for prolog:name/arity with the argument as culprit
// (output: the output-side permission error). Returns what raising returns.
int lv_raise_code(lv_worker* w, int64_t code, bool output, const char* name, unsigned arity, int64_t argument);

// Raises the pending error set just before (a stream argument that did not
// decode) for prolog:name/arity and the argument.
int lv_raise_pending(lv_worker* w, const char* name, unsigned arity, int64_t argument);

// Sets the pending error (the argument as culprit) and raises it.
int lv_raise_error(lv_worker* w, int32_t code, const char* message, const char* name, unsigned arity,
                   int64_t argument);

// The stream of a fast built-in, decoded quietly: unbound is the current
// input (input) or output, '$stream'(Address) its address, or an alias or
// address as for lv_get_stream_arg. Null when it is none or lacks a
// capability asked for.
lv_stream* lv_fast_stream_arg(lv_term t, bool input, uint64_t required);

// The address inside '$stream'(Address); any other term as it is.
lv_term lv_stream_unwrap(lv_term t);

// A stream term in a list given to a built-in: an alias, an address, or
// '$stream'(Address); false for any other term.
bool lv_looks_like_stream(lv_term t);
