// The tagged term word and its helpers.
//
// A term is one 64-bit word whose low two bits are its primary tag:
//   00 reference: the address of a cell; a cell holding its own address is
//      an unbound variable
//   01 structure: the address of the structure's first cell, plus 1
//   10 list cell: the address of a (head, tail) pair, plus 2
//   11 atomic: low three bits 011 a small integer (the word shifted right
//      arithmetically by 3), 111 an atom (index << 3 | 7)
// A structure starts with a functor word (atom word | arity << 55) or, for a
// boxed number, a header with bit 63 set: (~value words) << 4 | 7 for an
// integer and | 15 for a float. On the heap a box ends with a copy of its
// header, so it can be skipped from either end.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/lv_assert.h"

typedef uint64_t lv_term;

// Primary tags.
constexpr uint64_t LV_TAG_MASK = 3;
constexpr uint64_t LV_TAG_REF = 0;
constexpr uint64_t LV_TAG_STRUCT = 1;
constexpr uint64_t LV_TAG_LIST = 2;
constexpr uint64_t LV_TAG_ATOMIC = 3;
constexpr uint64_t LV_TAG_SMALL = 3;  // low three bits
constexpr uint64_t LV_TAG_ATOM = 7;   // low three bits

constexpr int64_t LV_SMALL_MIN = -(int64_t{1} << 60);
constexpr int64_t LV_SMALL_MAX = (int64_t{1} << 60) - 1;

// The attributed-variable marker: the word just before an attributed
// variable's cell. It is never a box header.
constexpr lv_term LV_ATTVAR_MARKER = ~uint64_t{0};

inline bool lv_is_ref(lv_term t) { return (t & LV_TAG_MASK) == LV_TAG_REF; }
inline bool lv_is_struct(lv_term t) { return (t & LV_TAG_MASK) == LV_TAG_STRUCT; }
inline bool lv_is_list(lv_term t) { return (t & LV_TAG_MASK) == LV_TAG_LIST; }
inline bool lv_is_atomic(lv_term t) { return (t & LV_TAG_MASK) == LV_TAG_ATOMIC; }
inline bool lv_is_small(lv_term t) { return (t & 7) == LV_TAG_SMALL; }
inline bool lv_is_atom(lv_term t) { return (t & 7) == LV_TAG_ATOM; }

// Small integers.
inline int64_t lv_small_value(lv_term t) {
  LV_ASSERT(lv_is_small(t));
  return static_cast<int64_t>(t) >> 3;
}
inline lv_term lv_make_small(int64_t v) { return (static_cast<uint64_t>(v) << 3) | LV_TAG_SMALL; }
inline bool lv_fits_small(int64_t v) { return v >= LV_SMALL_MIN && v <= LV_SMALL_MAX; }

// Atoms.
inline lv_term lv_atom_from_index(uint64_t index) { return (index << 3) | LV_TAG_ATOM; }
inline uint64_t lv_atom_index(lv_term atom) {
  LV_ASSERT(lv_is_atom(atom));
  return atom >> 3;
}

// Cells behind pointers.
inline lv_term* lv_ref_cell(lv_term t) {
  LV_ASSERT(lv_is_ref(t));
  return reinterpret_cast<lv_term*>(t);
}
inline lv_term* lv_struct_cells(lv_term t) {
  LV_ASSERT(lv_is_struct(t));
  return reinterpret_cast<lv_term*>(t - LV_TAG_STRUCT);
}
inline lv_term* lv_list_cells(lv_term t) {
  LV_ASSERT(lv_is_list(t));
  return reinterpret_cast<lv_term*>(t - LV_TAG_LIST);
}
inline lv_term lv_make_ref(const lv_term* cell) { return reinterpret_cast<lv_term>(cell); }
inline lv_term lv_make_struct(const lv_term* cell) { return reinterpret_cast<lv_term>(cell) + LV_TAG_STRUCT; }
inline lv_term lv_make_list(const lv_term* cell) { return reinterpret_cast<lv_term>(cell) + LV_TAG_LIST; }
inline bool lv_is_unbound_cell(const lv_term* cell) { return *cell == lv_make_ref(cell); }

// Functor words.
constexpr uint64_t LV_FUNCTOR_ATOM_MASK = 0x807fffffffffffff;
inline lv_term lv_make_functor(lv_term atom, unsigned arity) { return atom | (static_cast<uint64_t>(arity) << 55); }
inline lv_term lv_functor_atom(lv_term f) { return f & LV_FUNCTOR_ATOM_MASK; }
inline unsigned lv_functor_arity(lv_term f) { return static_cast<unsigned>((f >> 55) & 0x1ff); }
// A functor word is an atom word with an arity of 1 to 255 and bit 63 clear.
inline bool lv_is_functor_word(lv_term w) {
  return (w & 7) == LV_TAG_ATOM && static_cast<int64_t>(w) >= 0 && lv_functor_arity(w) != 0;
}

// Boxed numbers.
inline lv_term lv_box_header(uint64_t value_words, bool is_float) {
  return (~value_words << 4) | (is_float ? 15 : 7);
}
constexpr lv_term LV_BOX_INT1 = static_cast<lv_term>(-25);
constexpr lv_term LV_BOX_INT2 = static_cast<lv_term>(-41);
constexpr lv_term LV_BOX_FLOAT = static_cast<lv_term>(-17);
inline bool lv_is_box_header(lv_term w) { return static_cast<int64_t>(w) < 0; }
inline bool lv_box_is_float(lv_term header) { return (header & 8) != 0; }
// Value words of a box: ~(header >> 4) with an arithmetic shift.
inline uint64_t lv_box_value_words(lv_term header) {
  return static_cast<uint64_t>(~(static_cast<int64_t>(header) >> 4));
}
// Two boxes with the same header: their value words compared from the last
// to the first (the high limb of an integer differs first, if at all).
inline bool lv_box_values_equal(const lv_term* a, const lv_term* b) {
  for (uint64_t i = lv_box_value_words(a[0]); i != 0; i--)
    if (a[i] != b[i]) return false;
  return true;
}
inline bool lv_is_box(lv_term t) { return lv_is_struct(t) && lv_is_box_header(*lv_struct_cells(t)); }
inline bool lv_is_float_box(lv_term t) { return lv_is_box(t) && lv_box_is_float(*lv_struct_cells(t)); }
inline bool lv_is_integer_box(lv_term t) { return lv_is_box(t) && !lv_box_is_float(*lv_struct_cells(t)); }
inline bool lv_is_compound(lv_term t) { return lv_is_list(t) || (lv_is_struct(t) && !lv_is_box_header(*lv_struct_cells(t))); }
inline bool lv_is_number(lv_term t) { return lv_is_small(t) || lv_is_box(t); }
inline bool lv_is_integer(lv_term t) { return lv_is_small(t) || lv_is_integer_box(t); }

// Floats are stored with one NaN and without -0.0.
constexpr uint64_t LV_CANONICAL_NAN = 0xfff8000000000000;
constexpr uint64_t LV_PLUS_INFINITY = 0x7ff0000000000000;
constexpr uint64_t LV_MINUS_INFINITY = 0xfff0000000000000;
inline uint64_t lv_canonical_float_bits(double d) {
  if (d != d) return LV_CANONICAL_NAN;
  if (d == 0.0) return 0;
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}
inline double lv_double_from_bits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Dereferencing: follows reference chains to an unbound variable (whose
// address is returned as a reference) or to a non-reference word.
inline lv_term lv_deref(lv_term t) {
  while (lv_is_ref(t)) {
    lv_term v = *lv_ref_cell(t);
    if (v == t) return t;
    t = v;
  }
  return t;
}

// Accessors of the support table; they make no checks.
inline int64_t GetSmall_checked(lv_term t) { return lv_small_value(t); }
inline int32_t GetSmall_int_checked(lv_term t) { return static_cast<int32_t>(lv_small_value(t)); }
inline uint32_t GetSmall_uint_checked(lv_term t) { return static_cast<uint32_t>(lv_small_value(t)); }
inline int32_t GetSmall_int_range_checked(lv_term t) { return static_cast<int32_t>(lv_small_value(t)); }
inline lv_term MakeSmall_checked(int64_t v) { return lv_make_small(v); }
inline int64_t LargeArity_checked(lv_term header) { return -(static_cast<int64_t>(header) >> 4); }
inline void* TermToPointer_checked(lv_term t) { return reinterpret_cast<void*>(t - 3); }
// A machine address carried as an atomic term (it reads as address / 8).
inline lv_term lv_pointer_to_term(const void* p) { return reinterpret_cast<lv_term>(p) | 3; }
