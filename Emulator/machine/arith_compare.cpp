// Arithmetic comparison, the standard-order entry on unbound variables, and
// the normalisation of operands onto the heap.
#include <cmath>

#include "core/atoms.h"
#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_compare.h"
#include "machine/arith.h"
#include "machine/eval_support.h"

using namespace lv_eval;

namespace {

constexpr const char* RELATION_NAMES[] = {"=:=", "=\\=", "<", "=<", ">", ">="};
constexpr int RAISED = 2;

// -1, 0 or 1 as x is below, equal to or above y; RAISED after a non-finite
// operand raised 263 for prolog:Name(X, Y).
int compare_numbers(lv_worker* w, lv_term x, lv_term y, const char* name) {
  if (lv_is_small(x) && lv_is_small(y)) {
    // The tag keeps the order of the values.
    int64_t a = static_cast<int64_t>(x), b = static_cast<int64_t>(y);
    return a < b ? -1 : a > b ? 1 : 0;
  }
  if (!is_float(x) && !is_float(y)) return compare_integers(x, y);
  double a = to_double(x), b = to_double(y);
  if (std::isfinite(a) && std::isfinite(b)) return a < b ? -1 : a > b ? 1 : 0;
  int argument = std::isfinite(a) ? 2 : 1;
  lv_term ox, oy;
  lv_arith_operands(w, x, y, &ox, &oy);
  lv_set_pending_error(LV_ERROR_NOT_FINITE, "", argument == 1 ? ox : oy);
  w->X[0] = ox;
  w->X[1] = oy;
  lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE), 2, argument);
  return RAISED;
}

bool holds(int c, lv_arith_relation_kind relation) {
  switch (relation) {
    case LV_REL_EQ: return c == 0;
    case LV_REL_NE: return c != 0;
    case LV_REL_LT: return c < 0;
    case LV_REL_LE: return c <= 0;
    case LV_REL_GT: return c > 0;
    case LV_REL_GE: return c >= 0;
  }
  return false;
}

bool on_heap(const lv_worker* w, lv_term box) {
  const lv_term* cells = lv_struct_cells(box);
  return cells >= w->area_start && cells < w->heap_hard_limit;
}

// A one-limb box of a small value as the small integer; 0 otherwise.
lv_term small_form(lv_term box) {
  const lv_term* cells = lv_struct_cells(box);
  if (cells[0] == LV_BOX_INT1 && lv_fits_small(static_cast<int64_t>(cells[1]))) return lv_make_small(static_cast<int64_t>(cells[1]));
  return 0;
}

}  // namespace

int lv_arith_relation(lv_worker* w, lv_term x, lv_term y, lv_arith_relation_kind relation) {
  int c = compare_numbers(w, x, y, RELATION_NAMES[relation]);
  if (c == RAISED) return -1;
  return holds(c, relation) ? 1 : 0;
}

int lv_arith_compare_eq(lv_worker* w, lv_term x, lv_term y) { return lv_arith_relation(w, x, y, LV_REL_EQ) > 0; }
int lv_arith_compare_ne(lv_worker* w, lv_term x, lv_term y) { return lv_arith_relation(w, x, y, LV_REL_NE) > 0; }
int lv_arith_compare_lt(lv_worker* w, lv_term x, lv_term y) { return lv_arith_relation(w, x, y, LV_REL_LT) > 0; }
int lv_arith_compare_le(lv_worker* w, lv_term x, lv_term y) { return lv_arith_relation(w, x, y, LV_REL_LE) > 0; }
int lv_arith_compare_gt(lv_worker* w, lv_term x, lv_term y) { return lv_arith_relation(w, x, y, LV_REL_GT) > 0; }
int lv_arith_compare_ge(lv_worker* w, lv_term x, lv_term y) { return lv_arith_relation(w, x, y, LV_REL_GE) > 0; }

uint32_t lv_arith_compare(lv_worker* w, lv_term x, lv_term y) {
  int c = compare_numbers(w, x, y, RELATION_NAMES[LV_REL_EQ]);
  if (c == RAISED) return LV_ARITH_COMPARE_ERROR;
  return static_cast<uint32_t>(c + 1);
}

int lv_compare_vars(lv_worker* w, lv_term x, lv_term y) {
  x = lv_deref(x);
  y = lv_deref(y);
  if (lv_is_ref(x)) {
    if (!lv_is_ref(y)) return -1;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (lv_is_ref(y)) return 1;
  if (x == y) return 0;
  int c = lv_compare_terms(w, x, y);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void lv_arith_operands(lv_worker* w, lv_term x, lv_term y, lv_term* out_x, lv_term* out_y) {
  lv_term t[2] = {x, y};
  auto elsewhere = [w](lv_term u) { return lv_is_box(u) && !on_heap(w, u); };
  if (elsewhere(t[0]) || elsewhere(t[1])) {
    // Boxes on the heap wait on the number stack while the heap may move.
    for (lv_term& u : t) {
      if (!lv_is_box(u) || !on_heap(w, u)) continue;
      lv_term s = small_form(u);
      u = s != 0 ? s : lv_numstack_push_box(w, u);
    }
    int64_t cells = 0;
    for (lv_term u : t)
      if (lv_is_box(u)) cells += static_cast<int64_t>(lv_box_value_words(*lv_struct_cells(u))) + 2;
    if (w->heap_hard_limit - w->H < cells + LV_HEAP_RESERVE_CELLS + 2) call_overflow(w, cells + LV_HEAP_RESERVE_CELLS + 2, 0);
    for (lv_term& u : t) {
      if (!lv_is_box(u)) continue;
      lv_term s = small_form(u);
      u = s != 0 ? s : lv_copy_number_box(w, lv_struct_cells(u));
    }
  }
  *out_x = t[0];
  *out_y = t[1];
}
