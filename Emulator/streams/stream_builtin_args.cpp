// Helpers of the stream built-ins.
#include "streams/stream_builtin_args.h"

#include "core/atoms.h"
#include "core/errors.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "streams/std_streams.h"
#include "streams/stream_internal.h"

namespace {

// Cells of the largest integer: a box of one value word and its trailer.
constexpr int64_t INTEGER_CELLS = 3;

lv_term name_atom(const char* name) { return lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE); }

}  // namespace

bool lv_integer_arg(lv_term t, int64_t* value) {
  t = lv_deref(t);
  if (lv_is_small(t)) {
    *value = lv_small_value(t);
    return true;
  }
  if (!lv_is_integer_box(t)) return false;
  const lv_term* cells = lv_struct_cells(t);
  if (lv_box_value_words(cells[0]) != 1) return false;
  *value = static_cast<int64_t>(cells[1]);
  return true;
}

bool lv_unify_integer(lv_worker* w, unsigned slot, int64_t value, unsigned live) {
  lv_heap_room(w, INTEGER_CELLS, live);
  return cunify(w, w->X[slot], lv_make_integer(w, value)) != 0;
}

int lv_raise_code(lv_worker* w, int64_t code, bool output, const char* name, unsigned arity, int64_t argument) {
  return lv_raise_stream_error(w, code, output, name_atom(name), arity, argument);
}

int lv_raise_pending(lv_worker* w, const char* name, unsigned arity, int64_t argument) {
  return lv_raise_builtin_error(w, LV_ATOM_PROLOG, name_atom(name), arity, argument);
}

int lv_raise_error(lv_worker* w, int32_t code, const char* message, const char* name, unsigned arity,
                   int64_t argument) {
  lv_set_pending_error(code, message, lv_deref(w->X[argument - 1]));
  return lv_raise_pending(w, name, arity, argument);
}

lv_stream* lv_fast_stream_arg(lv_term t, bool input, uint64_t required) {
  t = lv_deref(t);
  if (lv_is_ref(t)) {
    lv_stream* s = input ? lv_streams.current_input : lv_streams.current_output;
    return s != nullptr && (s->capabilities & required) == required ? s : nullptr;
  }
  return lv_get_stream_arg(lv_stream_unwrap(t), required | LV_CAP_QUIET, 0);
}

lv_term lv_stream_unwrap(lv_term t) {
  t = lv_deref(t);
  if (lv_is_struct(t) && lv_struct_cells(t)[0] == lv_make_functor(LV_ATOM_STREAM_WRAPPER_, 1))
    return lv_deref(lv_struct_cells(t)[1]);
  return t;
}

bool lv_looks_like_stream(lv_term t) {
  t = lv_deref(t);
  t = lv_stream_unwrap(t);
  return lv_is_atom(t) || lv_is_integer(t);
}
