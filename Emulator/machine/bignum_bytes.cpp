// Integers to and from little-endian two's-complement bytes.
#include <cstring>

#include "machine/bignum.h"
#include "machine/bignum_limbs.h"

namespace {

inline uint8_t byte_at(const lv_term* x, uint64_t index) {
  return static_cast<uint8_t>(x[1 + index / 8] >> (8 * (index % 8)));
}

}  // namespace

int lv_bignum_to_bytes(const lv_term* x, uint8_t* buffer, uint64_t* count) {
  uint64_t n = lv_bignum_limb_count(x);
  uint8_t sign = lv_bignum_negative(x) ? 0xFF : 0x00;
  // The fewest bytes whose two's-complement reading is the value: drop top
  // bytes that only repeat the sign while the byte below carries it.
  uint64_t m = 8 * n;
  while (m > 1 && byte_at(x, m - 1) == sign && (byte_at(x, m - 2) & 0x80) == (sign & 0x80)) m--;
  uint64_t size = *count;
  *count = m;
  if (size < m) return 0;
  for (uint64_t i = 0; i < m; i++) buffer[i] = byte_at(x, i);
  std::memset(buffer + m, sign, size - m);
  return 1;
}

int32_t lv_bignum_from_bytes(const uint8_t* bytes, uint64_t count, lv_term* first, lv_term* last) {
  uint64_t n = count == 0 ? 1 : (count + 7) / 8;
  if (n > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
  if (!lv_bignum_room(first, last, n + 2)) return static_cast<int32_t>(n + 2);
  if (count == 0) {
    first[1] = 0;
  } else {
    uint64_t whole = count / 8;
    std::memcpy(first + 1, bytes, 8 * whole);
    if (count % 8 != 0) {
      // The final partial limb is sign-extended.
      uint8_t limb[8];
      std::memset(limb, (bytes[count - 1] & 0x80) != 0 ? 0xFF : 0x00, sizeof limb);
      std::memcpy(limb, bytes + 8 * whole, count % 8);
      std::memcpy(first + 1 + whole, limb, sizeof limb);
    }
  }
  // Callers pass the minimal form, but a longer one must not make a
  // non-normal box.
  lv_bignum_normalize_limbs(first, n);
  return 0;
}
