// Helpers of the emulator's arithmetic instructions (insn_arith.inc) for
// moving accumulator values between their untagged form, the heap and the
// number stack.
#pragma once

#include <cstdint>

#include "core/numstack.h"
#include "core/worker.h"

// An untagged integer as a term: the small integer when it fits, else a
// one-limb box {-25, value, -25} written at *h, which advances.
inline lv_term lv_acc_heap_integer(lv_term** h, int64_t value) {
  if (lv_fits_small(value)) return lv_make_small(value);
  lv_term* p = *h;
  p[0] = LV_BOX_INT1;
  p[1] = static_cast<lv_term>(value);
  p[2] = LV_BOX_INT1;
  *h = p + 3;
  return lv_make_struct(p);
}

// An operand that the evaluation handler gave back, in a form that a move of
// the heap leaves valid: a small integer as it is, a box copied to the
// number stack. 0 when it is not a number.
inline lv_term lv_acc_saved_operand(lv_worker* w, lv_term v) {
  if (lv_is_small(v)) return v;
  if (lv_is_box(v)) return lv_numstack_push_box(w, v);
  return 0;
}
