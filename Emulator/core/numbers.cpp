// Numbers on the heap.
#include "core/numbers.h"

#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "machine/bignum.h"

lv_term lv_make_integer_box(lv_worker* w, int64_t value) {
  lv_term* h = w->H;
  h[0] = LV_BOX_INT1;
  h[1] = static_cast<lv_term>(value);
  h[2] = LV_BOX_INT1;
  w->H = h + 3;
  return lv_make_struct(h);
}

lv_term lv_make_integer(lv_worker* w, int64_t value) {
  return lv_fits_small(value) ? lv_make_small(value) : lv_make_integer_box(w, value);
}

lv_term lv_make_float_box(lv_worker* w, double value) {
  lv_term* h = w->H;
  h[0] = LV_BOX_FLOAT;
  h[1] = lv_canonical_float_bits(value);
  h[2] = LV_BOX_FLOAT;
  w->H = h + 3;
  return lv_make_struct(h);
}

lv_term lv_copy_number_box(lv_worker* w, const lv_term* header) {
  uint64_t n = lv_box_value_words(header[0]);
  lv_term* h = w->H;
  std::memcpy(h, header, (n + 1) * sizeof(lv_term));
  h[n + 1] = header[0];
  w->H = h + n + 2;
  return lv_make_struct(h);
}

lv_term lv_make_skeleton(lv_worker* w, lv_term word) {
  lv_term* h = w->H;
  if (word == LV_FUNCTOR_DOT_2) {
    h[0] = lv_make_ref(&h[0]);
    h[1] = lv_make_ref(&h[1]);
    w->H = h + 2;
    return lv_make_list(h);
  }
  if (!lv_is_functor_word(word)) return word;
  unsigned arity = lv_functor_arity(word);
  h[0] = word;
  for (unsigned i = 1; i <= arity; i++) h[i] = lv_make_ref(&h[i]);
  w->H = h + arity + 1;
  return lv_make_struct(h);
}

double lv_float_value(lv_term float_box) { return lv_double_from_bits(lv_struct_cells(float_box)[1]); }

double lv_number_to_double(lv_term box) {
  const lv_term* cells = lv_struct_cells(box);
  if (lv_box_is_float(cells[0])) return lv_double_from_bits(cells[1]);
  return lv_bignum_to_double(cells);
}

char* lv_str_concat(const char* const* texts) {
  size_t length = 0;
  for (const char* const* t = texts; *t != nullptr; t++) length += std::strlen(*t);
  char* result = static_cast<char*>(lv_mem_alloc(length + 1, lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL)));
  if (result == nullptr) return nullptr;
  char* p = result;
  for (const char* const* t = texts; *t != nullptr; t++) {
    size_t n = std::strlen(*t);
    std::memcpy(p, *t, n);
    p += n;
  }
  *p = '\0';
  return result;
}
