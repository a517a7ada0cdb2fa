// Reading terms held in term references from C, and their kinds.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/numstack.h"
#include "core/predefined_atoms.h"
#include "core/text_lists.h"
#include "embed/term_interface.h"
#include "embed/term_ref_access.h"
#include "lvio/result_codes.h"
#include "machine/bignum.h"
#include "text/float_text.h"

namespace {

int wrong_type() {
  lv_set_api_error(LV_ERR_WRONG_TYPE);
  return 0;
}

bool is_one_word_integer_box(lv_term x) { return lv_is_integer_box(x) && *lv_struct_cells(x) == LV_BOX_INT1; }

// A copy of a text on the number stack, valid until the stack is trimmed.
const char* scratch_copy(const char* text, size_t length) {
  lv_worker* w = get_current_worker();
  int64_t words = static_cast<int64_t>(length / 8 + 1);
  lv_numstack_reserve(w, words);
  char* copy = reinterpret_cast<char*>(w->numstack_top);
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  w->numstack_top += words;
  return copy;
}

// The significant bytes of a value, the sign byte included.
size_t significant_bytes(int64_t v) {
  size_t n = 1;
  while (n < 8 && !(v >= -(int64_t{1} << (8 * n - 1)) && v < (int64_t{1} << (8 * n - 1)))) n++;
  return n;
}

}  // namespace

lv_term lv_ref_term(lv_term_ref t) {
  if (!lv_term_ref_valid(t)) return lv_atom_from_text("$invalid_ref", LV_ATOM_FIND_OR_CREATE);
  return lv_term_ref_cell(get_current_worker(), t);
}

int LV_get_integer(lv_term_ref t, int64_t* value) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term x = lv_term_ref_value(t);
  if (lv_is_small(x)) {
    *value = lv_small_value(x);
    return 1;
  }
  if (is_one_word_integer_box(x)) {
    *value = static_cast<int64_t>(lv_struct_cells(x)[1]);
    return 1;
  }
  if (lv_is_float_box(x)) {
    double d = lv_float_value(x);
    if (d > -9223372036854775808.0 && d < 9223372036854775808.0) {
      *value = static_cast<int64_t>(d);
      return 1;
    }
  }
  return wrong_type();
}

int LV_get_address(lv_term_ref t, void** pointer) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term x = lv_term_ref_value(t);
  int64_t v;
  if (lv_is_small(x))
    v = lv_small_value(x);
  else if (is_one_word_integer_box(x))
    v = static_cast<int64_t>(lv_struct_cells(x)[1]);
  else
    return wrong_type();
  *pointer = reinterpret_cast<void*>(static_cast<uintptr_t>(v));
  return 1;
}

int LV_get_float(lv_term_ref t, double* value) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term x = lv_term_ref_value(t);
  double d;
  if (lv_is_small(x))
    d = static_cast<double>(lv_small_value(x));
  else if (lv_is_box(x))
    d = lv_number_to_double(x);
  else
    return wrong_type();
  if (d == 0.0) d = 0.0;
  *value = d;
  if (!std::isfinite(d)) {
    lv_set_api_error(LV_ERR_BAD_VALUE);
    return 0;
  }
  return 1;
}

int LV_get_atom(lv_term_ref t, lv_term* atom) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term x = lv_term_ref_value(t);
  if (!lv_is_atom(x)) return wrong_type();
  *atom = x;
  return 1;
}

int LV_get_string(lv_term_ref t, const char** text) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term x = lv_term_ref_value(t);
  if (!lv_is_atom(x)) return wrong_type();
  *text = lv_atom_text(x);
  return 1;
}

int LV_get_list_codes(lv_term_ref t, const char** text) {
  if (!lv_term_ref_valid(t)) return 0;
  char* whole = nullptr;
  if (lv_term_to_text(lv_term_ref_value(t), LV_TEXT_CODES, &whole) != 1) return wrong_type();
  *text = scratch_copy(whole, std::strlen(whole));
  lv_text_free(whole);
  return 1;
}

int LV_get_number_codes(lv_term_ref t, const char** text) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term x = lv_term_ref_value(t);
  char buffer[64];
  if (lv_is_small(x)) {
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(lv_small_value(x)));
  } else if (lv_is_float_box(x)) {
    lv_float_text(lv_float_value(x), buffer, sizeof buffer);
  } else if (lv_is_integer_box(x)) {
    char* digits = lv_bignum_to_text(lv_struct_cells(x), 10, 0);
    if (digits == nullptr) {
      lv_set_api_error(LV_ERR_NO_MEMORY);
      return 0;
    }
    *text = scratch_copy(digits, std::strlen(digits));
    LV_free(digits);
    return 1;
  } else {
    return wrong_type();
  }
  *text = scratch_copy(buffer, std::strlen(buffer));
  return 1;
}

int LV_get_list_n_codes(lv_term_ref t, lv_term_ref tail, size_t size, int* count, char* buffer) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(tail)) return 0;
  if (buffer == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  lv_term x = lv_term_ref_value(t);
  if (!lv_is_list(x) && x != LV_ATOM_NIL) return wrong_type();
  size_t written = 0;
  lv_term rest = lv_code_list_to_text(x, size, &written, buffer);
  if (rest == 0) {
    lv_set_api_error(LV_ERR_BAD_VALUE);
    return 0;
  }
  *count = static_cast<int>(written);
  lv_term_ref_cell(get_current_worker(), tail) = rest;
  return 1;
}

int LV_get_list_n_bytes(lv_term_ref t, lv_term_ref tail, size_t max, size_t* count, unsigned char* buffer) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(tail)) return 0;
  if (buffer == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  lv_term x = lv_term_ref_value(t);
  if (!lv_is_list(x) && x != LV_ATOM_NIL) return wrong_type();
  size_t n = 0;
  while (n < max && lv_is_list(x)) {
    lv_term* cell = lv_list_cells(x);
    lv_term head = lv_deref(cell[0]);
    if (!lv_is_small(head) || lv_small_value(head) < 0 || lv_small_value(head) > 255) {
      lv_set_api_error(LV_ERR_BAD_VALUE);
      return 0;
    }
    buffer[n++] = static_cast<unsigned char>(lv_small_value(head));
    x = lv_deref(cell[1]);
  }
  *count = n;
  lv_term_ref_cell(get_current_worker(), tail) = x;
  return 1;
}

int LV_get_functor(lv_term_ref t, lv_term* name, int* arity) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term found_name;
  int found_arity;
  if (lv_callable_name_arity(lv_term_ref_cell(get_current_worker(), t), &found_name, &found_arity) != 0)
    return wrong_type();
  *name = found_name;
  *arity = found_arity;
  return 1;
}

int LV_get_list(lv_term_ref t, lv_term_ref head, lv_term_ref tail) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(head) || !lv_term_ref_valid(tail)) return 0;
  lv_term x = lv_term_ref_value(t);
  if (!lv_is_list(x)) return wrong_type();
  lv_worker* w = get_current_worker();
  lv_term* cell = lv_list_cells(x);
  lv_term_ref_cell(w, head) = cell[0];
  lv_term_ref_cell(w, tail) = cell[1];
  return 1;
}

int LV_get_arg(int i, lv_term_ref t, lv_term_ref arg) {
  if (!lv_term_ref_valid(t) || !lv_term_ref_valid(arg)) return 0;
  lv_term x = lv_term_ref_value(t);
  lv_term* args;
  int arity;
  if (lv_is_list(x)) {
    args = lv_list_cells(x) - 1;
    arity = 2;
  } else if (lv_is_compound(x)) {
    args = lv_struct_cells(x);
    arity = static_cast<int>(lv_functor_arity(args[0]));
  } else {
    return wrong_type();
  }
  if (i < 1 || i > arity) {
    lv_set_api_error(LV_ERR_BAD_VALUE);
    return 0;
  }
  lv_term_ref_cell(get_current_worker(), arg) = args[i];
  return 1;
}

int64_t lv_integer_to_bytes(lv_term x, void* buffer, size_t* count, int native) {
  if (native && *count != 2 && *count != 4 && *count != 8) return LVIO_E_NOT_SUPPORTED;
  x = lv_deref(x);
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  // Little-endian two's complement is also the native layout here, so the
  // native form is the byte form filled to the buffer's size.
  if (lv_is_small(x)) {
    int64_t v = lv_small_value(x);
    size_t n = significant_bytes(v);
    size_t room = *count;
    *count = n;
    if (room < n) return LVIO_E_OUT_OF_MEMORY;
    for (size_t i = 0; i < room; i++)
      bytes[i] = i < 8 ? static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)) : (v < 0 ? 0xFF : 0);
    return 0;
  }
  if (lv_is_integer_box(x)) {
    uint64_t n = *count;
    int ok = lv_bignum_to_bytes(lv_struct_cells(x), bytes, &n);
    *count = n;
    return ok ? 0 : LVIO_E_OUT_OF_MEMORY;
  }
  return LVIO_E_PARAMETER_ERROR;
}

int lv_callable_name_arity(lv_term x, lv_term* name, int* arity) {
  x = lv_deref(x);
  if (lv_is_atom(x)) {
    *name = x;
    *arity = 0;
  } else if (lv_is_list(x)) {
    *name = LV_ATOM_DOT;
    *arity = 2;
  } else if (lv_is_compound(x)) {
    lv_term f = *lv_struct_cells(x);
    *name = lv_functor_atom(f);
    *arity = static_cast<int>(lv_functor_arity(f));
  } else {
    return LV_ERR_WRONG_TYPE;
  }
  return 0;
}

int LV_get_integer_bytes(lv_term_ref t, void* buffer, size_t* count, int native) {
  if (!lv_term_ref_valid(t)) return 0;
  if (count == nullptr || (buffer == nullptr && *count > 0)) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  switch (lv_integer_to_bytes(lv_term_ref_cell(get_current_worker(), t), buffer, count, native)) {
    case 0:
      return 1;
    case LVIO_E_NOT_SUPPORTED:
      lv_set_api_error(LV_ERR_INVALID_TERM_REF);
      return 0;
    case LVIO_E_OUT_OF_MEMORY:
      lv_set_api_error(LV_ERR_BUFFER_TOO_SMALL);
      return 0;
    default:
      return wrong_type();
  }
}

int LV_term_type(lv_term_ref t) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term x = lv_term_ref_value(t);
  if (lv_is_ref(x)) return LV_TYPE_VARIABLE;
  if (lv_is_integer(x)) return LV_TYPE_INTEGER;
  if (lv_is_atom(x)) return LV_TYPE_ATOM;
  if (lv_is_float_box(x)) return LV_TYPE_FLOAT;
  return LV_TYPE_COMPOUND;
}

#define LV_IS(name, test)                          \
  int name(lv_term_ref t) {                        \
    if (!lv_term_ref_valid(t)) return 0;           \
    lv_term x = lv_term_ref_value(t);              \
    return (test) ? 1 : 0;                         \
  }
LV_IS(LV_is_variable, lv_is_ref(x))
LV_IS(LV_is_integer, lv_is_integer(x))
LV_IS(LV_is_float, lv_is_float_box(x))
LV_IS(LV_is_atom, lv_is_atom(x))
LV_IS(LV_is_compound, lv_is_compound(x))
LV_IS(LV_is_list, lv_is_list(x))
LV_IS(LV_is_atomic, lv_is_atom(x) || lv_is_number(x))
LV_IS(LV_is_number, lv_is_number(x))
#undef LV_IS
