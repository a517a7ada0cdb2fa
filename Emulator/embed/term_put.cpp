// Building terms in term references from C. Heap room is made before the
// target and the arguments are read, since making room may move the heap.
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/bind.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/text_lists.h"
#include "embed/term_interface.h"
#include "embed/term_ref_access.h"
#include "machine/bignum.h"
#include "text/number_parse.h"
#include "text/utf8.h"

namespace {

constexpr int MAX_ARITY = 255;

void set(lv_worker* w, lv_term_ref t, lv_term value) { lv_term_ref_cell(w, t) = value; }

// Stores an argument in a new cell. A variable that does not live on the
// heap below the cell (one in the term-reference array or on the local
// stack) is bound to the cell, which becomes a fresh variable: no heap cell
// may point into the term-reference array or the local stack.
void store_arg(lv_worker* w, lv_term* cell, lv_term value) {
  value = lv_deref(value);
  if (lv_is_ref(value)) {
    lv_term* var = lv_ref_cell(value);
    if (!(var >= w->area_start && var < cell)) {
      *cell = lv_make_ref(cell);
      if (lv_is_bindable_cell(w, var))
        lv_bind(w, var, *cell);
      else
        *var = *cell;
      return;
    }
  }
  *cell = value;
}

// A name and arity that a compound may be built from: 1, or 0 with the error.
int check_functor(lv_term name, int arity) {
  if (!lv_is_atom(name) || name >= (lv_term{1} << 55) || !lv_atom_live(name)) {
    lv_set_api_error(LV_ERR_WRONG_TYPE);
    return 0;
  }
  if (arity < 0 || arity > MAX_ARITY) {
    lv_set_api_error(LV_ERR_BAD_VALUE);
    return 0;
  }
  lv_term f = lv_make_functor(name, static_cast<unsigned>(arity));
  if (f == LV_FUNCTOR_ARRAY1D_2 || f == LV_FUNCTOR_MUTABLE_2) {
    lv_set_api_error(LV_ERR_BAD_VALUE);
    return 0;
  }
  return 1;
}

// Builds name(args...) (a list cell for '.'/2) from term references that
// have been checked; get(i) answers argument i's reference.
template <typename Args>
int cons(lv_term_ref t, lv_term name, int arity, Args get) {
  lv_worker* w = get_current_worker();
  if (arity == 0) {
    set(w, t, name);
    return 1;
  }
  lv_heap_room(w, arity + 1, 0);
  lv_term* h = w->H;
  lv_term result;
  if (lv_make_functor(name, 2) == LV_FUNCTOR_DOT_2 && arity == 2) {
    w->H = h + 2;
    store_arg(w, &h[0], lv_term_ref_cell(w, get(0)));
    store_arg(w, &h[1], lv_term_ref_cell(w, get(1)));
    result = lv_make_list(h);
  } else {
    w->H = h + arity + 1;
    h[0] = lv_make_functor(name, static_cast<unsigned>(arity));
    for (int i = 0; i < arity; i++) store_arg(w, &h[i + 1], lv_term_ref_cell(w, get(i)));
    result = lv_make_struct(h);
  }
  set(w, t, result);
  return 1;
}

}  // namespace

int LV_put_variable(lv_term_ref t) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_worker* w = get_current_worker();
  lv_heap_room(w, 1, 0);
  lv_term* v = w->H++;
  *v = lv_make_ref(v);
  set(w, t, *v);
  return 1;
}

int LV_put_term(lv_term_ref t, lv_term_ref source) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(source)) return 0;
  lv_worker* w = get_current_worker();
  set(w, t, lv_term_ref_cell(w, source));
  return 1;
}

int LV_put_integer(lv_term_ref t, int64_t value) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_worker* w = get_current_worker();
  if (lv_fits_small(value)) {
    set(w, t, lv_make_small(value));
    return 1;
  }
  lv_heap_room(w, 3, 0);
  set(w, t, lv_make_integer_box(w, value));
  return 1;
}

int LV_put_address(lv_term_ref t, void* pointer) {
  return LV_put_integer(t, static_cast<int64_t>(reinterpret_cast<uintptr_t>(pointer)));
}

int LV_put_float(lv_term_ref t, double value) {
  if (!lv_term_ref_valid(t)) return 0;
  if (!std::isfinite(value)) {
    lv_set_api_error(LV_ERR_BAD_VALUE);
    return 0;
  }
  lv_worker* w = get_current_worker();
  lv_heap_room(w, 4, 0);
  set(w, t, lv_make_float_box(w, value));
  return 1;
}

int LV_put_atom(lv_term_ref t, lv_term atom) {
  if (!lv_term_ref_valid(t)) return 0;
  // Only the word of a live atom: any other word would be read as one later.
  if (!lv_is_atom(atom) || atom >= (lv_term{1} << 55) || !lv_atom_live(atom)) {
    lv_set_api_error(LV_ERR_WRONG_TYPE);
    return 0;
  }
  set(get_current_worker(), t, atom);
  return 1;
}

int LV_put_string(lv_term_ref t, const char* text) {
  if (!lv_term_ref_valid(t)) return 0;
  if (text == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  if (atom == 0) {
    lv_set_api_error(LV_ERR_NO_ATOM);
    return 0;
  }
  set(get_current_worker(), t, atom);
  return 1;
}

int LV_put_list_n_codes(lv_term_ref t, lv_term_ref tail, size_t length, const char* text) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(tail)) return 0;
  if (text == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  // The text must be whole UTF-8 characters without a NUL byte.
  if (std::memchr(text, 0, length) != nullptr) {
    lv_set_api_error(LV_ERR_NO_ATOM);
    return 0;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  while (p < end) {
    const unsigned char* at = p;
    // A malformed sequence reads as 128 taking one byte.
    if (lv_utf8_next(p, end) == 128 && p == at + 1) {
      lv_set_api_error(LV_ERR_NO_ATOM);
      return 0;
    }
  }
  lv_worker* w = get_current_worker();
  lv_term list = lv_text_to_code_list(w, length, text, lv_term_ref_cell(w, tail), LV_TEXT_CODES, 0, 0);
  if (list == 0) {
    lv_set_api_error(LV_ERR_NO_ATOM);
    return 0;
  }
  set(w, t, list);
  return 1;
}

int LV_put_list_codes(lv_term_ref t, lv_term_ref tail, const char* text) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(tail)) return 0;
  if (text == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  return LV_put_list_n_codes(t, tail, std::strlen(text), text);
}

int LV_put_list_n_bytes(lv_term_ref t, lv_term_ref tail, size_t length, const unsigned char* bytes) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(tail)) return 0;
  if (bytes == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  lv_worker* w = get_current_worker();
  set(w, t, lv_bytes_to_list(w, length, bytes, lv_term_ref_cell(w, tail), 0, 0));
  return 1;
}

int LV_put_number_codes(lv_term_ref t, const char* text) {
  if (!lv_term_ref_valid(t)) return 0;
  if (text == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  lv_worker* w = get_current_worker();
  int error = 0;
  lv_term number = lv_parse_number(w, text, 10, 0, 0, 0, 0, &error);
  if (number == 0) {
    lv_set_api_error(LV_ERR_BAD_NUMBER);
    return 0;
  }
  set(w, t, number);
  return 1;
}

int LV_put_functor(lv_term_ref t, lv_term name, int arity) {
  if (!lv_term_ref_valid(t)) return 0;
  if (!check_functor(name, arity)) return 0;
  lv_worker* w = get_current_worker();
  if (arity == 0) {
    set(w, t, name);
    return 1;
  }
  lv_heap_room(w, arity + 1, 0);
  lv_term word = lv_make_functor(name, static_cast<unsigned>(arity));
  set(w, t, lv_make_skeleton(w, word));
  return 1;
}

int LV_put_list(lv_term_ref t) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_worker* w = get_current_worker();
  lv_heap_room(w, 2, 0);
  set(w, t, lv_make_skeleton(w, LV_FUNCTOR_DOT_2));
  return 1;
}

int LV_cons_functor_array(lv_term_ref t, lv_term name, int arity, const lv_term_ref* args) {
  if (!lv_term_ref_valid(t)) return 0;
  if (!check_functor(name, arity)) return 0;
  if (arity > 0 && args == nullptr) {
    lv_set_api_error(LV_ERR_INVALID_TERM_REF);
    return 0;
  }
  for (int i = 0; i < arity; i++)
    if (!lv_term_ref_valid(args[i])) return 0;
  return cons(t, name, arity, [args](int i) { return args[i]; });
}

int LV_cons_functor(lv_term_ref t, lv_term name, int arity, ...) {
  va_list ap;
  va_start(ap, arity);
  int result = LV_cons_functor_va(t, name, arity, ap);
  va_end(ap);
  return result;
}

int LV_cons_functor_va(lv_term_ref t, lv_term name, int arity, va_list ap) {
  if (!lv_term_ref_valid(t)) return 0;
  if (!check_functor(name, arity)) return 0;
  lv_term_ref args[MAX_ARITY];
  for (int i = 0; i < arity; i++) args[i] = va_arg(ap, lv_term_ref);
  for (int i = 0; i < arity; i++)
    if (!lv_term_ref_valid(args[i])) return 0;
  return cons(t, name, arity, [&args](int i) { return args[i]; });
}

int LV_cons_list(lv_term_ref t, lv_term_ref head, lv_term_ref tail) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(head) || !lv_term_ref_valid(tail)) return 0;
  lv_term_ref args[2] = {head, tail};
  return cons(t, LV_ATOM_DOT, 2, [&args](int i) { return args[i]; });
}

int LV_put_integer_bytes(lv_term_ref t, const void* buffer, size_t count, int native) {
  if (!lv_term_ref_valid(t)) return 0;
  if (native && count != 2 && count != 4 && count != 8) {
    lv_set_api_error(LV_ERR_INVALID_TERM_REF);
    return 0;
  }
  if (buffer == nullptr && count > 0) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  // A native integer is already little-endian two's complement here.
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  if (count == 0) return LV_put_integer(t, 0);
  uint8_t sign = (bytes[count - 1] & 0x80) ? 0xFF : 0x00;
  // Drop leading bytes that only repeat the sign.
  size_t n = count;
  while (n > 1 && bytes[n - 1] == sign && ((bytes[n - 2] & 0x80) != 0) == (sign != 0)) n--;
  if (n <= 8) {
    uint64_t v = sign ? ~uint64_t{0} : 0;
    for (size_t i = 0; i < n; i++) {
      v &= ~(uint64_t{0xFF} << (8 * i));
      v |= uint64_t{bytes[i]} << (8 * i);
    }
    return LV_put_integer(t, static_cast<int64_t>(v));
  }
  lv_worker* w = get_current_worker();
  int64_t need = static_cast<int64_t>(n / 8) + 4;
  for (int attempt = 0;; attempt++) {
    if (need > (int64_t{1} << 40)) break;
    lv_heap_room(w, need, 0);
    int32_t result = lv_bignum_from_bytes(bytes, n, w->H, w->heap_hard_limit);
    if (result == 0) {
      lv_term* end = nullptr;
      lv_term number = lv_bignum_result_term(w->H, &end);
      w->H = end;
      set(w, t, number);
      return 1;
    }
    if (result < 0 || attempt == 2) break;
    need = result;
  }
  lv_set_api_error(LV_ERR_NO_MEMORY);
  return 0;
}
