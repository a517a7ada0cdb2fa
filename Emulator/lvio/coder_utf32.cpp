// The UTF-32 coders, big- and little-endian.
#include "lvio/coder_builtin.h"
#include "lvio/coder_steps.h"

namespace {

template <bool BigEndian>
uint32_t unit_at(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v = (v << 8) | p[BigEndian ? i : 3 - i];
  return v;
}

template <bool BigEndian>
void put_unit(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[BigEndian ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}

bool unmappable(uint32_t v) { return v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF); }

// A unit of 2^31 or more is malformed; one above U+10FFFF, or a surrogate,
// has no character.
template <bool BigEndian>
lvio_decoded decode_utf32(const lvio_t_coder*, const uint8_t* bytes, uint64_t available, uint32_t flags) {
  uint32_t length = 4;
  if (available < 4) {
    if ((flags & LVIO_CONVERT_END_OF_INPUT) == 0) return {LVIO_E_NOT_ENOUGH_DATA, 0, 0};
    length = static_cast<uint32_t>(available);
  } else {
    uint32_t v = unit_at<BigEndian>(bytes);
    if (v < 0x80000000u) {
      if (!unmappable(v)) return {0, 4, v};
      if (lvio_replace_unmappable(flags)) return {0, 4, LVIO_REPLACEMENT_CHARACTER};
      return {LVIO_E_ENCODING_UNMAPPABLE, 0, 0};
    }
  }
  if (lvio_replace_malformed(flags)) return {0, length, LVIO_REPLACEMENT_CHARACTER};
  return {LVIO_E_ENCODING_INVALID, 0, 0};
}

template <bool BigEndian>
uint32_t encode_utf32(const lvio_t_coder*, uint32_t cp, uint8_t* bytes) {
  if (unmappable(cp)) return 0;
  put_unit<BigEndian>(bytes, cp);
  return 4;
}

template <bool BigEndian>
constexpr lvio_coder_ops ops = lvio_unicode_coder_ops(
    lvio_convert_each<decode_utf32<BigEndian>, encode_utf32<BigEndian>>, lvio_coder_reposition_wide);

const char* const utf32be_aliases[] = {"UTF-32", nullptr};

}  // namespace

lvio_coder_class lvio_coder_utf32be = {LVIO_CLASS_RECORD_SIZE, "UTF-32BE", utf32be_aliases, 0, 1, ops<true>};
lvio_coder_class lvio_coder_utf32le = {LVIO_CLASS_RECORD_SIZE, "UTF-32LE", nullptr, 0, 1, ops<false>};
