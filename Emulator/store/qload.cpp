// The quick-load item reader (the format is described in qload.h).
#include "store/qload.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/atoms.h"
#include "core/errors.h"
#include "core/heap_parse.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "machine/bignum.h"
#include "store/code_walk.h"
#include "store/predicates.h"
#include "store/qload_internal.h"
#include "streams/diagnostics.h"
#include "streams/stream_api.h"
#include "text/float_read.h"

namespace {

constexpr uint32_t QLINFO_FLAGS = lv_mem_flags(LV_CAT_QLINFO);
constexpr uint32_t VERSION = 4;
// A heap reservation larger than this is refused rather than attempted.
constexpr int64_t MAX_RESERVATION = int64_t{1} << 28;
constexpr int64_t MAX_BLOCK_BYTES = static_cast<int64_t>(LV_CODE_BLOCK_MAX_BYTES);

char error_message[LV_ERROR_MESSAGE_SIZE];

// ---- Bytes, numbers and texts -------------------------------------------

template <typename T>
void grow(T*& buffer, uint64_t& capacity, uint64_t needed) {
  if (needed <= capacity) return;
  uint64_t c = capacity == 0 ? 64 : capacity;
  while (c < needed) c *= 2;
  buffer = static_cast<T*>(buffer == nullptr ? lv_mem_alloc(c * sizeof(T), QLINFO_FLAGS)
                                             : lv_mem_realloc(buffer, capacity * sizeof(T), c * sizeof(T), QLINFO_FLAGS));
  capacity = c;
}

// ---- The heap check -------------------------------------------------------
//
// A term is well formed when the cells pushed for it, from h0 to the heap
// top, are a sequence of whole boxes and single cells in which every
// functor word is followed by its arguments (single cells that are no
// functor words), and every pointer in those cells, in the registers and in
// the result points inside that stretch: a reference at a single cell, a
// structure pointer at a functor word or a box, a list pointer at two single
// cells. Cyclic terms pass.

enum : uint8_t { CELL = 0, FUNCTOR = 1, BOX = 2, BOX_BODY = 3 };

bool check_word(ql_reader& r, lv_term v, const char* where) {
  if (lv_is_atomic(v)) return true;
  lv_term* h0 = r.h0;
  lv_term* top = r.w->H;
  lv_term* t = lv_is_ref(v) ? lv_ref_cell(v) : lv_is_struct(v) ? lv_struct_cells(v) : lv_list_cells(v);
  if (v == 0) return ql_fail(r, "$qload: %s is not set", where);
  uint64_t span = lv_is_list(v) ? 2 : 1;
  if (t < h0 || t + span > top)
    return ql_fail(r, "$qload: %s points outside the cells of its term (an unfinished structure?)", where);
  uint8_t c = r.classes[t - h0];
  bool ok = lv_is_ref(v) ? c == CELL
            : lv_is_struct(v) ? c == FUNCTOR || c == BOX
                              : c == CELL && r.classes[t - h0 + 1] == CELL;
  if (!ok) return ql_fail(r, "$qload: %s points at something that is not its kind of term", where);
  return true;
}

struct register_check {
  ql_reader* r;
  bool ok;
};

bool check_heap(ql_reader& r, const lv_term* result) {
  lv_term* h0 = r.h0;
  uint64_t n = static_cast<uint64_t>(r.w->H - h0);
  grow(r.classes, r.classes_capacity, n + 1);
  for (uint64_t i = 0; i < n;) {
    lv_term v = h0[i];
    if (lv_heap_box_start(v) || v == LV_ATTVAR_MARKER) {
      uint64_t values = lv_box_value_words(v);
      if (values == 0 || values > n || i + values + 2 > n || h0[i + values + 1] != v || (lv_box_is_float(v) && values != 1))
        return ql_fail(r, "$qload: a malformed box on the heap");
      r.classes[i] = BOX;
      for (uint64_t j = 1; j < values + 2; j++) r.classes[i + j] = BOX_BODY;
      i += values + 2;
    } else if (lv_is_functor_word(v)) {
      if (i + lv_functor_arity(v) >= n) return ql_fail(r, "$qload: a structure is missing arguments");
      r.classes[i++] = FUNCTOR;
    } else {
      r.classes[i++] = CELL;
    }
  }
  for (uint64_t i = 0; i < n; i++) {
    if (r.classes[i] == FUNCTOR) {
      for (uint64_t j = 1; j <= lv_functor_arity(h0[i]); j++)
        if (r.classes[i + j] != CELL) return ql_fail(r, "$qload: a structure argument is a functor word or a box");
    } else if (r.classes[i] == CELL && !check_word(r, h0[i], "a heap cell")) {
      return false;
    }
  }
  register_check rc = {&r, true};
  ql_for_each_heap_register(
      [](lv_termref_slot* slot, void* arg) {
        auto* c = static_cast<register_check*>(arg);
        if (c->ok && !check_word(*c->r, slot->term, "a register")) c->ok = false;
      },
      &rc);
  if (!rc.ok) return false;
  return result == nullptr || check_word(r, *result, "the term");
}

// ---- Items -----------------------------------------------------------------

bool get_register(ql_reader& r, int64_t index, lv_term* value) {
  lv_termref_slot* slot = ql_register(r, index);
  if (slot == nullptr) return false;
  if (slot->term == 0) return ql_fail(r, "$qload: register %lld is not set", static_cast<long long>(index));
  *value = slot->term;
  return true;
}

bool set_register(ql_reader& r, int64_t index, lv_term value) {
  lv_termref_slot* slot = ql_register(r, index);
  if (slot == nullptr) return false;
  slot->term = value;
  return true;
}

bool read_register(ql_reader& r, int64_t* index, const char* what) { return ql_number(r, index, what); }

// Room for cells pushed on the heap: pushes stay below the hard limit, so
// that the emulator's reserve is kept. A writer reserves room with item 64.
bool heap_room(ql_reader& r, uint64_t cells) {
  if (static_cast<uint64_t>(r.w->heap_hard_limit - r.w->H) >= cells) return true;
  return ql_fail(r, "$qload: miscalculated heap usage (a push of %" PRIu64 " cells beyond the heap reserved)", cells);
}

// Item 64. The stacks may be moved or collected: only registers and the
// anchor keep the term's cells, so the term built so far must be well
// formed (no structure half pushed, no pointer to the next heap cell
// outstanding), and the anchor tells where its first cell went.
bool reserve_heap(ql_reader& r, int64_t cells) {
  lv_worker* w = r.w;
  if (cells < 0 || cells > MAX_RESERVATION)
    return ql_fail(r, "$qload: heap reservation of %lld words refused", static_cast<long long>(cells));
  if (w->heap_hard_limit - w->H >= cells) return true;
  if (!check_heap(r, nullptr)) return false;
  lv_termref_slot* anchor = ql_anchor_slot();
  bool anchored = w->H > r.h0;
  if (anchored) anchor->term = r.classes[0] == CELL ? lv_make_ref(r.h0) : lv_make_struct(r.h0);
  call_overflow(w, cells, r.live);
  if (anchored) {
    lv_term a = anchor->term;
    r.h0 = lv_is_ref(a) ? lv_ref_cell(a) : lv_struct_cells(a);
    anchor->term = 0;
  } else {
    r.h0 = w->H;
  }
  if (w->heap_hard_limit - w->H < cells)
    return ql_fail(r, "$qload: no room for a heap reservation of %lld words", static_cast<long long>(cells));
  return true;
}

// 'D': an integer; a value that fits a small integer never uses the heap.
bool read_integer(ql_reader& r, lv_term* value) {
  if (!ql_text(r, QL_MAX_DIGITS + 1, "an integer")) return false;
  if (!ql_integer_text(r.text, r.text_length)) return ql_fail(r, "$qload: integer text \"%.40s\" is not a decimal integer", r.text);
  const char* digits = r.text + (r.text[0] == '-' ? 1 : 0);
  while (digits[0] == '0' && digits[1] != '\0') digits++;
  if (std::strlen(digits) <= 18) {
    int64_t v = std::strtoll(r.text, nullptr, 10);
    if (lv_fits_small(v)) {
      *value = lv_make_small(v);
      return true;
    }
  }
  lv_worker* w = r.w;
  int32_t status = lv_bignum_from_text(r.text, w->H, w->heap_hard_limit, 10, 0);
  if (status != 0) return ql_fail(r, "$qload: miscalculated heap usage (a big integer does not fit the heap reserved)");
  lv_term* end = nullptr;
  *value = lv_bignum_result_term(w->H, &end);
  w->H = end;
  return true;
}

// The Name/Arity or Module:Name/Arity term of an 'N' item. Its cells are
// checked as they are visited: the term need not be finished elsewhere.
bool visit_cell(ql_reader& r, lv_term* v) {
  for (uint64_t steps = 0; lv_is_ref(*v); steps++) {
    lv_term* cell = lv_ref_cell(*v);
    if (cell < r.h0 || cell >= r.w->H || steps > static_cast<uint64_t>(r.w->H - r.h0)) return false;
    if (*cell == *v) return false;  // unbound
    *v = *cell;
  }
  return true;
}

bool structure_of(ql_reader& r, lv_term v, lv_term functor, lv_term** cells) {
  if (!lv_is_struct(v)) return false;
  lv_term* c = lv_struct_cells(v);
  if (c < r.h0 || c + 1 + lv_functor_arity(functor) > r.w->H || c[0] != functor) return false;
  *cells = c;
  return true;
}

bool plain_atom(lv_term v) { return lv_is_atom(v) && lv_functor_arity(v) == 0; }

bool predicate_spec(ql_reader& r, lv_term spec) {
  constexpr lv_term SLASH_2 = lv_predefined_atom(110) | (lv_term{2} << 55);  // '/'/2
  lv_term v = spec;
  lv_term* cells = nullptr;
  for (;;) {
    if (!visit_cell(r, &v)) return false;
    if (!structure_of(r, v, LV_FUNCTOR_COLON_2, &cells)) break;
    lv_term m = cells[1];
    if (!visit_cell(r, &m) || !plain_atom(m)) return false;
    v = cells[2];
  }
  if (!structure_of(r, v, SLASH_2, &cells)) return false;
  lv_term name = cells[1], arity = cells[2];
  return visit_cell(r, &name) && plain_atom(name) && visit_cell(r, &arity) && lv_is_small(arity) &&
         lv_small_value(arity) >= 0 && lv_small_value(arity) <= 255;
}

bool add_made(ql_reader& r, lv_code_block* b) {
  grow(r.made, r.made_capacity, r.made_count + 1);
  r.made[r.made_count++] = b;
  return true;
}

// 'K': a code block. A new block ends the previous one.
bool read_block(ql_reader& r) {
  int64_t index = 0, size = 0, version = 0;
  if (!read_register(r, &index, "a 'K' item") || !ql_number(r, &size, "a 'K' item") ||
      !ql_number(r, &version, "a 'K' item"))
    return false;
  if (r.block != nullptr && !ql_finish_block(r)) return false;
  if (version != VERSION) return ql_fail(r, "Quick load aborted.  Wrong version number.");
  // The code is whole 32-bit words.
  if (size <= 0 || size % 2 != 0 || size > (MAX_BLOCK_BYTES - 48) / 2)
    return ql_fail(r, "$qload: code block size %lld is not a whole number of words in range", static_cast<long long>(size));
  lv_code_block* b = lv_code_block_new(static_cast<uint64_t>(size) / 2);
  b->source_key = r.source;
  b->source = r.source;
  add_made(r, b);
  r.block = b;
  r.code = lv_code_block_code(b);
  r.words = static_cast<uint64_t>(size) / 2;
  r.tags = static_cast<uint8_t*>(lv_mem_alloc(r.words, QLINFO_FLAGS));
  std::memset(r.tags, QL_WORD, r.words);
  r.have_insn = false;
  if (!ql_read_code(r)) return false;
  lv_code_reset_entries(b);
  lv_code_block_register(b);
  return set_register(r, index, lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(b) / 8)));
}

bool push_cell(ql_reader& r, lv_term v) {
  if (!heap_room(r, 1)) return false;
  *r.w->H++ = v;
  return true;
}

void release_block_state(ql_reader& r) {
  if (r.tags != nullptr) lv_mem_free(r.tags, r.words, QLINFO_FLAGS);
  r.tags = nullptr;
  r.block = nullptr;
}

void release(ql_reader& r) {
  release_block_state(r);
  if (r.made != nullptr) lv_mem_free(r.made, r.made_capacity * sizeof(lv_code_block*), QLINFO_FLAGS);
  if (r.text != nullptr) lv_mem_free(r.text, r.text_capacity, QLINFO_FLAGS);
  if (r.classes != nullptr) lv_mem_free(r.classes, r.classes_capacity, QLINFO_FLAGS);
}

// A fault: the term's blocks are freed, its cells dropped, its heap words
// cleared from the registers.
int abandon(ql_reader& r) {
  for (uint64_t i = 0; i < r.made_count; i++) {
    if (lv_find_code_block(r.made[i]) == r.made[i]) lv_code_block_unregister(r.made[i]);
    lv_code_block_free(r.made[i]);
  }
  r.w->H = r.h0;
  ql_clear_heap_registers();
  release(r);
  return -1;
}

bool read_item(ql_reader& r, int c, lv_term* out, bool* done) {
  lv_worker* w = r.w;
  int64_t index = 0, value = 0, other = 0;
  lv_term t = 0;
  switch (c) {
    case 64:
      return ql_number(r, &value, "item 64") && reserve_heap(r, value);
    case 'A':
      if (!read_register(r, &index, "an 'A' item") || !ql_text(r, QL_MAX_TEXT, "an 'A' item")) return false;
      t = lv_atom_from_text(r.text, LV_ATOM_FIND_OR_CREATE);
      if (t == 0) return ql_fail(r, "$qload: atom text is not well formed or the atom table is full");
      return set_register(r, index, t);
    case 'B':
      if (!read_register(r, &index, "a 'B' item") || !read_register(r, &other, "a 'B' item") ||
          !ql_number(r, &value, "a 'B' item") || !get_register(r, other, &t))
        return false;
      if (!plain_atom(t)) return ql_fail(r, "$qload: register %lld does not hold an atom", static_cast<long long>(other));
      if (value < 0 || value > 255) return ql_fail(r, "$qload: arity %lld out of range", static_cast<long long>(value));
      return set_register(r, index, lv_make_functor(t, static_cast<unsigned>(value)));
    case 'C':
      if (!read_register(r, &index, "a 'C' item") || !ql_number(r, &value, "a 'C' item")) return false;
      if (!lv_fits_small(value)) return ql_fail(r, "$qload: %lld is not a small integer", static_cast<long long>(value));
      return set_register(r, index, lv_make_small(value));
    case 'D':
      return read_register(r, &index, "a 'D' item") && read_integer(r, &t) && set_register(r, index, t);
    case 'E': {
      double d = 0;
      if (!read_register(r, &index, "an 'E' item") || !ql_text(r, QL_MAX_FLOAT_TEXT, "an 'E' item") ||
          !ql_float_text(r, &d) || !heap_room(r, 3))
        return false;
      return set_register(r, index, lv_make_float_box(w, d));
    }
    case 'F':
      if (!read_register(r, &index, "an 'F' item") || !heap_room(r, 1)) return false;
      *w->H = lv_make_ref(w->H);
      return set_register(r, index, *w->H++);
    case 'G':
      return read_register(r, &index, "a 'G' item") && set_register(r, index, LV_ATOM_NIL);
    case 'H':
      return read_register(r, &index, "an 'H' item") && set_register(r, index, lv_make_list(w->H));
    case 'I':
      return read_register(r, &index, "an 'I' item") && set_register(r, index, lv_make_struct(w->H));
    case 'J':
      return read_register(r, &index, "a 'J' item") && get_register(r, index, &t) && push_cell(r, t);
    case 'K':
      return read_block(r);
    case 'L':
      if (!read_register(r, &index, "an 'L' item") || !get_register(r, index, &t)) return false;
      if (r.block != nullptr && !ql_finish_block(r)) return false;
      if (!check_heap(r, &t)) return false;
      *out = t;
      *done = true;
      return true;
    case 'M':
    case 'N':
      if (!read_register(r, &index, "a fix-up item") || !ql_number(r, &value, "a fix-up item") ||
          !get_register(r, index, &t))
        return false;
      if (r.block == nullptr) return ql_fail(r, "$qload: a fix-up item without a code block in its term");
      if (c == 'M') {
        if (!lv_is_atomic(t)) return ql_fail(r, "$qload: a fix-up with a heap term (register %lld)", static_cast<long long>(index));
        return ql_fixup(r, value, t, QL_CONSTANT);
      } else {
        if (!predicate_spec(r, t))
          return ql_fail(r, "$qload: register %lld does not hold Name/Arity or Module:Name/Arity", static_cast<long long>(index));
        lv_pred* p = parse_definition(t, lv_typein_module());
        if (p == nullptr) return ql_fail(r, "$qload: no predicate for the fix-up");
        return ql_fixup(r, value, reinterpret_cast<uint64_t>(p), QL_PRED);
      }
    case 'd':
      return ql_text(r, QL_MAX_TEXT, "a 'd' item") && ql_text(r, QL_MAX_TEXT, "a 'd' item");
    default:
      lv_ttyprintf("quick load code = %d at position %" PRIx64 "\n", c, r.at);
      return ql_fail(r, "Unknown quick load code %d", c);
  }
}

}  // namespace

bool ql_fail(ql_reader& r, const char* format, ...) {
  char what[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(what, sizeof what, format, args);
  va_end(args);
  std::snprintf(error_message, sizeof error_message, "%s (%.900s, offset %" PRIu64 ")", what,
                r.stream != nullptr ? lv_stream_name(r.stream) : "", r.at);
  return false;
}

const char* lv_qload_error() { return error_message; }

int ql_byte(ql_reader& r, bool* error) {
  int64_t c = lv_get_byte(r.stream);
  if (c >= 0) {
    r.offset++;
    return static_cast<int>(c);
  }
  if (c != -1) {
    r.at = r.offset;
    ql_fail(r, "$qload: read error %lld", static_cast<long long>(c));
    *error = true;
  }
  return -1;
}

bool ql_text(ql_reader& r, uint64_t limit, const char* what) {
  r.text_length = 0;
  for (;;) {
    bool error = false;
    int c = ql_byte(r, &error);
    if (c < 0) return error ? false : ql_fail(r, "$qload: the file ends inside %s", what);
    grow(r.text, r.text_capacity, r.text_length + 1);
    r.text[r.text_length] = static_cast<char>(c);
    if (c == 0) return true;
    if (++r.text_length >= limit) return ql_fail(r, "$qload: a text of %s is too long", what);
  }
}

bool ql_integer_text(const char* text, uint64_t length) {
  uint64_t i = text[0] == '-' ? 1 : 0;
  if (i >= length) return false;
  for (; i < length; i++)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

bool ql_number(ql_reader& r, int64_t* value, const char* what) {
  if (!ql_text(r, 24, what)) return false;
  if (!ql_integer_text(r.text, r.text_length)) return ql_fail(r, "$qload: \"%s\" in %s is not a number", r.text, what);
  bool negative = r.text[0] == '-';
  uint64_t magnitude = 0;
  for (const char* p = r.text + (negative ? 1 : 0); *p != '\0'; p++) {
    if (__builtin_mul_overflow(magnitude, 10, &magnitude) || __builtin_add_overflow(magnitude, static_cast<uint64_t>(*p - '0'), &magnitude))
      return ql_fail(r, "$qload: number %s in %s is out of range", r.text, what);
  }
  if (magnitude > (negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1))
    return ql_fail(r, "$qload: number %s in %s is out of range", r.text, what);
  *value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

// Float text is C-locale decimal text: an optional '-', digits, an optional
// fraction and an optional exponent, read by the shared correctly rounded
// reader. Only finite values are loaded, and negative zero is refused
// (writers write 0.0 for it).
bool ql_float_text(ql_reader& r, double* value) {
  const char* end = r.text;
  bool ok = r.text[0] == '-' || (r.text[0] >= '0' && r.text[0] <= '9');
  double d = ok ? lv_text_to_double(r.text, &end) : 0;
  if (!ok || end == r.text || *end != '\0') return ql_fail(r, "$qload: \"%.40s\" is not float text", r.text);
  if (!std::isfinite(d)) return ql_fail(r, "$qload: float is not finite");
  if (d == 0 && std::signbit(d)) return ql_fail(r, "$qload: negative zero (-0.0) float");
  *value = d;
  return true;
}

int lv_qload_items(lv_worker* w, lv_stream* stream, lv_term source, lv_term* out, int live) {
  ql_reader r{};
  r.w = w;
  r.stream = stream;
  r.source = source;
  r.live = live;
  int64_t items = 0;
  LV_get_stream_counts(stream, &items, nullptr, nullptr, 0);
  r.offset = r.at = static_cast<uint64_t>(items);
  r.h0 = w->H;
  if (!lv_qload_have_registers()) {
    ql_fail(r, "$qload: no register table (none pushed)");
    return -1;
  }
  if (!lv_is_atomic(source)) {
    ql_fail(r, "$qload: the source of code blocks must be atomic");
    return -1;
  }
  // Heap words never outlive their term.
  ql_clear_heap_registers();
  for (;;) {
    r.at = r.offset;
    bool error = false;
    int c = ql_byte(r, &error);
    if (c < 0) {
      if (error) return abandon(r);
      if (!r.started) {
        release(r);
        return 0;
      }
      ql_fail(r, "$qload: the file ends inside a term");
      return abandon(r);
    }
    if (c != 0 && c != 'd') r.started = true;
    bool done = false;
    if (!read_item(r, c, out, &done)) return abandon(r);
    if (done) {
      // The blocks now belong to the term.
      r.made_count = 0;
      ql_clear_heap_registers();
      ql_clear_complete();
      release(r);
      return 1;
    }
  }
}
