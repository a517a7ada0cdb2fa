// Helpers shared by the big-integer kernels: limb access, the 32-bit digit
// view of limb arrays, normal form and the event check of long loops.
#pragma once

#include <cstdint>

#include "core/term.h"
#include "core/worker.h"
#include "machine/bignum.h"
#include "machine/recovery.h"

// Limbs seen as little-endian unsigned 32-bit digits: limb k (from 0) holds
// digits 2k (low half) and 2k+1 (high half).
typedef uint32_t lv_bignum_digit __attribute__((__may_alias__));

inline lv_bignum_digit* lv_bignum_digits(lv_term* limbs) { return reinterpret_cast<lv_bignum_digit*>(limbs); }
inline const lv_bignum_digit* lv_bignum_digits(const lv_term* limbs) {
  return reinterpret_cast<const lv_bignum_digit*>(limbs);
}

inline uint64_t lv_bignum_limb_count(const lv_term* box) { return lv_box_value_words(box[0]); }
inline bool lv_bignum_limb_negative(uint64_t limb) { return static_cast<int64_t>(limb) < 0; }
inline bool lv_bignum_negative(const lv_term* box) {
  return lv_bignum_limb_negative(box[lv_bignum_limb_count(box)]);
}
// The limb that extends the box's sign: 0 or all ones.
inline uint64_t lv_bignum_sign_limb(const lv_term* box) { return lv_bignum_negative(box) ? ~uint64_t{0} : 0; }
inline bool lv_bignum_is_zero(const lv_term* box) { return lv_bignum_limb_count(box) == 1 && box[1] == 0; }

// Writes the header of the box whose n limbs stand at box[1..n], dropping
// redundant top limbs.
inline void lv_bignum_normalize_limbs(lv_term* box, uint64_t n) {
  if (lv_bignum_limb_negative(box[n])) {
    while (n > 1 && box[n] == ~uint64_t{0} && lv_bignum_limb_negative(box[n - 1])) n--;
  } else {
    while (n > 1 && box[n] == 0 && !lv_bignum_limb_negative(box[n - 1])) n--;
  }
  box[0] = lv_box_header(n, false);
}

// Two's-complement negation of n limbs in place.
inline void lv_bignum_negate_limbs(lv_term* limbs, uint64_t n) {
  uint64_t k = 0;
  // Below the lowest non-zero limb the negation leaves zeros; that limb is
  // negated; every limb above it is inverted.
  while (k < n && limbs[k] == 0) k++;
  if (k == n) return;
  limbs[k] = -limbs[k];
  for (k++; k < n; k++) limbs[k] = ~limbs[k];
}

// True when the region [first, last) holds at least the given words.
inline bool lv_bignum_room(const lv_term* first, const lv_term* last, uint64_t words) {
  return static_cast<uint64_t>(last - first) >= words;
}

// The event check of long loops: unwinds with code -3 when an event is
// pending and the emulator's recovery record is current.
inline void lv_bignum_event_check() {
  lv_worker* w = get_current_worker();
  if (w != nullptr) lv_check_event(w);
}

// True when the event check would unwind now.
inline bool lv_bignum_event_unwinds() {
  lv_worker* w = get_current_worker();
  return w != nullptr && lv_event_pending(w) && lv_current_recovery() != nullptr;
}
