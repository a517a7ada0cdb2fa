// The UTF-8 coder.
#include "lvio/coder_builtin.h"
#include "lvio/coder_steps.h"
#include "lvio/utf8.h"

namespace {

// A malformed sequence gives one U+FFFD for its longest well-formed
// beginning (at least its lead byte) when replacing, so the bytes after it
// are read on their own; a sequence above U+10FFFF always gives one U+FFFD.
lvio_decoded decode_utf8(const lvio_t_coder*, const uint8_t* bytes, uint64_t available, uint32_t flags) {
  lvio_utf8_sequence s = lvio_utf8_scan(bytes, available, 0);
  switch (s.rc) {
    case 0:
      return {0, s.length, s.code_point};
    case LVIO_E_ENCODING_UNMAPPABLE:
      return {0, s.length, LVIO_REPLACEMENT_CHARACTER};
    case LVIO_E_NOT_ENOUGH_DATA:
      if ((flags & LVIO_CONVERT_END_OF_INPUT) == 0) return {LVIO_E_NOT_ENOUGH_DATA, 0, 0};
      break;
    default:
      break;
  }
  if (lvio_replace_malformed(flags)) return {0, s.length, LVIO_REPLACEMENT_CHARACTER};
  return {LVIO_E_ENCODING_INVALID, 0, 0};
}

uint32_t encode_utf8(const lvio_t_coder*, uint32_t cp, uint8_t* bytes) {
  if (cp < 0x80) {
    bytes[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  if (cp < 0x800) {
    bytes[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
    bytes[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    bytes[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
    bytes[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
    bytes[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
    return 3;
  }
  if (cp > 0x10FFFF) return 0;
  bytes[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
  bytes[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
  bytes[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
  bytes[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace

lvio_coder_class lvio_coder_utf8 = {
    LVIO_CLASS_RECORD_SIZE,
    "UTF-8",
    nullptr,
    0,
    1,
    lvio_unicode_coder_ops(lvio_convert_each<decode_utf8, encode_utf8>, lvio_coder_no_reposition)};
