// Boxed numbers as the emulator meets them.
#include "machine/boxed_numbers.h"

#include <cmath>

#include "core/bind.h"
#include "core/errors.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/startup_records.h"
#include "machine/emulator_errors.h"

namespace {

constexpr lv_term ATOM_INF = lv_predefined_atom(9);
constexpr lv_term ATOM_NAN = lv_predefined_atom(77);
constexpr uint64_t MINUS_ZERO_BITS = uint64_t{1} << 63;

bool on_heap(const lv_worker* w, const lv_term* cells) { return cells >= w->area_start && cells < w->H; }

// The value of an integer box that fits a small integer. Boxes made by the
// engine never do, but one built elsewhere may carry redundant sign limbs.
bool box_small_value(const lv_term* cells, int64_t* value) {
  if (lv_box_is_float(cells[0])) return false;
  uint64_t n = lv_box_value_words(cells[0]);
  int64_t low = static_cast<int64_t>(cells[1]);
  lv_term sign = low < 0 ? ~lv_term{0} : 0;
  for (uint64_t i = 2; i <= n; i++)
    if (cells[i] != sign) return false;
  if (!lv_fits_small(low)) return false;
  *value = low;
  return true;
}

// The bits a float box holds in its canonical form (one NaN, no -0.0).
uint64_t canonical_bits(uint64_t bits) { return lv_canonical_float_bits(lv_double_from_bits(bits)); }

// The box as a heap term, copied when it is not on the heap; 0 with
// *needed set when the heap is short.
lv_term heap_form(lv_worker* w, lv_term box, int64_t* needed) {
  const lv_term* cells = lv_struct_cells(box);
  if (on_heap(w, cells)) return box;
  int64_t small;
  if (box_small_value(cells, &small)) return lv_make_small(small);
  int64_t room = lv_box_copy_room(lv_box_value_words(cells[0]) + 1);
  if (w->local_base - w->H < room) {
    *needed = room;
    return 0;
  }
  if (lv_box_is_float(cells[0])) return lv_make_float_box(w, lv_double_from_bits(canonical_bits(cells[1])));
  return lv_copy_number_box(w, cells);
}

int unify_box(lv_worker* w, lv_term other, lv_term box, int64_t* needed) {
  other = lv_deref(other);
  if (lv_is_ref(other)) {
    lv_term value = heap_form(w, box, needed);
    if (value == 0) return -1;
    lv_bind(w, lv_ref_cell(other), value);
    return 1;
  }
  const lv_term* cells = lv_struct_cells(box);
  int64_t small;
  if (box_small_value(cells, &small)) return other == lv_make_small(small) ? 1 : 0;
  if (!lv_is_struct(other)) return 0;
  const lv_term* o = lv_struct_cells(other);
  if (o[0] != cells[0]) return 0;
  if (lv_box_is_float(cells[0])) return o[1] == canonical_bits(cells[1]) ? 1 : 0;
  uint64_t n = lv_box_value_words(cells[0]);
  for (uint64_t i = 1; i <= n; i++)
    if (o[i] != cells[i]) return 0;
  return 1;
}

int check_float(lv_worker* w, double value, const lv_pred* pred, int64_t argument) {
  if (std::isfinite(value)) return 1;
  if (std::isnan(value)) lv_raise_in_predicate(w, LV_ERROR_UNDEFINED, pred, argument, ATOM_NAN);
  else lv_raise_in_predicate(w, LV_ERROR_NOT_FINITE, pred, argument, ATOM_INF);
  return 0;
}

}  // namespace

lv_term lv_copy_boxed_to_heap(lv_worker* w, lv_term box, int64_t* needed) {
  const lv_term* cells = lv_struct_cells(box);
  if (on_heap(w, cells)) return box;
  if (lv_box_is_float(cells[0])) {
    double d = lv_double_from_bits(cells[1]);
    if (!std::isfinite(d)) {
      lv_term culprit = std::isnan(d) ? ATOM_NAN : ATOM_INF;
      lv_set_pending_error(std::isnan(d) ? LV_ERROR_NAN_COPIED : LV_ERROR_NOT_FINITE, "", culprit);
      w->X[0] = culprit;
      lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_eval, 1, 1);
      *needed = 0;
      return 0;
    }
  }
  return heap_form(w, box, needed);
}

int lv_bind_boxed_number(lv_worker* w, lv_term other, lv_term box, int64_t* needed) { return unify_box(w, other, box, needed); }

int lv_equal_boxed(lv_worker* w, lv_term other, lv_term box, int64_t* needed) { return unify_box(w, other, box, needed); }

int lv_mul64_overflow(int64_t a, int64_t b, int64_t* out) {
  __int128 product = static_cast<__int128>(a) * b;
  if (product < INT64_MIN || product > INT64_MAX) return 1;
  *out = static_cast<int64_t>(product);
  return 0;
}

int lv_check_float_result(lv_worker* w, double value, const lv_pred* pred, int64_t argument) {
  return check_float(w, value, pred, argument);
}

int lv_check_float_accumulator(lv_worker* w, double accumulator, const lv_pred* pred, int64_t argument) {
  return check_float(w, accumulator, pred, argument);
}
