// Conversions between texts and lists.
#include "core/text_lists.h"

#include <cstring>

#include "core/atoms.h"
#include "core/bind.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "lvio/result_codes.h"
#include "text/utf8.h"

namespace {

constexpr uint32_t TEXT_FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr size_t FIRST_TEXT_SIZE = 64;
constexpr int64_t MAX_CODE = 0x7FFFFFFF;

int64_t walk_list(lv_term t, lv_term* tail) {
  bool cyclic = false;
  int64_t count = lv_list_walk(t, tail, &cyclic);
  return cyclic ? LV_LIST_CYCLIC : count;
}

// The code of a list element, or -1.
int64_t element_code(lv_term e, int mode) {
  e = lv_deref(e);
  if (mode == LV_TEXT_CHARS) return lv_is_atom(e) ? lv_atom_code(e) : -1;
  if (lv_is_small(e)) {
    int64_t v = lv_small_value(e);
    return v >= 0 && v <= MAX_CODE ? v : -1;
  }
  if (lv_is_integer_box(e) && lv_struct_cells(e)[0] == LV_BOX_INT1) {
    int64_t v = static_cast<int64_t>(lv_struct_cells(e)[1]);
    return v >= 0 && v <= MAX_CODE ? v : -1;
  }
  return -1;
}

// Room for cells on the heap, and an unbound local tail moved to the heap.
lv_term prepare(lv_worker* w, uint64_t cells, lv_term tail, unsigned live) {
  if (w->heap_hard_limit - w->H < static_cast<int64_t>(cells)) {
    // The tail is a root while room is made: the heap may move.
    lv_term_ref r = LV_new_term_ref();
    lv_term_ref_cell(w, r) = tail;
    call_overflow(w, static_cast<int64_t>(cells), live);
    tail = lv_term_ref_cell(w, r);
    LV_reset_term_refs(r);
  }
  tail = lv_deref(tail);
  if (lv_is_ref(tail) && lv_ref_cell(tail) >= w->H) {
    lv_term* local = lv_ref_cell(tail);
    lv_term* cell = w->H++;
    *cell = lv_make_ref(cell);
    *local = *cell;
    if (local < w->saved_local_top) lv_trail_push(w, local);
    tail = *cell;
  }
  return tail;
}

inline lv_term push_cell(lv_worker* w, lv_term head, lv_term tail) {
  lv_term* h = w->H;
  h[0] = head;
  h[1] = tail;
  w->H = h + 2;
  return lv_make_list(h);
}

}  // namespace

// Follows the tails with Brent's cycle detection: a saved cell, moved on
// whenever the steps since the last move reach the current power of two,
// which then doubles.
int64_t lv_list_walk(lv_term t, lv_term* stop, bool* cyclic) {
  t = lv_deref(t);
  int64_t count = 0;
  lv_term saved = t;
  int64_t power = 1, since = 0;
  *cyclic = false;
  while (lv_is_list(t)) {
    t = lv_deref(lv_list_cells(t)[1]);
    count++;
    if (t == saved) {
      *cyclic = true;
      break;
    }
    if (++since == power) {
      saved = t;
      power *= 2;
      since = 0;
    }
  }
  *stop = t;
  return count;
}

int64_t lv_proper_list_length(lv_term t) {
  lv_term tail;
  int64_t n = walk_list(t, &tail);
  if (n < 0) return n;
  return tail == LV_ATOM_NIL ? n : LV_LIST_NOT_A_LIST;
}

int64_t lv_list_length_tail(lv_term t, lv_term* tail) { return walk_list(t, tail); }

lv_term lv_code_atom(int32_t c) {
  if (c < 0) return 0;
  if (c < 256) return lv_one_char_atom(static_cast<uint32_t>(c));
  char text[8];
  int n = LV_code_wci(text, c);
  text[n] = '\0';
  return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
}

int32_t lv_atom_code(lv_term atom) {
  const char* text = lv_atom_text(atom);
  int32_t code = -1;
  int n = LV_wci_code(&code, text);
  if (n <= 0 || static_cast<uint64_t>(n) != lv_atom_length(atom)) return -1;
  return code;
}

int lv_term_to_text(lv_term list, int mode, char** text) {
  size_t size = FIRST_TEXT_SIZE, used = 0;
  char* buffer = static_cast<char*>(lv_mem_alloc(size, TEXT_FLAGS));
  bool checked = false;
  lv_term t = lv_deref(list);
  while (lv_is_list(t)) {
    int64_t code = element_code(lv_list_cells(t)[0], mode);
    if (code < 0) {
      lv_text_free(buffer);
      return lv_is_ref(lv_deref(lv_list_cells(t)[0])) ? 0 : -1;
    }
    if (size - used < 6) {
      if (!checked) {
        // A list long enough to grow the text might be cyclic.
        checked = true;
        lv_term tail;
        if (lv_list_length_tail(list, &tail) < 0) {
          lv_text_free(buffer);
          return -1;
        }
      }
      buffer = static_cast<char*>(lv_mem_realloc(buffer, size, size * 2, TEXT_FLAGS));
      size *= 2;
    }
    used += static_cast<size_t>(LV_code_wci(buffer + used, static_cast<int32_t>(code)));
    t = lv_deref(lv_list_cells(t)[1]);
  }
  if (t != LV_ATOM_NIL) {
    lv_text_free(buffer);
    return lv_is_ref(t) ? 0 : -1;
  }
  if (used == size) buffer = static_cast<char*>(lv_mem_realloc(buffer, size, size + 1, TEXT_FLAGS));
  buffer[used] = '\0';
  *text = buffer;
  return 1;
}

void lv_text_free(char* text) { lv_mem_free(text, 0, TEXT_FLAGS); }

lv_term lv_code_list_to_text(lv_term list, size_t room, size_t* written, char* buffer) {
  size_t used = 0;
  lv_term t = lv_deref(list);
  while (lv_is_list(t)) {
    int64_t code = element_code(lv_list_cells(t)[0], LV_TEXT_CODES);
    if (code < 0) {
      *written = used;
      return 0;
    }
    int n = LV_code_wci(nullptr, static_cast<int32_t>(code));
    if (used + static_cast<size_t>(n) > room) break;
    LV_code_wci(buffer + used, static_cast<int32_t>(code));
    used += static_cast<size_t>(n);
    t = lv_deref(lv_list_cells(t)[1]);
  }
  *written = used;
  return t;
}

int64_t lv_list_to_int_array(lv_term list, int32_t** out, unsigned flags) {
  int64_t n = lv_proper_list_length(list);
  if (n < 0) return n;
  int32_t* array = static_cast<int32_t*>(
      lv_mem_alloc(static_cast<size_t>(n) * sizeof(int32_t), lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL)));
  if (array == nullptr) return LVIO_E_OUT_OF_MEMORY;
  lv_term t = lv_deref(list);
  for (int64_t i = 0; i < n; i++) {
    lv_term e = lv_deref(lv_list_cells(t)[0]);
    int64_t v = -1;
    if ((flags & LV_INTS_INTEGERS) != 0 && lv_is_integer(e)) v = element_code(e, LV_TEXT_CODES);
    if ((flags & LV_INTS_CHARS) != 0 && lv_is_atom(e)) v = lv_atom_code(e);
    if (v < 0) {
      lv_mem_free(array, 0, TEXT_FLAGS);
      return LVIO_E_PARAMETER_ERROR;
    }
    array[i] = static_cast<int32_t>(v);
    t = lv_deref(lv_list_cells(t)[1]);
  }
  if (out != nullptr)
    *out = array;
  else
    lv_mem_free(array, 0, TEXT_FLAGS);
  return n;
}

lv_term lv_text_to_code_list(lv_worker* w, size_t n, const char* text, lv_term tail, int mode, uint64_t extra,
                             unsigned live) {
  lv_term list = prepare(w, 5 * n + extra + 1153, tail, live);
  const unsigned char* start = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* p = start + n;
  while (p > start) {
    const unsigned char* lead = p - 1;
    while (lead > start && (*lead & 0xC0) == 0x80) lead--;
    unsigned follow = lv_utf8_seq_length[*lead];
    if (follow == LV_UTF8_INVALID || lead + follow + 1 != p) return 0;
    const unsigned char* q = lead;
    int32_t code = lv_utf8_next(q, p);
    lv_term element = mode == LV_TEXT_CODES ? lv_make_small(code) : lv_code_atom(code);
    list = push_cell(w, element, list);
    p = lead;
  }
  return list;
}

lv_term lv_wide_text_to_code_list(lv_worker* w, size_t n, const int32_t* codes, lv_term tail, int mode,
                                  uint64_t extra, unsigned live) {
  lv_term list = prepare(w, 5 * n + extra + LV_HEAP_RESERVE_CELLS, tail, live);
  for (size_t i = n; i-- > 0;) {
    if (codes[i] < 0) return 0;
    lv_term element = mode == LV_TEXT_CODES ? lv_make_small(codes[i]) : lv_code_atom(codes[i]);
    list = push_cell(w, element, list);
  }
  return list;
}

lv_term lv_bytes_to_list(lv_worker* w, size_t n, const unsigned char* bytes, lv_term tail, uint64_t extra,
                         unsigned live) {
  tail = prepare(w, 2 * n + extra + LV_HEAP_RESERVE_CELLS, tail, live);
  if (n == 0) return tail;
  lv_term* h = w->H;
  for (size_t i = 0; i < n; i++) {
    h[2 * i] = lv_make_small(bytes[i]);
    h[2 * i + 1] = lv_make_list(&h[2 * i + 2]);
  }
  h[2 * n - 1] = tail;
  w->H = h + 2 * n;
  return lv_make_list(h);
}
