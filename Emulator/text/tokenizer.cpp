// The tokenizer: layout and comments, names, symbol atoms, variables,
// numbers (with the two-call protocol of 0', 0b, 0o and 0x), quoted items
// with their escapes, and punctuation.
#include "text/tokenizer.h"

#include <cstring>

#include "core/atoms.h"
#include "core/fault.h"
#include "core/flag_builtins.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/text_lists.h"
#include "lvio/unicode_ranges.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "text/char_class.h"
#include "text/char_conversion.h"
#include "text/escape.h"
#include "text/number_parse.h"
#include "text/utf8.h"

namespace {

constexpr size_t LOCAL_BUFFER = 512;
// Longest number text given back as an atom when the number is refused.
constexpr size_t NUMBER_ATOM_LIMIT = 100;
constexpr size_t NUMBER_ATOM_CUT = 97;
// Heap cells every token needs besides a list or a big integer.
constexpr int64_t TOKEN_CELLS = 16;

// The token text: UTF-8 bytes in the caller's frame, moved to a block of
// the memory manager (doubling) when it fills. Plain data: the call may be
// left by a non-local exit.
struct text_buffer {
  char* data;
  size_t size;
  size_t used;
  char local[LOCAL_BUFFER];
};

void buffer_init(text_buffer* b) {
  b->data = b->local;
  b->size = LOCAL_BUFFER;
  b->used = 0;
}

void buffer_free(text_buffer* b) {
  if (b->data != b->local) lv_mem_free(b->data, b->size, lv_mem_flags(LV_CAT_MISC));
  buffer_init(b);
}

void buffer_grow(text_buffer* b) {
  size_t size = b->size * 2;
  char* data;
  if (b->data == b->local) {
    data = static_cast<char*>(lv_mem_alloc(size, lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL)));
    if (data != nullptr) std::memcpy(data, b->local, b->used);
  } else {
    data = static_cast<char*>(lv_mem_realloc(b->data, b->size, size, lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL)));
  }
  if (data == nullptr) lv_memory_fault("tokenizer buffer", LV_CAT_MISC);
  b->data = data;
  b->size = size;
}

// Appends a code point (0 to 2^31 - 1) and keeps room for the final NUL.
void buffer_put(text_buffer* b, int32_t c) {
  while (b->size - b->used < 8) buffer_grow(b);
  b->used += static_cast<size_t>(LV_code_wci(b->data + b->used, c));
}

const char* buffer_text(text_buffer* b) {
  b->data[b->used] = '\0';
  return b->data;
}

struct lexer {
  lv_worker* w;
  lv_stream* s;
  unsigned live;
  int32_t c;    // the current character, converted
  int32_t raw;  // the current character as read
  bool convert;
  int64_t error;
  int32_t status;
  text_buffer text;
};

int32_t convert(const lexer& L, int32_t c) { return L.convert && c >= 0 ? lv_char_conversion(c) : c; }

// Records a fault; the first one stands, but end of file inside an item
// overrides, so that the reader knows the text has ended.
void fault(lexer& L, int32_t status) {
  if (L.status >= 0 || status == LV_TOKEN_END_IN_QUOTES) L.status = status;
}

// A code the stream gave: end of file, or a code point within 31 bits (a
// larger value from a device of codes reads as the replacement character).
// Bytes that make no character of the stream's encoding (which the stream
// reports once and reads past) are a lexical fault, read as the
// replacement character, so that the reader goes on to the end of the
// clause.
int32_t accept_code(lexer& L, int64_t r) {
  if (r == LV_STREAM_END) return -1;
  if (r == LVIO_E_ENCODING_INVALID) {
    fault(L, LV_TOKEN_INVALID_BYTES);
    return 0xFFFD;
  }
  if (r < 0) {
    if (L.error == 0) L.error = r;
    return -1;
  }
  return r > 0x7fffffff ? 0xFFFD : static_cast<int32_t>(r);
}

void advance(lexer& L) {
  if (L.error != 0) {
    L.raw = L.c = -1;
    return;
  }
  L.raw = accept_code(L, lv_get_code(L.s));
  L.c = convert(L, L.raw);
}

// The character after the current one, converted, without taking it.
int32_t peek(lexer& L) {
  if (L.error != 0) return -1;
  return convert(L, accept_code(L, lv_peek_code(L.s)));
}

bool is_alnum(int32_t c) {
  switch (lv_char_class(c)) {
    case LV_CC_LOWER:
    case LV_CC_UPPER:
    case LV_CC_DIGIT:
    case LV_CC_UNDERSCORE:
      return true;
    default:
      return false;
  }
}

bool is_digit(int32_t c) { return c >= '0' && c <= '9'; }

int digit_value(int32_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

void room(lexer& L, int64_t cells) {
  if (L.w->heap_hard_limit - L.w->H < cells) call_overflow(L.w, cells, L.live);
}

lv_term atom(const char* text) { return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE); }

// Name(Argument) on the heap; the caller has made room.
lv_term wrap(lv_worker* w, const char* name, lv_term argument) {
  lv_term* cells = w->H;
  w->H += 2;
  cells[0] = lv_make_functor(atom(name), 1);
  cells[1] = argument;
  return lv_make_struct(cells);
}

lv_term atom_token(lexer& L, lv_term a) {
  room(L, TOKEN_CELLS);
  return wrap(L.w, "atom", a);
}

// atom(Text) for the buffer; a text the atom table refuses is an illegal
// token.
lv_term text_atom_token(lexer& L) {
  lv_term a = atom(buffer_text(&L.text));
  if (a == 0) {
    fault(L, LV_TOKEN_ILLEGAL);
    return LV_ATOM_NIL;
  }
  return atom_token(L, a);
}

// The list of the buffer's codes or one-character atoms wrapped in name/1,
// or [] with the illegal status when it cannot be built.
lv_term list_token(lexer& L, const char* name, int mode) {
  lv_term list = lv_text_to_code_list(L.w, L.text.used, L.text.data, LV_ATOM_NIL, mode, TOKEN_CELLS, L.live);
  if (list == 0) {
    fault(L, LV_TOKEN_ILLEGAL);
    return LV_ATOM_NIL;
  }
  return wrap(L.w, name, list);
}

// A number text to a number: radix 10 (integer or float) or the radix of a
// prefix, by the shared number reader, which leaves TOKEN_CELLS heap cells
// free after it. 0 with *error set (LV_NUMBER_*) when it is refused.
lv_term number_from_text(lexer& L, const char* text, int radix, int* error) {
  return lv_parse_number(L.w, text, radix, LV_NUMBER_DIRECT, TOKEN_CELLS, L.live, 0, error);
}

// number(N) for the buffer's text, or number(Text) with the status of the
// refusal.
lv_term number_token(lexer& L, int radix) {
  int error = 0;
  lv_term n = number_from_text(L, buffer_text(&L.text), radix, &error);
  // The number leaves room for its wrapper: making room now could move it.
  if (n != 0) return wrap(L.w, "number", n);
  fault(L, error == LV_NUMBER_OUT_OF_RANGE ? LV_TOKEN_FLOAT_RANGE
           : error == LV_NUMBER_TOO_LARGE   ? LV_TOKEN_INTEGER_TOO_LARGE
                                            : LV_TOKEN_BAD_NUMBER);
  if (L.text.used > NUMBER_ATOM_LIMIT) {
    L.text.used = NUMBER_ATOM_CUT;
    for (const char* dots = "..."; *dots != '\0'; dots++) buffer_put(&L.text, *dots);
  }
  lv_term a = atom(buffer_text(&L.text));
  room(L, TOKEN_CELLS);
  return wrap(L.w, "number", a);
}

lv_term small_number_token(lexer& L, int32_t code) {
  room(L, TOKEN_CELLS);
  return wrap(L.w, "number", lv_make_small(code));
}

// A run of characters of the name classes after the buffer's text.
void name_run(lexer& L) {
  while (is_alnum(L.c)) {
    buffer_put(&L.text, L.c);
    advance(L);
  }
}

lv_term name_token(lexer& L) {
  name_run(L);
  L.status = 1;
  return text_atom_token(L);
}

lv_term variable_token(lexer& L) {
  uint32_t hash = 0;
  while (is_alnum(L.c)) {
    hash = lv_var_name_hash_step(hash, L.c);
    buffer_put(&L.text, L.c);
    advance(L);
  }
  L.status = 0;
  lv_term names = lv_text_to_code_list(L.w, L.text.used, L.text.data, LV_ATOM_NIL, LV_TEXT_CODES, TOKEN_CELLS,
                                       L.live);
  if (names == 0) {
    fault(L, LV_TOKEN_ILLEGAL);
    return LV_ATOM_NIL;
  }
  lv_worker* w = L.w;
  lv_term* cells = w->H;
  w->H += 4;
  cells[0] = lv_make_functor(atom("var"), 3);
  cells[1] = lv_make_small(hash);
  cells[2] = names;
  cells[3] = lv_make_ref(&cells[3]);
  return lv_make_struct(cells);
}

void digit_run(lexer& L) {
  while (is_digit(L.c)) {
    buffer_put(&L.text, L.c);
    advance(L);
  }
}

// A decimal number from its first digit. The status stays 0 unless the
// exponent is cut short or the parser refuses the text.
lv_term number(lexer& L) {
  L.status = 0;
  if (L.c == '0') {
    int32_t after = peek(L);
    if (after == '\'' || after == 'b' || after == 'o' || after == 'x') {
      advance(L);
      L.status = LV_TOKEN_RADIX_PREFIX;
      return small_number_token(L, 0);
    }
  }
  digit_run(L);
  if (L.c == '.' && is_digit(peek(L))) {
    buffer_put(&L.text, '.');
    advance(L);
    digit_run(L);
    if (L.c == 'e' || L.c == 'E') {
      int32_t letter = L.c;
      int32_t after = peek(L);
      if (is_digit(after)) {
        buffer_put(&L.text, 'e');
        advance(L);
        digit_run(L);
      } else if (after == '+' || after == '-') {
        advance(L);  // the letter, now consumed
        if (is_digit(peek(L))) {
          buffer_put(&L.text, 'e');
          buffer_put(&L.text, L.c);
          advance(L);
          digit_run(L);
        } else {
          L.status = letter == 'e' ? LV_TOKEN_EXPONENT_SIGN_LOWER : LV_TOKEN_EXPONENT_SIGN_UPPER;
        }
      }
    }
  }
  return number_token(L, 10);
}

// The digits of a radix prefix (the current character is b, o or x); with
// no digit of the radix after the letter, the letter starts a name.
lv_term radix_number(lexer& L) {
  int radix = L.c == 'b' ? 2 : L.c == 'o' ? 8 : 16;
  int32_t letter = L.c;
  advance(L);
  if (digit_value(L.c) >= radix) {
    buffer_put(&L.text, letter);
    return name_token(L);
  }
  while (digit_value(L.c) < radix) {
    buffer_put(&L.text, L.c);
    advance(L);
  }
  L.status = 0;
  return number_token(L, radix);
}

// Records the fault of a character inside quotes, if any: layout other
// than the blank, or a code point that is not assigned.
void check_item_char(lexer& L, int32_t c) {
  uint8_t cls = lv_char_class(c);
  if (cls == LV_CC_LAYOUT && c != ' ') {
    fault(L, LV_TOKEN_LAYOUT_IN_QUOTES);
  } else if (cls == LV_CC_OTHER && lvio_unicode_in_set_b(static_cast<uint32_t>(c)) != 1) {
    fault(L, LV_TOKEN_UNASSIGNED_CODE);
  }
}

// One character of a quoted item that is neither the quote nor a backslash.
void item_char(lexer& L) {
  check_item_char(L, L.c);
  buffer_put(&L.text, L.c);
}

// After a backslash inside a quoted item, at the character after it. A
// code read is the result (>= 0); on a fault its characters stay in the
// text, and true in *reread means the current character is not part of the
// escape and must be taken as an ordinary character of the item. -1: end of
// file.
int32_t escape(lexer& L, bool* reread) {
  *reread = false;
  size_t start = L.text.used;
  lv_escape_state e;
  lv_escape_reset(&e);
  buffer_put(&L.text, '\\');
  buffer_put(&L.text, L.c);
  int32_t r = lv_escape_char(&e, L.c);
  while (r == LV_ESCAPE_MORE) {
    advance(L);
    if (L.c < 0) return -1;
    r = lv_escape_digit(&e, L.c);
    if (r == LV_ESCAPE_MORE || (r == LV_ESCAPE_BAD_DIGIT && L.c == '\\')) buffer_put(&L.text, L.c);
  }
  if (r >= 0) {
    L.text.used = start;
    return r;
  }
  fault(L, r);
  *reread = r == LV_ESCAPE_OVERFLOW || (r == LV_ESCAPE_BAD_DIGIT && L.c != '\\');
  return -2;
}

// A quoted item from its opening quote; the current character is the one
// after the closing quote.
void quoted_item(lexer& L) {
  int32_t quote = L.c;
  bool saved = L.convert;
  // The item's characters are taken as they stand, unless the quote itself
  // came from a conversion.
  if (L.raw == L.c) L.convert = false;
  advance(L);
  for (;;) {
    if (L.c < 0) {
      fault(L, LV_TOKEN_END_IN_QUOTES);
      break;
    }
    if (L.c == quote) {
      advance(L);
      if (L.c != quote) break;
      buffer_put(&L.text, quote);
      advance(L);
      continue;
    }
    if (L.c == '\\') {
      advance(L);
      if (L.c == '\n') {
        advance(L);
        continue;
      }
      if (L.c < 0) continue;
      bool reread = false;
      int32_t r = escape(L, &reread);
      if (r == -1) continue;
      if (r >= 0) buffer_put(&L.text, r);
      if (!reread) advance(L);
      continue;
    }
    item_char(L);
    advance(L);
  }
  L.convert = saved;
}

// 0'c with the current character the quote: number(Code), status 1.
lv_term char_code(lexer& L) {
  bool saved = L.convert;
  if (L.raw == L.c) L.convert = false;
  advance(L);
  int32_t code = L.c;
  L.status = 1;
  if (L.c < 0) {
    fault(L, LV_TOKEN_END_IN_QUOTES);
    L.convert = saved;
    return small_number_token(L, 0);
  }
  if (L.c == '\'') {
    advance(L);
    L.convert = saved;
    if (L.c != '\'') return atom_token(L, LV_ATOM_EMPTY);
    advance(L);
    return small_number_token(L, '\'');
  }
  if (L.c == '\\') {
    advance(L);
    if (L.c == '\n' || L.c < 0) {
      fault(L, L.c < 0 ? LV_TOKEN_END_IN_QUOTES : LV_TOKEN_LAYOUT_IN_QUOTES);
      advance(L);
      L.convert = saved;
      return small_number_token(L, 0);
    }
    bool reread = false;
    int32_t r = escape(L, &reread);
    L.text.used = 0;
    if (r == -1) fault(L, LV_TOKEN_END_IN_QUOTES);
    if (!reread && r != -1) advance(L);
    L.convert = saved;
    return small_number_token(L, r >= 0 ? r : 0);
  }
  check_item_char(L, code);
  advance(L);
  L.convert = saved;
  return small_number_token(L, code);
}

lv_term punctuation(lexer& L, const char* name, int32_t status) {
  advance(L);
  L.status = status;
  return atom(name);
}

// Skips a block comment from its "/"; false at end of file.
bool block_comment(lexer& L) {
  advance(L);  // the "*"
  advance(L);
  for (;;) {
    if (L.c < 0) return false;
    if (L.c == '*') {
      advance(L);
      if (L.c == '/') {
        advance(L);
        return true;
      }
      continue;
    }
    advance(L);
  }
}

void symbol_run(lexer& L) {
  while (lv_char_class(L.c) == LV_CC_SYMBOL) {
    buffer_put(&L.text, L.c);
    advance(L);
  }
}

void sample_line(lexer& L, int64_t* line) {
  int64_t lines = 0;
  int64_t position = 0;
  if (LV_get_stream_counts(L.s, nullptr, &lines, &position, 1) < 0) {
    *line = 0;
    return;
  }
  *line = lines + (position > 0 ? 1 : 0);
}

lv_term token(lexer& L, int32_t state, lv_term prompt, int64_t* line) {
  if (state == LV_TOKEN_STATE_PREFIX) {
    sample_line(L, line);
    if (L.c == '\'') return char_code(L);
    if (L.c == 'b' || L.c == 'o' || L.c == 'x') return radix_number(L);
  }
  for (;;) {
    if (L.c < 0) {
      sample_line(L, line);
      L.status = L.error != 0 ? 0 : LV_TOKEN_END_OF_FILE;
      return LV_ATOM_NIL;
    }
    uint8_t cls = lv_char_class(L.c);
    if (cls == LV_CC_LAYOUT) {
      advance(L);
      state = 0;
      continue;
    }
    if (prompt != 0) {
      lv_atom_hold(&lv_flags.prompt, prompt);
      prompt = 0;
    }
    sample_line(L, line);
    switch (cls) {
      case LV_CC_PERCENT:
        while (L.c >= 0 && L.c != '\n') advance(L);
        if (L.c < 0) {
          L.status = L.error != 0 ? 0 : LV_TOKEN_END_IN_LINE_COMMENT;
          return LV_ATOM_NIL;
        }
        advance(L);
        state = 0;
        continue;
      case LV_CC_SYMBOL: {
        int32_t after = peek(L);
        if (L.c == '/' && after == '*') {
          if (!block_comment(L)) {
            L.status = L.error != 0 ? 0 : LV_TOKEN_END_IN_BLOCK_COMMENT;
            return LV_ATOM_NIL;
          }
          state = 0;
          continue;
        }
        if (L.c == '.' && (after < 0 || lv_char_class(after) == LV_CC_LAYOUT || after == '%')) {
          advance(L);
          L.status = 0;
          return LV_ATOM_DOT;
        }
        symbol_run(L);
        L.status = 1;
        return text_atom_token(L);
      }
      case LV_CC_LOWER:
        return name_token(L);
      case LV_CC_UPPER:
      case LV_CC_UNDERSCORE:
        return variable_token(L);
      case LV_CC_DIGIT:
        return number(L);
      case LV_CC_CUT:
        advance(L);
        L.status = 1;
        return atom_token(L, LV_ATOM_CUT);
      case LV_CC_SEMICOLON:
        advance(L);
        L.status = 1;
        return atom_token(L, atom(";"));
      case LV_CC_QUOTE:
        L.status = 1;
        quoted_item(L);
        return text_atom_token(L);
      case LV_CC_BACKQUOTE:
        L.status = LV_TOKEN_BACK_QUOTED;
        quoted_item(L);
        return text_atom_token(L);
      case LV_CC_DQUOTE: {
        L.status = 0;
        quoted_item(L);
        lv_term dq = lv_flags.double_quotes;
        if (dq == atom("atom")) return text_atom_token(L);
        return list_token(L, "string", dq == atom("codes") ? LV_TEXT_CODES : LV_TEXT_CHARS);
      }
      case LV_CC_LPAREN:
        return punctuation(L, state == 1 ? "(" : " (", 0);
      case LV_CC_LBRACKET:
        return punctuation(L, "[", 0);
      case LV_CC_LBRACE:
        return punctuation(L, "{", 0);
      case LV_CC_COMMA:
        return punctuation(L, ",", 0);
      case LV_CC_BAR:
        return punctuation(L, "|", 0);
      case LV_CC_RPAREN:
        return punctuation(L, ")", 1);
      case LV_CC_RBRACKET:
        return punctuation(L, "]", 1);
      case LV_CC_RBRACE:
        return punctuation(L, "}", 1);
      default: {
        int32_t code = L.c;
        advance(L);
        L.status = LV_TOKEN_ILLEGAL;
        return lv_make_small(code);
      }
    }
  }
}

}  // namespace

void lv_read_token(lv_worker* w, lv_stream* s, int32_t c, int32_t state, lv_term prompt, unsigned live,
                   lv_token* out) {
  lexer L;
  L.w = w;
  L.s = s;
  L.live = live;
  L.convert = lv_flags.char_conversion == LV_ATOM_ON && lv_char_conversion_count() > 0;
  L.error = 0;
  L.status = 0;
  L.raw = c < 0 ? -1 : c;
  L.c = convert(L, L.raw);
  buffer_init(&L.text);
  out->line = 0;
  out->token = token(L, state, prompt, &out->line);
  buffer_free(&L.text);
  out->next = L.raw;
  out->status = L.status;
  out->error = L.error;
}
