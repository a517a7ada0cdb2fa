// Steps shared by the filter layers ("char-coder" and "zlib"): handing
// buffered output down, giving unused input back, closing and popping.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_buffer;
struct lvio_class;
struct lvio_layer;

// Writes the buffer from *written on down the chain below until all of it
// is written, then drops the written bytes from the buffer (also when a
// failure came after some were written). *progress tells whether any were.
[[nodiscard]] lvio_code lvio_filter_hand_down(lvio_layer** below, lvio_buffer* buffer, int64_t* written, uint32_t flags,
                                              bool* progress);

// Drops the consumed bytes from the front of the input (the origin moves on
// by their count) and reads more bytes from the chain below into it. End of
// file below sets *ended and is no error here.
[[nodiscard]] lvio_code lvio_filter_refill(lvio_layer** below, lvio_buffer** input, int64_t* consumed, int64_t* origin,
                                           uint32_t flags, bool* ended);

// Gives the input bytes from *consumed on back to the chain below with a
// push-back seek, then empties the input; *origin (the position below of
// the input's first byte) follows. On failure nothing changes.
[[nodiscard]] lvio_code lvio_filter_give_back(lvio_layer** below, lvio_buffer* input, int64_t* consumed,
                                              int64_t* origin);

// Closes the same sides of the chain below, then drops them from the layer;
// a layer left without sides leaves the chain and is finalized. Returns the
// close below's result.
[[nodiscard]] lvio_code lvio_filter_close(lvio_layer** chain, uint32_t flags);

// Syncs both sides of the top layer, which must be of the class (handing
// everything down and back), then unlinks and finalizes it. A failing sync
// leaves the layer in place.
[[nodiscard]] lvio_code lvio_filter_pop(const lvio_class* cls, lvio_layer** chain, uint32_t flags);
