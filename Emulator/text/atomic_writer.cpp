// The native writer of atomic pieces.
#include "text/atomic_writer.h"

#include <cstring>

#include "core/atoms.h"
#include "core/flag_builtins.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/worker.h"
#include "lvio/unicode_ranges.h"
#include "text/char_class.h"
#include "text/number_format.h"
#include "text/utf8.h"

namespace {

constexpr lv_term ATOM_PORTABLE = lv_predefined_atom(62);

// The bytes of a NUL-terminated text as characters.
int64_t put_ascii(lv_stream* s, const char* text) {
  for (; *text != '\0'; text++) {
    int64_t rc = lv_put_code(s, static_cast<unsigned char>(*text));
    if (rc < 0) return rc;
  }
  return 0;
}

int64_t put(lv_stream* s, int32_t c) {
  int64_t rc = lv_put_code(s, static_cast<uint32_t>(c));
  return rc < 0 ? rc : 0;
}

bool escaped(int32_t c, bool portable) {
  uint8_t cls = lv_char_class(c);
  if (cls == LV_CC_LAYOUT) return true;
  if (cls == LV_CC_OTHER && (portable || lvio_unicode_in_set_a(static_cast<uint32_t>(c)) != 1)) return true;
  return portable && c >= 128;
}

int64_t put_escape(lv_stream* s, int32_t c) {
  static const char letters[] = "abtnvfr";  // codes 7 to 13
  int64_t rc = put(s, '\\');
  if (rc < 0) return rc;
  if (c >= 7 && c <= 13) return put(s, letters[c - 7]);
  char hex[LV_INT_TEXT_SIZE + 2] = "x";
  size_t n = lv_int_to_text(c, -16, hex + 1);
  hex[n + 1] = '\\';
  hex[n + 2] = '\0';
  return put_ascii(s, hex);
}

// A number's text.
int64_t put_number(lv_stream* s, lv_term number, const lv_write_options* options) {
  char* text = lv_number_to_text(number, 10, options->float_letter, options->float_precision, 0);
  int64_t rc = put_ascii(s, text);
  LV_free(text);
  return rc;
}

int64_t write_atomic(lv_stream* s, lv_term t, const lv_write_options* options) {
  t = lv_deref(t);
  if (lv_is_ref(t)) return lv_write_var_name(s, lv_ref_cell(t));
  if (lv_is_number(t)) return put_number(s, t, options);
  if (lv_is_list(t)) return put(s, '.');
  lv_term atom = lv_is_atom(t) ? t : lv_functor_atom(lv_struct_cells(t)[0]);
  if (options->quoted) return lv_write_atom(s, atom, options);
  return lv_write_text(s, lv_atom_text(atom), lv_atom_length(atom));
}

}  // namespace

void lv_write_options_default(lv_write_options* options) {
  options->quoted = false;
  options->portable = lv_flags.quoted_charset == ATOM_PORTABLE;
  options->float_letter = LV_DEFAULT_FLOAT_LETTER;
  options->float_precision = LV_DEFAULT_FLOAT_PRECISION;
}

void lv_write_options_from_term(lv_term term, lv_write_options* options) {
  lv_write_options_default(options);
  term = lv_deref(term);
  if (!lv_is_struct(term) || lv_is_box(term)) return;
  const lv_term* args = lv_struct_cells(term);
  unsigned arity = lv_functor_arity(args[0]);
  if (arity >= 1) options->quoted = lv_deref(args[1]) == LV_ATOM_TRUE;
  if (arity >= 8) {
    lv_term charset = lv_deref(args[8]);
    if (lv_is_atom(charset)) options->portable = charset == ATOM_PORTABLE;
  }
  if (arity >= 9) {
    lv_term format = lv_deref(args[9]);
    if (!lv_is_struct(format) || lv_is_box(format) || lv_functor_arity(lv_struct_cells(format)[0]) != 2) return;
    lv_term letter = lv_deref(lv_struct_cells(format)[1]);
    lv_term precision = lv_deref(lv_struct_cells(format)[2]);
    if (!lv_is_small(letter) || !lv_is_small(precision)) return;
    int64_t code = lv_small_value(letter);
    if (code < 0 || code > 0x7fffffff) return;
    options->float_letter = static_cast<int>(code);
    options->float_precision = lv_small_value(precision);
  }
}

int64_t lv_write_text(lv_stream* s, const char* text, uint64_t length) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  while (p < end) {
    int64_t rc = put(s, lv_utf8_next(p, end));
    if (rc < 0) return rc;
  }
  return 0;
}

int64_t lv_write_atomic(lv_stream* s, lv_term term, const lv_write_options* options) {
  lv_write_options defaults;
  if (options == nullptr) {
    lv_write_options_default(&defaults);
    options = &defaults;
  }
  uint32_t keep = s->flags & LV_STREAM_KEEP_ON_INTERRUPT;
  s->flags |= LV_STREAM_KEEP_ON_INTERRUPT;
  int64_t rc = write_atomic(s, term, options);
  s->flags = (s->flags & ~LV_STREAM_KEEP_ON_INTERRUPT) | keep;
  return rc;
}

int64_t lv_write_atom(lv_stream* s, lv_term atom, const lv_write_options* options) {
  bool portable = options != nullptr ? options->portable : lv_flags.quoted_charset == ATOM_PORTABLE;
  uint32_t wc = lv_atom_writing_class(atom);
  bool safe = (wc & LV_WC_ASCII) != 0;
  if ((wc & LV_WC_QUOTE) != 0 || (!safe && portable))
    return lv_write_quoted_text(s, lv_atom_text(atom), (wc & LV_WC_ESCAPES) != 0, portable, safe);
  return lv_write_text(s, lv_atom_text(atom), lv_atom_length(atom));
}

int64_t lv_write_quoted_text(lv_stream* s, const char* text, bool escape, bool portable, bool safe) {
  int64_t rc = put(s, '\'');
  if (rc < 0) return rc;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + std::strlen(text);
  bool check = escape || (portable && !safe);
  while (p < end) {
    int32_t c = lv_utf8_next(p, end);
    if (!check || c == ' ') {
      rc = put(s, c);
    } else if (c == '\'' || c == '\\') {
      rc = put(s, '\\');
      if (rc == 0) rc = put(s, c);
    } else if (escaped(c, portable)) {
      rc = put_escape(s, c);
    } else {
      rc = put(s, c);
    }
    if (rc < 0) return rc;
  }
  return put(s, '\'');
}

int64_t lv_write_var_name(lv_stream* s, const lv_term* cell) {
  lv_worker* w = get_current_worker();
  char text[LV_INT_TEXT_SIZE + 1] = "_";
  lv_int_to_text(2 * (cell - w->area_start), 10, text + 1);
  return put_ascii(s, text);
}
