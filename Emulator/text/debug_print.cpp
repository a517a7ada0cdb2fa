// The depth-limited debug printer.
#include "text/debug_print.h"

#include "core/atoms.h"
#include "core/predefined_atoms.h"
#include "streams/diagnostics.h"
#include "streams/std_streams.h"
#include "text/atomic_writer.h"

namespace {

constexpr int DEPTH_LIMIT = 10;

void put_text(lv_stream* s, const char* text) {
  for (; *text != '\0'; text++) lv_put_code(s, static_cast<unsigned char>(*text));
}

void print(lv_stream* s, lv_term t, int depth) {
  if (depth == -1) {
    lv_write_atomic(s, t, nullptr);
    return;
  }
  if (depth >= DEPTH_LIMIT) {
    put_text(s, "...");
    return;
  }
  t = lv_deref(t);
  if (lv_is_list(t)) {
    lv_put_code(s, '[');
    print(s, lv_list_cells(t)[0], depth + 1);
    // The tail is followed with Brent's cycle check: a saved cell, moved on
    // whenever the steps since the last move reach a doubling power of two.
    lv_term saved = t;
    int64_t power = 1, since = 0;
    for (t = lv_deref(lv_list_cells(t)[1]); lv_is_list(t); t = lv_deref(lv_list_cells(t)[1])) {
      if (t == saved) {
        put_text(s, "|...]");
        return;
      }
      if (++since == power) {
        saved = t;
        power *= 2;
        since = 0;
      }
      lv_put_code(s, ',');
      print(s, lv_list_cells(t)[0], depth + 1);
    }
    if (t != LV_ATOM_NIL) {
      lv_put_code(s, '|');
      print(s, t, depth + 1);
    }
    lv_put_code(s, ']');
    return;
  }
  if (lv_is_struct(t) && !lv_is_box(t)) {
    const lv_term* cells = lv_struct_cells(t);
    lv_write_atom(s, lv_functor_atom(cells[0]), nullptr);
    lv_put_code(s, '(');
    for (unsigned i = 1; i <= lv_functor_arity(cells[0]); i++) {
      if (i > 1) lv_put_code(s, ',');
      print(s, cells[i], depth + 1);
    }
    lv_put_code(s, ')');
    return;
  }
  if (lv_is_atom(t)) {
    lv_write_atom(s, t, nullptr);
    return;
  }
  lv_write_atomic(s, t, nullptr);  // a number or a variable
}

}  // namespace

void lv_print_term_debug(lv_term term, int depth) {
  lv_stream* s = lv_streams.user[LV_STD_ERROR];
  if (s != nullptr) print(s, term, depth);
}

void lv_print_term_debug_nl(lv_term term) {
  lv_stream* s = lv_streams.user[LV_STD_ERROR];
  if (s == nullptr) return;
  print(s, term, 0);
  lv_put_code(s, '\n');
  lv_ttyflush();
}
