// The "char-coder" layer: a filter between a chain that moves bytes and a
// user that moves 32-bit code items. Reading decodes the bytes from below,
// writing encodes code items and hands the bytes down, and seeks by
// characters become seeks by bytes below.
#pragma once

#include <cstdint>

#include "lvio/layer.h"

struct lvio_t_coder;

struct lvio_char_coder_layer {
  lvio_layer header;
  lvio_buffer* read_bytes;   // bytes read from below, not yet all decoded
  int64_t consumed;          // bytes at the front of read_bytes already decoded
  int64_t read_origin;       // position below of read_bytes' first byte
  int64_t read_position;     // bytes of code items delivered upward
  lvio_buffer* write_bytes;  // encoded bytes not yet handed down
  int64_t written;           // bytes at the front of write_bytes already handed down
  int64_t write_position;    // bytes of code items accepted from above
  lvio_t_coder* decoder;
  lvio_t_coder* encoder;
  uint32_t decoder_options;  // convert flags of every decode step
  uint32_t encoder_options;  // convert flags of every encode step
};

extern const lvio_class lvio_char_coder_class;

// Push options: the coder instances, as pointer values; the layer owns
// them once the push succeeds. Push flag LVIO_PUSH_ONE_DIRECTION asks for
// one of the two only.
constexpr const char* LVIO_OPTION_READ_CODER = "read-char-coder lvio_t_coder";
constexpr const char* LVIO_OPTION_WRITE_CODER = "write-char-coder lvio_t_coder";
constexpr uint32_t LVIO_PUSH_ONE_DIRECTION = 0x2;

// Control requests of the layer.
constexpr uint32_t LVIO_REQUEST_CODER_NAME = 4;         // const char*: the decoder's (flag 2) or encoder's class name
constexpr uint32_t LVIO_REQUEST_CODER_OPTIONS = 5;      // replaces the replacement bits of the convert flags
constexpr uint32_t LVIO_REQUEST_READ_POSITION = 8;      // int64_t[2]: {characters read, byte position below}
constexpr uint32_t LVIO_REQUEST_SET_READ_POSITION = 9;  // int64_t[2]: the same, to move to
// uint32_t: whether the encoder has bytes for the code point (with the
// replacement bits of its convert flags): 0, or LVIO_E_ENCODING_UNMAPPABLE.
// Nothing is written and the encoder's state stays as it was.
constexpr uint32_t LVIO_REQUEST_CAN_ENCODE = 11;

// Request-5 flags: the convert flags they set, on the decoder (flag 2)
// and/or the encoder (flag 4).
constexpr uint32_t LVIO_CODER_OPTION_REPLACE_MALFORMED = 0x08;
constexpr uint32_t LVIO_CODER_OPTION_STRICT = 0x20;
constexpr uint32_t LVIO_CODER_OPTION_REPLACE = 0x40;

// Registers (flag 1: unregisters) the layer class.
[[nodiscard]] lvio_code lvio_char_coder_module(uint32_t flags);
