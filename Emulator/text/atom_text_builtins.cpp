// The atom and number-text built-ins.
#include "text/atom_text_builtins.h"

#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "machine/bignum.h"
#include "text/number_format.h"
#include "text/number_parse.h"
#include "text/utf8.h"

namespace {

constexpr lv_term ATOM_CHARACTER_CODE = lv_predefined_atom(64);
constexpr int64_t MAX_CODE = 0x7fffffff;
constexpr int64_t MAX_CHARACTER_CODE = 0x10FFFF;
constexpr uint32_t TEXT_FLAGS = lv_mem_flags(LV_CAT_MISC);

// The list kind of a Kind argument: codes for character_code, characters for
// any other atom; false for a term that is no atom.
bool list_kind(lv_term kind, int* mode) {
  kind = lv_deref(kind);
  if (!lv_is_atom(kind)) return false;
  *mode = kind == ATOM_CHARACTER_CODE ? LV_TEXT_CODES : LV_TEXT_CHARS;
  return true;
}

// The atom of n bytes of text, or 0.
lv_term atom_of_bytes(const char* text, uint64_t n) {
  char small[256];
  char* copy = n < sizeof small ? small : static_cast<char*>(lv_mem_alloc(n + 1, TEXT_FLAGS));
  std::memcpy(copy, text, n);
  copy[n] = '\0';
  lv_term atom = lv_atom_from_text(copy, LV_ATOM_FIND_OR_CREATE);
  if (copy != small) lv_mem_free(copy, n + 1, TEXT_FLAGS);
  return atom;
}

// The atom of a complete list of the kind, or 0.
lv_term atom_of_list(lv_term list, int mode) {
  char* text = nullptr;
  if (lv_term_to_text(list, mode, &text) != 1) return 0;
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  lv_text_free(text);
  return atom;
}

// Atom (X0) and List (X1): the list of Atom's text, or Atom from the list.
int atom_list(lv_worker* w, int mode, unsigned live) {
  lv_term atom = lv_deref(w->X[0]);
  if (lv_is_atom(atom)) {
    lv_term list = lv_text_to_code_list(w, lv_atom_length(atom), lv_atom_text(atom), LV_ATOM_NIL, mode, 0, live);
    return list != 0 && cunify(w, w->X[1], list);
  }
  if (!lv_is_ref(atom)) return 0;
  atom = atom_of_list(w->X[1], mode);
  return atom != 0 && cunify(w, w->X[0], atom);
}

// A non-negative small integer or unbound: 1 with the value, 0 unbound,
// -1 otherwise.
int count_arg(lv_term t, int64_t* value) {
  t = lv_deref(t);
  if (lv_is_ref(t)) return 0;
  if (!lv_is_small(t) || lv_small_value(t) < 0) return -1;
  *value = lv_small_value(t);
  return 1;
}

bool bind_count(lv_worker* w, lv_term arg, int64_t value) { return cunify(w, arg, lv_make_small(value)) != 0; }

}  // namespace

int prolog_atom_codes(lv_worker* w) { return atom_list(w, LV_TEXT_CODES, 2); }

int prolog_atom_elems(lv_worker* w) {
  int mode = 0;
  if (!list_kind(w->X[2], &mode)) return 0;
  return atom_list(w, mode, 3);
}

int prolog_number_elems(lv_worker* w) {
  int mode = 0;
  if (!list_kind(w->X[2], &mode)) return 0;
  char* text = nullptr;
  int complete = lv_term_to_text(w->X[1], mode, &text);
  if (complete == 1) {
    int error = 0;
    lv_term number = lv_parse_number(w, text, 10, 0, 0, 3, 0, &error);
    lv_text_free(text);
    return number != 0 && cunify(w, w->X[0], number);
  }
  if (complete != 0 || !lv_is_number(lv_deref(w->X[0]))) return 0;
  text = lv_number_to_text(w->X[0], 10, LV_DEFAULT_FLOAT_LETTER, LV_DEFAULT_FLOAT_PRECISION, 0);
  lv_term list = lv_text_to_code_list(w, std::strlen(text), text, LV_ATOM_NIL, mode, 0, 3);
  LV_free(text);
  return list != 0 && cunify(w, w->X[1], list);
}

int prolog_number_from_elems(lv_worker* w) {
  int mode = 0;
  if (!list_kind(w->X[3], &mode)) return 0;
  char* text = nullptr;
  if (lv_term_to_text(w->X[0], mode, &text) != 1) return cunify(w, w->X[2], lv_make_small(-3));
  int error = 0;
  lv_term number = lv_parse_number(w, text, 10, 0, 0, 4, 0, &error);
  lv_text_free(text);
  if (number != 0) return cunify(w, w->X[1], number) && cunify(w, w->X[2], lv_make_small(1));
  int64_t status = error == LV_NUMBER_OUT_OF_RANGE ? -1 : error == LV_NUMBER_TOO_LARGE ? -4 : -2;
  return cunify(w, w->X[2], lv_make_small(status));
}

int prolog_text_list_valid(lv_worker* w) {
  int mode = 0;
  if (!list_kind(w->X[1], &mode)) return 0;
  lv_term tail;
  if (lv_list_length_tail(w->X[0], &tail) < 0 || tail != LV_ATOM_NIL) return 0;
  for (lv_term t = lv_deref(w->X[0]); lv_is_list(t); t = lv_deref(lv_list_cells(t)[1])) {
    lv_term e = lv_deref(lv_list_cells(t)[0]);
    if (mode == LV_TEXT_CHARS) {
      if (!lv_is_atom(e) || lv_atom_code(e) < 0) return 0;
    } else if (!lv_is_small(e) || lv_small_value(e) < 0 || lv_small_value(e) > MAX_CHARACTER_CODE) {
      return 0;
    }
  }
  return 1;
}

int prolog_atom_length(lv_worker* w) {
  lv_term atom = lv_deref(w->X[0]);
  lv_term length = lv_deref(w->X[1]);
  if (!lv_is_atom(atom)) return 0;
  bool length_ok = lv_is_ref(length) || (lv_is_small(length) && lv_small_value(length) >= 0) ||
                   (lv_is_integer_box(length) && lv_bignum_fits_uint64(lv_struct_cells(length)));
  if (!length_ok) return 0;
  const char* text = lv_atom_text(atom);
  return bind_count(w, w->X[2], static_cast<int64_t>(lv_utf8_count(text, text + lv_atom_length(atom))));
}

int prolog_atom_concat(lv_worker* w) {
  lv_term a = lv_deref(w->X[0]);
  lv_term b = lv_deref(w->X[1]);
  lv_term c = lv_deref(w->X[2]);
  if (lv_is_atom(a) && lv_is_atom(b)) {
    uint64_t na = lv_atom_length(a);
    uint64_t nb = lv_atom_length(b);
    if (lv_is_atom(c)) {
      const char* tc = lv_atom_text(c);
      return lv_atom_length(c) == na + nb && std::memcmp(tc, lv_atom_text(a), na) == 0 &&
             std::memcmp(tc + na, lv_atom_text(b), nb) == 0;
    }
    if (!lv_is_ref(c)) return 0;
    uint32_t flags = lv_mem_flags(LV_CAT_MISC);
    char* text = static_cast<char*>(lv_mem_alloc(na + nb + 1, flags));
    std::memcpy(text, lv_atom_text(a), na);
    std::memcpy(text + na, lv_atom_text(b), nb + 1);
    lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
    lv_mem_free(text, na + nb + 1, flags);
    return atom != 0 && cunify(w, c, atom);
  }
  if (!lv_is_atom(c)) return 0;
  const char* tc = lv_atom_text(c);
  uint64_t nc = lv_atom_length(c);
  if (lv_is_ref(a) && lv_is_atom(b)) {
    uint64_t nb = lv_atom_length(b);
    if (nb > nc || std::memcmp(tc + nc - nb, lv_atom_text(b), nb) != 0) return 0;
    lv_term prefix = atom_of_bytes(tc, nc - nb);
    return prefix != 0 && cunify(w, a, prefix);
  }
  if (lv_is_atom(a) && lv_is_ref(b)) {
    uint64_t na = lv_atom_length(a);
    if (na > nc || std::memcmp(tc, lv_atom_text(a), na) != 0) return 0;
    lv_term rest = atom_of_bytes(tc + na, nc - na);
    return rest != 0 && cunify(w, b, rest);
  }
  return 0;
}

int prolog_sub_atom(lv_worker* w) {
  lv_term atom = lv_deref(w->X[0]);
  if (!lv_is_atom(atom)) return 0;
  int64_t v[3] = {0, 0, 0};  // Before, Length, After
  int known[3];
  for (int i = 0; i < 3; i++)
    if ((known[i] = count_arg(w->X[1 + i], &v[i])) < 0) return 0;
  lv_term sub = lv_deref(w->X[4]);
  if (!lv_is_ref(sub) && !lv_is_atom(sub)) return 0;
  const char* text = lv_atom_text(atom);
  const char* end = text + lv_atom_length(atom);
  int64_t n = static_cast<int64_t>(lv_utf8_count(text, end));
  if (lv_is_atom(sub) && !known[1]) {
    const char* s = lv_atom_text(sub);
    v[1] = static_cast<int64_t>(lv_utf8_count(s, s + lv_atom_length(sub)));
    known[1] = 1;
  }
  // The one unknown, if any, from the other two; a second unknown or a
  // negative value has no answer here.
  int unknown = -1;
  for (int i = 0; i < 3; i++) {
    if (known[i]) continue;
    if (unknown >= 0) return 0;
    unknown = i;
  }
  if (unknown >= 0) {
    v[unknown] = n - v[(unknown + 1) % 3] - v[(unknown + 2) % 3];
    if (v[unknown] < 0) return 0;
  }
  if (v[0] > n || v[1] > n - v[0] || v[2] != n - v[0] - v[1]) return 0;
  const char* start = lv_utf8_skip(text, end, static_cast<uint64_t>(v[0]));
  const char* stop = start != nullptr ? lv_utf8_skip(start, end, static_cast<uint64_t>(v[1])) : nullptr;
  if (stop == nullptr) return 0;
  if (v[2] == 0) stop = end;
  uint64_t bytes = static_cast<uint64_t>(stop - start);
  if (lv_is_atom(sub)) {
    if (lv_atom_length(sub) != bytes || std::memcmp(lv_atom_text(sub), start, bytes) != 0) return 0;
  } else {
    lv_term made = atom_of_bytes(start, bytes);
    if (made == 0 || !cunify(w, w->X[4], made)) return 0;
  }
  for (int i = 0; i < 3; i++)
    if (lv_is_ref(lv_deref(w->X[1 + i])) && !bind_count(w, w->X[1 + i], v[i])) return 0;
  return 1;
}

int prolog_char_code(lv_worker* w) {
  lv_term c = lv_deref(w->X[0]);
  lv_term code = lv_deref(w->X[1]);
  bool code_bound = !lv_is_ref(code);
  if (code_bound && !(lv_is_small(code) && lv_small_value(code) >= 0 && lv_small_value(code) <= MAX_CODE)) return 0;
  if (lv_is_ref(c)) {
    if (!code_bound) return 0;
    lv_term atom = lv_code_atom(static_cast<int32_t>(lv_small_value(code)));
    return atom != 0 && cunify(w, w->X[2], atom) && cunify(w, w->X[3], code);
  }
  if (!lv_is_atom(c)) return 0;
  int32_t value = lv_atom_code(c);
  if (value < 0) return 0;
  return cunify(w, w->X[2], c) && cunify(w, w->X[3], lv_make_small(value));
}
