// Integers to and from text in radix 2-36.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "core/fault.h"
#include "core/memory.h"
#include "machine/bignum.h"
#include "machine/bignum_limbs.h"

namespace {

// A radix's chunk: the largest power of the radix not above 2^32, and the
// number of text digits it spans.
struct radix_chunk {
  uint64_t power;
  unsigned digits;
};

constexpr radix_chunk chunk_of(unsigned radix) {
  radix_chunk c{1, 0};
  while (c.power * radix <= (uint64_t{1} << 32)) {
    c.power *= radix;
    c.digits++;
  }
  return c;
}

// Bits per text digit, rounded up.
constexpr unsigned bits_per_digit(unsigned radix) {
  unsigned b = 0;
  while ((1u << b) < radix) b++;
  return b;
}

// The value of a digit character, which the caller has checked.
inline unsigned digit_value(unsigned char c) {
  if (c < 'A') return c - '0';
  if (c < 'a') return c - 'A' + 10;
  return c - 'a' + 10;
}

// Radix 16: each limb is 16 digits counted from the right end.
int32_t from_hex(const char* text, uint64_t len, bool negative, lv_term* first, lv_term* last) {
  uint64_t groups = (len + 15) / 16;
  if (groups + 1 > LV_BIGNUM_MAX_LIMBS) return LV_BIGNUM_TOO_LARGE;
  if (!lv_bignum_room(first, last, groups + 3)) return static_cast<int32_t>(groups + 3);
  const char* end = text + len;
  for (uint64_t g = 1; g <= groups; g++) {
    const char* stop = end - 16 * (g - 1);
    const char* start = stop - std::min<uint64_t>(16, static_cast<uint64_t>(stop - text));
    uint64_t limb = 0;
    for (const char* c = start; c < stop; c++) limb = (limb << 4) | (digit_value(static_cast<unsigned char>(*c)) & 15);
    first[g] = limb;
  }
  uint64_t n = groups + 1;
  first[n] = 0;
  if (negative) lv_bignum_negate_limbs(first + 1, n);
  lv_bignum_normalize_limbs(first, n);
  return 0;
}

// Any radix: the value is multiplied by R^t and the next t digits added, a
// chunk of digits at a time. The digits in use are 2 * limbs - 1: the top
// limb's high half stays free for the carry, so the value stays
// non-negative. When a carry remains it takes that free digit and a zero
// limb is added.
int32_t from_radix(const char* text, uint64_t len, unsigned radix, bool negative, lv_term* first, lv_term* last,
                   int check_events) {
  const radix_chunk chunk = chunk_of(radix);
  // Words that surely hold the result: value < 2^(len * b) takes at most
  // ceil(len * b / 32) digits, and the limbs grow a digit ahead of it.
  uint64_t value_digits = (len * bits_per_digit(radix) + 31) / 32;
  int32_t enough = static_cast<int32_t>(std::min(value_digits / 2 + 4, LV_BIGNUM_MAX_LIMBS + 2));
  if (!lv_bignum_room(first, last, 3)) return enough;
  first[1] = 0;
  uint64_t limbs = 1;
  uint64_t active = 1;
  lv_bignum_digit* d = lv_bignum_digits(first + 1);
  uint64_t pos = 0;
  while (pos < len) {
    uint64_t take = std::min<uint64_t>(chunk.digits, len - pos);
    uint64_t value = 0;
    uint64_t multiplier = 1;
    for (uint64_t t = 0; t < take; t++) {
      value = value * radix + digit_value(static_cast<unsigned char>(text[pos + t]));
      multiplier *= radix;
    }
    pos += take;
    if (check_events) lv_bignum_event_check();
    uint64_t carry = value;
    for (uint64_t a = 0; a < active; a++) {
      uint64_t t = d[a] * multiplier + carry;
      d[a] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    if (carry != 0) {
      if (active + 2 > (uint64_t{1} << 32) - 7) return LV_BIGNUM_TOO_LARGE;
      if (!lv_bignum_room(first, last, limbs + 3)) return enough;
      d[active] = static_cast<uint32_t>(carry);
      limbs++;
      first[limbs] = 0;
      active += 2;
    }
  }
  if (negative) lv_bignum_negate_limbs(first + 1, limbs);
  lv_bignum_normalize_limbs(first, limbs);
  return 0;
}

// Divides the nd digits at d by c in place, from the top down; answers the
// remainder. A constant divisor lets the compiler avoid the divide.
template <typename Divisor>
uint64_t divide_digits(lv_bignum_digit* d, uint64_t nd, Divisor c) {
  uint64_t remainder = 0;
  for (uint64_t k = nd; k-- > 0;) {
    uint64_t current = (remainder << 32) | d[k];
    d[k] = static_cast<uint32_t>(current / c);
    remainder = current % c;
  }
  return remainder;
}

}  // namespace

int32_t lv_bignum_from_text(const char* text, lv_term* first, lv_term* last, int radix, int check_events) {
  bool negative = false;
  unsigned r;
  if (radix < 0) {
    negative = true;
    r = static_cast<unsigned>(-radix);
  } else {
    r = static_cast<unsigned>(radix);
    if (*text == '+' || *text == '-') {
      negative = *text == '-';
      text++;
    }
  }
  uint64_t len = std::strlen(text);
  while (len > 1 && *text == '0') {
    text++;
    len--;
  }
  if (r == 16) return from_hex(text, len, negative, first, last);
  return from_radix(text, len, r, negative, first, last, check_events);
}

char* lv_bignum_to_text(const lv_term* x, int radix, int check_events) {
  const char* letters = radix < 0 ? "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ" : "0123456789abcdefghijklmnopqrstuvwxyz";
  unsigned r = static_cast<unsigned>(radix < 0 ? -radix : radix);
  uint64_t n = lv_bignum_limb_count(x);
  bool negative = lv_bignum_negative(x);
  bool power_of_two = (r & (r - 1)) == 0;
  unsigned bits = bits_per_digit(r);
  const radix_chunk chunk = chunk_of(r);
  // Text room: the magnitude has at most 64n bits; a chunk takes at least
  // floor(log2(power)) of them and writes its digits in full; then the sign
  // and the terminating NUL.
  uint64_t value_bits = 64 * n;
  uint64_t text_bytes = power_of_two
                            ? (value_bits + bits - 1) / bits + 2
                            : chunk.digits * (value_bits / (63 - __builtin_clzll(chunk.power)) + 1) + 2;
  uint64_t text_words = (text_bytes + 7) / 8;
  char* block = static_cast<char*>(LV_malloc(8 * (text_words + n)));
  if (block == nullptr) lv_memory_fault("Resource error: insufficient memory", LV_CAT_LV_MALLOC);
  // The magnitude's working copy follows the text.
  lv_term* work = reinterpret_cast<lv_term*>(block + 8 * text_words);
  for (uint64_t k = 0; k < n; k++) work[k] = x[k + 1];
  if (negative) lv_bignum_negate_limbs(work, n);
  lv_bignum_digit* d = lv_bignum_digits(work);
  uint64_t nd = 2 * n;
  while (nd > 0 && d[nd - 1] == 0) nd--;

  char* out = block;
  uint64_t pos = 0;
  if (negative) out[pos++] = '-';
  uint64_t start = pos;
  if (power_of_two) {
    // Digits straight from the bits, lowest first.
    uint32_t mask = r - 1;
    for (uint64_t bit = 0; bit < 32 * nd; bit += bits) {
      uint64_t at = bit / 32;
      unsigned shift = static_cast<unsigned>(bit % 32);
      uint64_t window = d[at] >> shift;
      if (shift + bits > 32 && at + 1 < nd) window |= static_cast<uint64_t>(d[at + 1]) << (32 - shift);
      out[pos++] = letters[window & mask];
    }
  } else {
    while (nd > 0) {
      if (check_events && lv_bignum_event_unwinds()) {
        LV_free(block);
        lv_bignum_event_check();
      }
      uint64_t remainder = r == 10 ? divide_digits(d, nd, std::integral_constant<uint64_t, 1000000000>())
                                   : divide_digits(d, nd, chunk.power);
      for (unsigned t = 0; t < chunk.digits; t++) {
        out[pos++] = letters[remainder % r];
        remainder /= r;
      }
      while (nd > 0 && d[nd - 1] == 0) nd--;
    }
  }
  // The digits stand lowest first; trailing zeros are leading zeros.
  while (pos > start && out[pos - 1] == '0') pos--;
  if (pos == start) out[pos++] = '0';
  out[pos] = '\0';
  std::reverse(out + start, out + pos);
  return block;
}
