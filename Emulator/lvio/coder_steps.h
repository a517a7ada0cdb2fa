// The conversion loops every coder shares. A coder supplies how one code
// point is read from bytes or written as bytes; the loops do line ends,
// byte-order marks, replacement policy, output growth and progress rules.
#pragma once

#include <cstdint>

#include "lvio/coder.h"

// What one code point read from bytes gave.
struct lvio_decoded {
  lvio_code rc;     // 0, LVIO_E_NOT_ENOUGH_DATA (more bytes needed), or an error
  uint32_t length;  // bytes taken (when rc is 0)
  uint32_t code_point;
};

// Reads one code point from available (> 0) bytes, applying the
// replacement policy for the convert flags; end of input is flag 1.
typedef lvio_decoded (*lvio_decode_one)(const lvio_t_coder* coder, const uint8_t* bytes, uint64_t available,
                                        uint32_t flags);

// Writes one code point into bytes (room for 4); returns the byte count, or
// 0 when the encoding has no bytes for it.
typedef uint32_t (*lvio_encode_one)(const lvio_t_coder* coder, uint32_t code_point, uint8_t* bytes);

[[nodiscard]] lvio_code lvio_decode_run(lvio_t_coder* coder, const lvio_span* input, uint64_t* position,
                                        lvio_buffer* output, uint32_t flags, lvio_decode_one decode);

// Replacement of an unmappable code point: the 8-bit classes write their
// table's replacement byte under convert flag 16; the others write U+FFFD
// under flag 16 without flag 8.
[[nodiscard]] lvio_code lvio_encode_run(lvio_t_coder* coder, const lvio_span* input, uint64_t* position,
                                        lvio_buffer* output, uint32_t flags, lvio_encode_one encode);

// The convert operation of a coder that reads and writes one code point at
// a time.
template <lvio_decode_one Decode, lvio_encode_one Encode>
[[nodiscard]] lvio_code lvio_convert_each(lvio_t_coder* coder, const lvio_span* input, uint64_t* position,
                                          lvio_buffer* output, uint32_t flags) {
  if ((coder->flags & LVIO_CODER_DECODING) != 0) return lvio_decode_run(coder, input, position, output, flags, Decode);
  return lvio_encode_run(coder, input, position, output, flags, Encode);
}

// The replacement policies of the convert flags.
inline bool lvio_replace_malformed(uint32_t flags) {
  return (flags & (LVIO_CONVERT_REPLACE_MALFORMED | LVIO_CONVERT_REPLACE | LVIO_CONVERT_STRICT)) ==
         (LVIO_CONVERT_REPLACE_MALFORMED | LVIO_CONVERT_REPLACE);
}
inline bool lvio_replace_unmappable(uint32_t flags) {
  return (flags & (LVIO_CONVERT_REPLACE | LVIO_CONVERT_STRICT)) == LVIO_CONVERT_REPLACE;
}
