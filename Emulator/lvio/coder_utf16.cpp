// The UTF-16 coders, big- and little-endian.
#include "lvio/coder_builtin.h"
#include "lvio/coder_steps.h"

namespace {

template <bool BigEndian>
uint32_t unit_at(const uint8_t* p) {
  return BigEndian ? (uint32_t{p[0]} << 8) | p[1] : (uint32_t{p[1]} << 8) | p[0];
}

template <bool BigEndian>
void put_unit(uint8_t* p, uint32_t unit) {
  p[BigEndian ? 0 : 1] = static_cast<uint8_t>(unit >> 8);
  p[BigEndian ? 1 : 0] = static_cast<uint8_t>(unit);
}

bool is_high(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

lvio_decoded malformed(uint32_t length, uint32_t flags) {
  if (lvio_replace_malformed(flags)) return {0, length, LVIO_REPLACEMENT_CHARACTER};
  return {LVIO_E_ENCODING_INVALID, 0, 0};
}

template <bool BigEndian>
lvio_decoded decode_utf16(const lvio_t_coder*, const uint8_t* bytes, uint64_t available, uint32_t flags) {
  const bool ended = (flags & LVIO_CONVERT_END_OF_INPUT) != 0;
  if (available < 2) return ended ? malformed(1, flags) : lvio_decoded{LVIO_E_NOT_ENOUGH_DATA, 0, 0};
  uint32_t u = unit_at<BigEndian>(bytes);
  if (is_high(u)) {
    if (available < 4) return ended ? malformed(2, flags) : lvio_decoded{LVIO_E_NOT_ENOUGH_DATA, 0, 0};
    uint32_t low = unit_at<BigEndian>(bytes + 2);
    if (!is_low(low)) return malformed(2, flags);
    return {0, 4, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)};
  }
  if (is_low(u)) return malformed(2, flags);
  return {0, 2, u};
}

template <bool BigEndian>
uint32_t encode_utf16(const lvio_t_coder*, uint32_t cp, uint8_t* bytes) {
  if (cp < 0x10000) {
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    put_unit<BigEndian>(bytes, cp);
    return 2;
  }
  if (cp > 0x10FFFF) return 0;
  put_unit<BigEndian>(bytes, 0xD800 + ((cp - 0x10000) >> 10));
  put_unit<BigEndian>(bytes + 2, 0xDC00 + ((cp - 0x10000) & 0x3FF));
  return 4;
}

template <bool BigEndian>
constexpr lvio_coder_ops ops = lvio_unicode_coder_ops(
    lvio_convert_each<decode_utf16<BigEndian>, encode_utf16<BigEndian>>, lvio_coder_reposition_wide);

const char* const utf16be_aliases[] = {"UTF-16", nullptr};

}  // namespace

lvio_coder_class lvio_coder_utf16be = {LVIO_CLASS_RECORD_SIZE, "UTF-16BE", utf16be_aliases, 0, 1, ops<true>};
lvio_coder_class lvio_coder_utf16le = {LVIO_CLASS_RECORD_SIZE, "UTF-16LE", nullptr, 0, 1, ops<false>};
