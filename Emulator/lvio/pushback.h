// Push-back: bytes that a reader gave back to a layer, which the layer
// delivers again before reading anything new. The "zlib" layer and simple
// devices keep one, and a relative seek with give-back fills it.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_buffer;
struct lvio_layer;

struct lvio_pushback {
  lvio_buffer* buffer;  // null until the first give-back
  int64_t offset;       // bytes of the buffer already delivered again
};

// Bytes given back and not yet delivered again.
uint64_t lvio_pushback_unread(const lvio_pushback* pushback);

// Appends as many unread bytes as fit the destination's free room, in whole
// items; returns the count.
uint64_t lvio_pushback_take(lvio_pushback* pushback, lvio_buffer* destination, uint32_t item_size);

void lvio_pushback_free(lvio_pushback* pushback);

// The seek operation of a layer with push-back. Only relative seeks exist:
// on the read side, offset 0 reports the read position and a negative
// offset with give-back (0x8) takes the last -offset bytes of the source
// back, ahead of any bytes given back earlier and not yet delivered again,
// and moves the read position back; on the write side only offset 0
// (reporting the write position). Positions count items of item_size bytes.
[[nodiscard]] lvio_code lvio_pushback_seek(lvio_layer* layer, lvio_pushback* pushback, int64_t* read_position,
                                           int64_t write_position, uint32_t item_size, int64_t offset,
                                           int64_t* position, lvio_buffer* source, uint32_t options);
