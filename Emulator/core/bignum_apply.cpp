// The big-integer driver.
#include "core/bignum_apply.h"

#include "core/fault.h"
#include "core/numstack.h"
#include "machine/recovery.h"

namespace {

// The header address of a number in number-stack form.
const lv_term* operand_header(lv_worker* w, lv_term t) {
  if (lv_is_small(t)) t = lv_numstack_push_int(w, lv_small_value(t));
  return lv_struct_cells(t);
}

}  // namespace

lv_term lv_bignum_apply(lv_worker* w, lv_bignum_kernel k, lv_term x, lv_term y, int32_t* error) {
  if (lv_soft_limit(w) == nullptr) lv_check_event(w);
  if (k != lv_bignum_from_float) {
    if (lv_is_float_box(x)) {
      x = lv_bignum_apply(w, lv_bignum_from_float, x, x, error);
      if (x == 0) {
        *error -= 65536;
        return 0;
      }
    }
    if (lv_is_float_box(y)) {
      y = lv_bignum_apply(w, lv_bignum_from_float, y, y, error);
      if (y == 0) {
        *error -= 131072;
        return 0;
      }
    }
  }
  const lv_term* xp = operand_header(w, x);
  const lv_term* yp = y == x ? xp : operand_header(w, y);
  if (w->numstack_chunk == nullptr) numstack_overflow(w);
  int32_t c = k(xp, yp, w->numstack_top, w->numstack_chunk);
  if (c > 0) {
    do numstack_overflow(w);
    while (w->numstack_chunk - w->numstack_top < c);
    c = k(xp, yp, w->numstack_top, w->numstack_chunk);
    if (c != 0) LV_raise_fault("miscalculated size of bignum");
  }
  if (c < 0) {
    *error = c == LV_BIGNUM_DIVISION_BY_ZERO ? -131847 : c - 65536;
    return 0;
  }
  *error = 0;
  lv_term* r = w->numstack_top;
  uint64_t n = lv_box_value_words(r[0]);
  if (n == 1 && lv_fits_small(static_cast<int64_t>(r[1]))) return lv_make_small(static_cast<int64_t>(r[1]));
  r[n + 1] = r[0];
  w->numstack_top = r + n + 2;
  return lv_make_struct(r);
}
