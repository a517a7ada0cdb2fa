// Number text to number terms.
#include "text/number_parse.h"

#include "core/numbers.h"
#include "core/stack_shift.h"
#include "machine/bignum.h"

namespace {

void make_room(lv_worker* w, int64_t cells, int live) {
  if (w->heap_hard_limit - w->H < cells) call_overflow(w, cells, live);
}

lv_term fail(int* error, int code) {
  if (error != nullptr) *error = code;
  return 0;
}

}  // namespace

lv_term lv_parse_number(lv_worker* w, const char* text, int radix, int flags, int64_t reserve, int live,
                        int check_events, int* error) {
  lv_number_scan scan{};
  int status = lv_scan_number(text, radix, flags, &scan);
  if (status != 0) return fail(error, status);
  if (reserve < 0) reserve = 0;
  switch (scan.kind) {
    case LV_NUMBER_FLOAT:
      make_room(w, 3 + reserve, live);
      return lv_make_float_box(w, scan.float_value);
    case LV_NUMBER_SMALL:
      make_room(w, 3 + reserve, live);
      return lv_make_integer(w, scan.value);
    case LV_NUMBER_DIGITS:
      break;
  }
  int signed_radix = scan.negative ? -scan.radix : scan.radix;
  // The reader answers the words it needs when the region is short; that
  // count always suffices, so a second shortage means the heap cannot give it.
  int64_t need = 4;
  for (int attempt = 0;; attempt++) {
    make_room(w, need + reserve, live);
    int32_t result = lv_bignum_from_text(scan.digits, w->H, w->heap_hard_limit - reserve, signed_radix, check_events);
    if (result == 0) break;
    if (result < 0 || attempt == 2) return fail(error, LV_NUMBER_TOO_LARGE);
    need = result;
  }
  lv_term* end = nullptr;
  lv_term number = lv_bignum_result_term(w->H, &end);
  w->H = end;
  return number;
}
