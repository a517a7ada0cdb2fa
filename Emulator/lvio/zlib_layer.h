// The "zlib" layer: a compressing filter over a byte chain. Writing
// deflates into the chain below, reading inflates from it. The compressed
// stream is in the zlib format; a reader can continue with what follows
// the compressed body below after a read-side sync.
#pragma once

#include <cstdint>

#include "lvio/layer.h"
#include "lvio/pushback.h"

struct lvio_zlib_stream;

// Layer flags of the class.
constexpr uint32_t LVIO_ZLIB_READ_ENDED = 0x20000;       // the decompressed stream has ended
constexpr uint32_t LVIO_ZLIB_WRITE_FINISHING = 0x40000;  // the compressed output is being finished
constexpr uint32_t LVIO_ZLIB_WRITE_ENDED = 0x80000;      // the compressed output has ended (trailer produced)

struct lvio_zlib_layer {
  lvio_layer header;
  lvio_pushback pushback;
  lvio_buffer* input;      // compressed bytes read from below
  int64_t consumed;        // bytes at the front of input already inflated
  int64_t input_origin;    // compressed bytes consumed before input's first byte
  int64_t read_position;   // uncompressed bytes delivered upward
  lvio_buffer* output;     // deflated bytes not yet handed down
  int64_t written;         // bytes at the front of output already handed down
  int64_t write_position;  // uncompressed bytes accepted from above
  lvio_zlib_stream* inflater;
  lvio_zlib_stream* deflater;
  uint32_t inflate_options;
  uint32_t deflate_options;
};

extern const lvio_class lvio_zlib_class;

// Write and drain option: finish the compressed stream.
constexpr uint32_t LVIO_ZLIB_OP_FINISH = 0x10;

// Hands the compressed output down and deflates what zlib still holds
// back; with LVIO_ZLIB_OP_FINISH the stream is finished, trailer included.
// The result is LVIO_S_DONE once the output has ended.
[[nodiscard]] lvio_code lvio_zlib_drain(lvio_zlib_layer* layer, uint32_t options);

// Registers (flag 1: unregisters) the layer class.
[[nodiscard]] lvio_code lvio_zlib_module(uint32_t flags);
