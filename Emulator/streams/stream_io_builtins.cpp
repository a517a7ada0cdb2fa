// The stream built-ins that read, write, push back and flush.
#include <cstring>

#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "core/worker.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "streams/stream_builtin_args.h"
#include "streams/stream_builtins.h"
#include "streams/stream_internal.h"
#include "text/utf8.h"

namespace {

// Option bits of the checked reads and writes and of the flush.
constexpr int64_t OPTION_PEEK = 0x100;
constexpr int64_t OPTION_LINE_END = 0x100;

constexpr int64_t CODE_MAX = 0x7FFFFFFF;
constexpr int64_t UNICODE_MAX = 0x10FFFF;  // the fast writes leave larger codes to the checked ones

enum item_kind { CODES, CHARS, BYTES };

uint64_t input_capabilities(bool text) { return LV_CAP_INPUT | (text ? LV_CAP_TEXT : LV_CAP_BINARY); }
uint64_t output_capabilities(bool text) { return LV_CAP_OUTPUT | (text ? LV_CAP_TEXT : LV_CAP_BINARY); }

// The term of an item: an integer, or for characters a one-character atom
// (0 when the code makes none).
lv_term item_term(int64_t item, item_kind kind) {
  if (kind != CHARS) return lv_make_small(item);
  if (item < 256) return lv_one_char_atom(static_cast<uint32_t>(item));
  char text[8];
  int n = LV_code_wci(text, static_cast<int32_t>(item));
  if (n <= 0) return 0;
  text[n] = '\0';
  return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
}

// A line-end flush after a write, when the stream flushes at line ends and
// automatic flushing is not suppressed: 0, or a failure to raise.
int64_t line_end_flush(lv_stream* s) {
  if ((s->flags & LV_STREAM_LINE_FLUSH) == 0 || lv_streams.suppress_autoflush != 0) return 0;
  uint32_t options = LV_FLUSH_LINE_END | ((s->flags & LV_STREAM_OUTPUT_NONBLOCKING) != 0 ? LV_FLUSH_NO_WAIT : 0);
  return lv_stream_flush(s, options);
}

int checked_read(lv_worker* w, bool text, const char* name) {
  lv_term options = lv_deref(w->X[2]);
  if (!lv_is_small(options)) return lv_raise_error(w, LV_ERROR_NOT_INTEGER, "integer", name, 3, 3);
  lv_stream* s = lv_get_stream_arg(w->X[0], input_capabilities(text), 0);
  if (s == nullptr) return lv_raise_pending(w, name, 3, 1);
  bool was_at_end = (s->flags & LV_STREAM_AT_END) != 0;
  int64_t item = text ? lv_get_code(s) : lv_get_byte(s);
  if (item == LVIO_E_INTERRUPTED) return 0;
  if (item < LV_STREAM_END) return lv_raise_code(w, item, false, name, 3, 1);
  if (item == LV_STREAM_END && (s->flags & LV_STREAM_PAST_END) != 0)
    return lv_raise_error(w, LV_ERROR_PAST_END_OF_STREAM, "", name, 3, 1);
  if ((lv_small_value(options) & OPTION_PEEK) != 0 && !was_at_end) {
    int64_t rc = text ? lv_stream_unget_code(s, item) : lv_stream_unget_byte(s, item);
    if (rc < 0) return lv_raise_code(w, rc, false, name, 3, 1);
  }
  return cunify(w, w->X[1], lv_make_small(item));
}

// The next buffered item, taken (unless peek) only once the result unifies.
int fast_read(lv_worker* w, bool text, bool peek, item_kind kind) {
  if (!lv_is_ref(lv_deref(w->X[1]))) return 0;
  lv_stream* s = lv_fast_stream_arg(w->X[0], true, input_capabilities(text));
  if (s == nullptr) return 0;
  int64_t item;
  if (text) {
    if (s->code_read_cursor >= s->code_read_limit) return 0;
    item = *s->code_read_cursor;
  } else {
    if (s->byte_read_cursor >= s->byte_read_limit) return 0;
    item = *s->byte_read_cursor;
  }
  lv_term t = item_term(item, kind);
  if (t == 0 || cunify(w, w->X[2], t) == 0) return 0;
  if (!peek) {
    if (text)
      s->code_read_cursor++;
    else
      s->byte_read_cursor++;
  }
  return 1;
}

// The buffered items up to a stop item as a list ending in the tail.
int buffered_run(lv_worker* w, item_kind kind) {
  bool text = kind != BYTES;
  lv_stream* s = lv_fast_stream_arg(w->X[0], true, input_capabilities(text));
  int64_t stop = 0;
  if (s == nullptr || !lv_integer_arg(w->X[1], &stop) || stop < -1) return 0;
  if ((kind == BYTES && stop > 255) || stop > CODE_MAX) return 0;
  uint8_t* cursor = lv_read_cursor(s);
  uint8_t* limit = lv_read_limit(s);
  if (cursor == nullptr || cursor >= limit) return 0;
  uint64_t size = lv_item_size(s);
  int64_t n = 0;
  for (uint8_t* p = cursor; p < limit && lv_item_at(s, p) != stop; p += size) n++;
  lv_heap_room(w, 2 * n, 4);
  lv_term* h = w->H;
  for (int64_t i = 0; i < n; i++) {
    lv_term t = item_term(lv_item_at(s, cursor + i * static_cast<int64_t>(size)), kind);
    if (t == 0) return 0;
    h[2 * i] = t;
    h[2 * i + 1] = lv_make_list(&h[2 * i + 2]);
  }
  lv_term list = lv_deref(w->X[3]);
  if (n > 0) {
    h[2 * n - 1] = list;
    list = lv_make_list(h);
    w->H = h + 2 * n;
  }
  if (cunify(w, w->X[2], list) == 0) return 0;
  lv_set_read_cursors(s, cursor + n * static_cast<int64_t>(size), limit);
  return 1;
}

int unget(lv_worker* w, bool text, const char* name) {
  lv_stream* s = lv_get_stream_arg(w->X[0], input_capabilities(text), 0);
  if (s == nullptr) return lv_raise_pending(w, name, 3, 1);
  int64_t item = 0;
  if (!lv_integer_arg(w->X[1], &item) || item < -1 || item > (text ? CODE_MAX : 255))
    return lv_raise_code(w, LVIO_E_PARAMETER_ERROR, false, name, 3, 2);
  int64_t rc = text ? lv_stream_unget_code(s, item) : lv_stream_unget_byte(s, item);
  return rc < 0 ? lv_raise_code(w, rc, false, name, 3, 1) : 1;
}

int checked_write(lv_worker* w, bool text, const char* name) {
  lv_stream* s = lv_get_stream_arg(w->X[0], output_capabilities(text), 0);
  if (s == nullptr) return lv_raise_pending(w, name, 3, 1);
  lv_term item = lv_deref(w->X[1]);
  if (text) {
    if (!lv_is_small(item) || lv_small_value(item) < 0 || lv_small_value(item) > CODE_MAX)
      return lv_raise_error(w, LV_ERROR_NOT_CHARACTER_CODE, "", name, 3, 2);
  } else {
    if (!lv_is_small(item)) return lv_raise_error(w, LV_ERROR_NOT_INTEGER, "integer", name, 3, 2);
    if (lv_small_value(item) < 0 || lv_small_value(item) > 255)
      return lv_raise_error(w, LV_ERROR_NAMED_DOMAIN, "byte", name, 3, 2);
  }
  int64_t v = lv_small_value(item);
  // A character the encoding cannot take is refused here, by the write
  // that asks for it: the text before it stays.
  if (text && lv_stream_can_encode(s, static_cast<uint32_t>(v)) < 0)
    return lv_raise_error(w, LV_ERROR_ENCODING, "", name, 3, 2);
  int64_t rc = text ? lv_put_code(s, static_cast<uint32_t>(v)) : lv_put_byte(s, static_cast<uint8_t>(v));
  if (rc == LVIO_E_INTERRUPTED) return 0;
  if (rc < 0) return lv_raise_code(w, rc, true, name, 3, 1);
  lv_term options = lv_deref(w->X[2]);
  if (lv_is_small(options) && (lv_small_value(options) & OPTION_LINE_END) != 0) {
    rc = line_end_flush(s);
    if (rc < 0 && rc != LVIO_E_WOULD_BLOCK && rc != LVIO_E_INTERRUPTED) return lv_raise_code(w, rc, true, name, 3, 1);
  }
  return 1;
}

// Stores the item into the buffer when there is room; fails otherwise
// (the checked write then takes it).
int fast_store(lv_stream* s, int64_t v, bool text) {
  if (text) {
    if (s->code_write_cursor >= s->code_write_limit) return 0;
    *s->code_write_cursor++ = static_cast<uint32_t>(v);
  } else {
    if (s->byte_write_cursor >= s->byte_write_limit) return 0;
    *s->byte_write_cursor++ = static_cast<uint8_t>(v);
  }
  return 1;
}

// A character the encoding may not take goes by the checked write, which
// refuses it.
int fast_write(lv_worker* w, bool text) {
  lv_stream* s = lv_fast_stream_arg(w->X[0], false, output_capabilities(text));
  lv_term item = lv_deref(w->X[1]);
  if (s == nullptr || (s->flags & LV_STREAM_LINE_FLUSH) != 0 || !lv_is_small(item)) return 0;
  int64_t v = lv_small_value(item);
  if (v < 0 || v > (text ? UNICODE_MAX : 255)) return 0;
  if (text && lv_stream_can_encode(s, static_cast<uint32_t>(v)) < 0) return 0;
  return fast_store(s, v, text);
}

// The code of a one-character atom, or -1.
int64_t char_of(lv_term t) {
  if (!lv_is_atom(t)) return -1;
  const char* text = lv_atom_text(t);
  if (text[0] != 0 && static_cast<unsigned char>(text[0]) < 0x80) return text[1] == 0 ? text[0] : -1;
  int32_t c = -1;
  int n = LV_wci_code(&c, text);
  return n > 0 && text[n] == 0 ? c : -1;
}

}  // namespace

int prolog_get_code_fail_on_interrupt3(lv_worker* w) { return checked_read(w, true, "$get_code_fail_on_interrupt"); }

int prolog_get_byte_fail_on_interrupt3(lv_worker* w) { return checked_read(w, false, "$get_byte_fail_on_interrupt"); }

int prolog_get_code_fast3(lv_worker* w) { return fast_read(w, true, false, CODES); }

int prolog_peek_code_fast3(lv_worker* w) { return fast_read(w, true, true, CODES); }

int prolog_get_char_fast3(lv_worker* w) { return fast_read(w, true, false, CHARS); }

int prolog_get_byte_fast3(lv_worker* w) { return fast_read(w, false, false, BYTES); }

int prolog_peek_byte_fast3(lv_worker* w) { return fast_read(w, false, true, BYTES); }

int prolog_get_buffered_codes(lv_worker* w) { return buffered_run(w, CODES); }

int prolog_get_buffered_chars(lv_worker* w) { return buffered_run(w, CHARS); }

int prolog_get_buffered_bytes(lv_worker* w) { return buffered_run(w, BYTES); }

int prolog_end_of_stream2(lv_worker* w) {
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_INPUT, 0);
  if (s == nullptr) return lv_raise_pending(w, "$eof", 2, 1);
  lv_term state = LV_ATOM_PAST_;
  if ((s->flags & LV_STREAM_AT_END) == 0) {
    constexpr uint32_t PROBE = LV_GET_NO_WAIT | LV_GET_PEEK;
    int64_t c = (s->flags & LV_STREAM_TEXT) != 0 ? lv_get_code_helper(s, PROBE) : lv_get_byte_helper(s, PROBE);
    state = lv_atom_from_text(c == LV_STREAM_END ? "at" : "not", LV_ATOM_FIND_OR_CREATE);
  }
  return state != 0 && cunify(w, w->X[1], state) != 0 ? 1 : 0;
}

int prolog_unget_code3(lv_worker* w) { return unget(w, true, "$unget_code"); }

int prolog_unget_byte3(lv_worker* w) { return unget(w, false, "$unget_byte"); }

int prolog_put_code_fail_on_interrupt3(lv_worker* w) { return checked_write(w, true, "$put_code_fail_on_interrupt"); }

int prolog_put_byte_fail_on_interrupt3(lv_worker* w) { return checked_write(w, false, "$put_byte_fail_on_interrupt"); }

int prolog_put_code_fast2(lv_worker* w) { return fast_write(w, true); }

int prolog_put_byte_fast2(lv_worker* w) { return fast_write(w, false); }

int prolog_put_char_fast2(lv_worker* w) {
  lv_stream* s = lv_fast_stream_arg(w->X[0], false, output_capabilities(true));
  if (s == nullptr || (s->flags & LV_STREAM_LINE_FLUSH) != 0) return 0;
  int64_t c = char_of(lv_deref(w->X[1]));
  if (c < 0 || lv_stream_can_encode(s, static_cast<uint32_t>(c)) < 0) return 0;
  return fast_store(s, c, true);
}

int prolog_flush_output_fail_on_interrupt2(lv_worker* w) {
  constexpr const char* NAME = "$flush_output_fail_on_interrupt";
  lv_term options = lv_deref(w->X[1]);
  if (!lv_is_small(options)) return lv_raise_error(w, LV_ERROR_NOT_INTEGER, "integer", NAME, 2, 2);
  lv_stream* s = lv_get_stream_arg(w->X[0], LV_CAP_OUTPUT, 0);
  if (s == nullptr) return lv_raise_pending(w, NAME, 2, 1);
  int64_t rc;
  if ((lv_small_value(options) & OPTION_LINE_END) != 0) {
    rc = line_end_flush(s);
    if (rc == LV_STREAM_INTERRUPTED) return 0;
    if (rc == LVIO_E_WOULD_BLOCK) rc = 0;
  } else {
    rc = lv_stream_flush(s, 0);
  }
  if (rc == LVIO_E_INTERRUPTED) return 0;
  if (rc < 0) return lv_raise_code(w, rc, true, NAME, 2, 1);
  return 1;
}
