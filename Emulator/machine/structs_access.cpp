// Foreign-memory access: GET kinds unify X2 (X1 for the functor) with what
// the memory holds, PUT kinds store X2.
#include "machine/structs_access.h"

#include <cmath>
#include <cstring>

#include "core/atoms.h"
#include "core/bind.h"
#include "core/numbers.h"
#include "core/unify.h"
#include "machine/emulator_errors.h"
#include "machine/instructions.h"

namespace {

enum class shape { functor, atom, string, sint, uint, real, put_atom, put_string, put_sint, put_uint, put_real };

struct access {
  shape what;
  unsigned bytes;
  int32_t error;  // PUT: the code raised for a value out of range
};

// Indexed by kind - 22.
constexpr access accesses[] = {
    {shape::functor, 8, 0},
    {shape::atom, 8, 0},
    {shape::string, 8, 0},
    {shape::sint, 8, 0},
    {shape::sint, 8, 0},
    {shape::sint, 4, 0},
    {shape::sint, 2, 0},
    {shape::sint, 1, 0},
    {shape::uint, 8, 0},
    {shape::uint, 8, 0},
    {shape::uint, 4, 0},
    {shape::uint, 2, 0},
    {shape::uint, 1, 0},
    {shape::real, 8, 0},
    {shape::real, 4, 0},
    {shape::put_atom, 8, LV_ERROR_NOT_AN_ATOM},
    {shape::put_string, 8, LV_ERROR_NOT_AN_ATOM},
    {shape::put_sint, 8, LV_ERROR_INT64_RANGE},
    {shape::put_sint, 8, LV_ERROR_INT64_RANGE},
    {shape::put_sint, 4, LV_ERROR_INT32_RANGE},
    {shape::put_sint, 2, LV_ERROR_INT16_RANGE},
    {shape::put_sint, 1, LV_ERROR_INT8_RANGE},
    {shape::put_uint, 8, LV_ERROR_UINT64_RANGE},
    {shape::put_uint, 8, LV_ERROR_UINT64_RANGE},
    {shape::put_uint, 4, LV_ERROR_UINT32_RANGE},
    {shape::put_uint, 2, LV_ERROR_UINT16_RANGE},
    {shape::put_uint, 1, LV_ERROR_UINT8_RANGE},
    {shape::put_real, 8, LV_ERROR_NOT_A_NUMBER},
    {shape::put_real, 4, LV_ERROR_NOT_A_NUMBER},
};
static_assert(sizeof accesses / sizeof accesses[0] == LV_KIND_STRUCTS_PUT_FLOAT_32 - LV_KIND_STRUCTS_GET_FUNCTOR + 1);

// An integer of one word: a small integer or a box of one value word.
bool one_word_integer(lv_term t, int64_t* value) {
  if (lv_is_small(t)) {
    *value = lv_small_value(t);
    return true;
  }
  if (lv_is_struct(t) && *lv_struct_cells(t) == LV_BOX_INT1) {
    *value = static_cast<int64_t>(lv_struct_cells(t)[1]);
    return true;
  }
  return false;
}

// An integer that fits 64 unsigned bits: non-negative one-word, or two value
// words whose high word is 0.
bool unsigned_integer(lv_term t, uint64_t* value) {
  int64_t v;
  if (one_word_integer(t, &v)) {
    *value = static_cast<uint64_t>(v);
    return v >= 0;
  }
  if (lv_is_struct(t) && *lv_struct_cells(t) == LV_BOX_INT2 && lv_struct_cells(t)[2] == 0) {
    *value = lv_struct_cells(t)[1];
    return true;
  }
  return false;
}

// Binds an unbound term or compares a bound one, word for word.
int unify_word(lv_worker* w, lv_term x, lv_term word) {
  x = lv_deref(x);
  if (lv_is_ref(x)) {
    lv_bind(w, lv_ref_cell(x), word);
    return 1;
  }
  return x == word ? 1 : 0;
}

// An unsigned value of 64 bits as an integer term: two value words when its
// top bit is set.
lv_term make_unsigned(lv_worker* w, uint64_t v) {
  if (static_cast<int64_t>(v) >= 0) return lv_make_integer(w, static_cast<int64_t>(v));
  lv_term* h = w->H;
  h[0] = LV_BOX_INT2;
  h[1] = v;
  h[2] = 0;
  h[3] = LV_BOX_INT2;
  w->H = h + 4;
  return lv_make_struct(h);
}

int64_t load_signed(const void* at, unsigned bytes) {
  switch (bytes) {
    case 1: return *static_cast<const int8_t*>(at);
    case 2: { int16_t v; std::memcpy(&v, at, 2); return v; }
    case 4: { int32_t v; std::memcpy(&v, at, 4); return v; }
    default: { int64_t v; std::memcpy(&v, at, 8); return v; }
  }
}

uint64_t load_unsigned(const void* at, unsigned bytes) {
  uint64_t v = 0;
  std::memcpy(&v, at, bytes);  // little-endian
  return v;
}

void store_bits(void* at, uint64_t v, unsigned bytes) { std::memcpy(at, &v, bytes); }

bool fits_signed(int64_t v, unsigned bytes) {
  if (bytes == 8) return true;
  int64_t limit = int64_t{1} << (8 * bytes - 1);
  return v >= -limit && v < limit;
}

int get_functor(lv_worker* w, const lv_pred* pred) {
  lv_term x0 = lv_deref(w->X[0]);
  uint64_t address;
  if (lv_is_small(x0))
    address = static_cast<uint64_t>(lv_small_value(x0));
  else if (lv_is_box(x0))
    address = lv_struct_cells(x0)[1];
  else
    return lv_raise_in_predicate(w, LV_ERROR_NOT_A_NUMBER, pred, 1, x0);
  lv_term word;
  std::memcpy(&word, reinterpret_cast<const char*>(address) - 8, sizeof word);
  return unify_word(w, w->X[1], word);
}

}  // namespace

int lv_structs_access(lv_worker* w, const lv_pred* pred, uint32_t kind) {
  const access& a = accesses[kind - LV_KIND_STRUCTS_GET_FUNCTOR];
  if (a.what == shape::functor) return get_functor(w, pred);

  int64_t base, offset;
  lv_term x0 = lv_deref(w->X[0]), x1 = lv_deref(w->X[1]);
  if (!one_word_integer(x0, &base)) return lv_raise_in_predicate(w, LV_ERROR_ADDRESS_BASE, pred, 1, x0);
  if (!one_word_integer(x1, &offset)) return lv_raise_in_predicate(w, LV_ERROR_ADDRESS_OFFSET, pred, 2, x1);
  char* at = reinterpret_cast<char*>(static_cast<uint64_t>(base) + static_cast<uint64_t>(offset));
  lv_term x2 = lv_deref(w->X[2]);

  switch (a.what) {
    case shape::atom: {
      lv_term word;
      std::memcpy(&word, at, sizeof word);
      return unify_word(w, x2, word);
    }
    case shape::string: {
      const char* text;
      std::memcpy(&text, at, sizeof text);
      if (lv_is_ref(x2)) {
        lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
        if (atom == 0) return lv_raise_in_predicate(w, LV_ERROR_INVALID_TEXT, pred, 3, x2);
        lv_bind(w, lv_ref_cell(x2), atom);
        return 1;
      }
      return lv_is_atom(x2) && std::strcmp(lv_atom_text(x2), text) == 0 ? 1 : 0;
    }
    case shape::sint:
      return cunify(w, x2, lv_make_integer(w, load_signed(at, a.bytes)));
    case shape::uint:
      return cunify(w, x2, make_unsigned(w, load_unsigned(at, a.bytes)));
    case shape::real: {
      double d;
      if (a.bytes == 4) {
        float f;
        std::memcpy(&f, at, sizeof f);
        d = f;
      } else {
        std::memcpy(&d, at, sizeof d);
      }
      return cunify(w, x2, lv_make_float_box(w, d));
    }
    case shape::put_atom: {
      if (!lv_is_atom(x2)) return lv_raise_in_predicate(w, a.error, pred, 3, x2);
      lv_term old;
      std::memcpy(&old, at, sizeof old);
      if (old != 0) LV_unregister_atom(old);
      LV_register_atom(x2);
      std::memcpy(at, &x2, sizeof x2);
      return 1;
    }
    case shape::put_string: {
      if (!lv_is_atom(x2)) return lv_raise_in_predicate(w, a.error, pred, 3, x2);
      LV_register_atom(x2);
      const char* text = lv_atom_text(x2);
      std::memcpy(at, &text, sizeof text);
      return 1;
    }
    case shape::put_sint: {
      int64_t v = 0;
      bool ok;
      if (a.bytes == 8) {
        ok = one_word_integer(x2, &v);
      } else {
        ok = lv_is_small(x2);
        if (ok) v = lv_small_value(x2);
        ok = ok && fits_signed(v, a.bytes);
      }
      if (!ok) return lv_raise_in_predicate(w, a.error, pred, 3, x2);
      store_bits(at, static_cast<uint64_t>(v), a.bytes);
      return 1;
    }
    case shape::put_uint: {
      uint64_t v = 0;
      bool ok;
      if (a.bytes == 8) {
        ok = unsigned_integer(x2, &v);
      } else {
        ok = lv_is_small(x2) && lv_small_value(x2) >= 0;
        if (ok) v = static_cast<uint64_t>(lv_small_value(x2));
        ok = ok && (v >> (8 * a.bytes)) == 0;
      }
      if (!ok) return lv_raise_in_predicate(w, a.error, pred, 3, x2);
      store_bits(at, v, a.bytes);
      return 1;
    }
    case shape::put_real: {
      double d;
      if (lv_is_small(x2))
        d = static_cast<double>(lv_small_value(x2));
      else if (lv_is_box(x2))
        d = lv_number_to_double(x2);
      else
        return lv_raise_in_predicate(w, LV_ERROR_NOT_A_NUMBER, pred, 3, x2);
      if (a.bytes == 4) {
        float f = static_cast<float>(d);
        if (!std::isfinite(f)) return lv_raise_in_predicate(w, LV_ERROR_NOT_FINITE, pred, 3, x2);
        std::memcpy(at, &f, sizeof f);
      } else {
        if (!std::isfinite(d)) return lv_raise_in_predicate(w, LV_ERROR_NOT_FINITE, pred, 3, x2);
        std::memcpy(at, &d, sizeof d);
      }
      return 1;
    }
    default:
      return 0;
  }
}
