// The writer's built-ins.
#include "text/writer_builtins.h"

#include "core/atoms.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "streams/stream.h"
#include "text/atomic_writer.h"
#include "text/number_format.h"

namespace {

// Free heap the offset needs before it is taken, so that no growth moves
// the term afterwards.
constexpr int64_t OFFSET_ROOM_CELLS = (9233 + 7) / 8;

lv_term name_atom(const char* name) { return lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE); }

// Writes Term (X1) to the stream (X0) with the options; errors are raised
// in the context prolog:Context/2, argument 1.
int write_term(lv_worker* w, const lv_write_options* options, const char* context) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_OUTPUT, 0);
  if (s == nullptr) return lv_raise_builtin_error(w, LV_ATOM_PROLOG, name_atom(context), 2, 1);
  int64_t rc = lv_write_atomic(s, w->X[1], options);
  if (rc < 0) return lv_raise_stream_error(w, rc, true, name_atom(context), 2, 1);
  return 1;
}

// A text written by a format built-in, whose stream is argument 4; the
// text block is freed.
int write_format_text(lv_worker* w, lv_stream* s, char* text, const char* name) {
  int64_t rc = 0;
  for (const char* p = text; *p != '\0' && rc >= 0; p++) rc = lv_put_code(s, static_cast<unsigned char>(*p));
  LV_free(text);
  if (rc < 0) return lv_raise_stream_error(w, rc, true, name_atom(name), 4, 4);
  return 1;
}

bool small_arg(lv_term t, int64_t* value) {
  t = lv_deref(t);
  if (!lv_is_small(t)) return false;
  *value = lv_small_value(t);
  return true;
}

}  // namespace

int prolog_write(lv_worker* w) {
  lv_write_options options;
  lv_write_options_from_term(w->X[2], &options);
  return write_term(w, &options, "$writeq");
}

int prolog_display_nonvar(lv_worker* w) { return write_term(w, nullptr, "$write"); }

int prolog_term_heap_offset(lv_worker* w) {
  lv_heap_room(w, OFFSET_ROOM_CELLS, 2);
  if (lv_is_list(lv_deref(w->X[1]))) return 0;
  lv_term t = lv_deref(w->X[0]);
  const lv_term* cell = reinterpret_cast<const lv_term*>(t & ~lv_term{7});
  lv_term offset = lv_make_integer(w, 2 * (cell - w->area_start));
  return cunify(w, w->X[1], offset);
}

int prolog_format_print_integer_or_fail(lv_worker* w) {
  int64_t letter = 0;
  int64_t n = 0;
  if (!small_arg(w->X[0], &letter) || !small_arg(w->X[2], &n) || n > LV_FLOAT_PRECISION_LIMIT) return 0;
  lv_stream* s = lv_get_stream_arg(w->X[3], LV_CAP_OUTPUT | LV_CAP_QUIET, 0);
  if (s == nullptr || letter < 0 || letter > 0x7fffffff) return 0;
  char* text = lv_format_integer(static_cast<int>(letter), n, w->X[1]);
  if (text == nullptr) return 0;
  return write_format_text(w, s, text, "$format_print_integer_or_fail");
}

namespace {

// The float text of a format built-in by one of the number writers.
int print_float(lv_worker* w, char* (*text_of)(int, int64_t, double), const char* name) {
  int64_t letter = 0;
  int64_t precision = 0;
  if (!small_arg(w->X[0], &letter) || !small_arg(w->X[2], &precision)) return 0;
  lv_stream* s = lv_get_stream_arg(w->X[3], LV_CAP_OUTPUT | LV_CAP_QUIET, 0);
  if (s == nullptr || letter < 0 || letter > 0x7fffffff) return 0;
  lv_term number = lv_deref(w->X[1]);
  double x = 0;
  if (lv_is_small(number))
    x = static_cast<double>(lv_small_value(number));
  else if (lv_is_box(number))
    x = lv_number_to_double(number);
  else
    return 0;
  char* text = text_of(static_cast<int>(letter), precision, x);
  if (text == nullptr) return 0;
  return write_format_text(w, s, text, name);
}

}  // namespace

int prolog_format_print_float(lv_worker* w) { return print_float(w, lv_format_float, "$format_print_float"); }

int prolog_format_printf_float(lv_worker* w) {
  return print_float(w, lv_format_printf_float, "$format_printf_float");
}
