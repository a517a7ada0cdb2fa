// Finding a stream's encoding from its first bytes: a byte-order mark, or
// a "-*- coding: NAME -*-" declaration on the first line.
#pragma once

#include <cstdint>

#include "lvio/layer.h"
#include "lvio/span.h"

struct lvio_coder_class;

// Detection flags.
constexpr uint32_t LVIO_DETECT_SKIP_UNKNOWN = 1;  // a declared name no coder has lets the next detector run
constexpr uint32_t LVIO_DETECT_FIXED_WIDTH = 2;   // only 8-bit coders qualify

// Reads the first bytes of the chain, runs the byte-order-mark detector and
// then the declaration detector, and gives every byte read back to the
// chain, which then starts again at its first byte. 0 with a new class
// reference in *out, 1 when nothing was found (or the chain cannot move
// back over bytes it read), or an error: a declared name that no coder has
// (LVIO_E_CHARSET_NOT_FOUND), an empty one (LVIO_E_SYNTAX_ERROR), a coder
// that is not fixed width when that was asked (LVIO_E_SEEK_ERROR), or a
// failure to give the bytes back.
[[nodiscard]] lvio_code lvio_detect_encoding(lvio_layer** chain, lvio_coder_class** out, uint32_t flags);

// Flag of lvio_detect_bom: no more bytes will come.
constexpr uint32_t LVIO_DETECT_INPUT_ENDED = 1;

// The byte-order-mark rule on bytes: 0 with the encoding's name, 1 for no
// mark, LVIO_E_NOT_ENOUGH_DATA when more bytes could still make a mark.
[[nodiscard]] lvio_code lvio_detect_bom(const lvio_span* bytes, const char** name, uint32_t flags);
