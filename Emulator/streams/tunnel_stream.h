// Output tunnels: a device that wraps every write into a line
// "TUNNEL APPEND <channel> <escaped data>" on another stream, the carrier,
// so that several logical streams share one connection. In the data, byte 0
// is sent as 1 2, byte 1 as 1 1, carriage return as 1 3 and newline as 0.
#pragma once

#include <cstdint>

#include "streams/stream.h"

// Options of lv_tunnel_layer_create.
constexpr uint32_t LV_TUNNEL_FLAG_0X1 = 0x1;  // kept as tunnel flag 0x2
constexpr uint32_t LV_TUNNEL_BYTES = 0x2;     // required: the device moves bytes

// Pushes a tunnel device for the channel over the carrier onto the chain
// slot: 0, LVIO_E_PARAMETER_ERROR (no carrier or name, or LV_TUNNEL_BYTES
// missing), LVIO_E_OUT_OF_MEMORY.
int64_t lv_tunnel_layer_create(lv_stream* carrier, const char* channel, lvio_layer** chain, uint32_t options);

// Options of lv_open_tunnel_output.
constexpr uint32_t LV_TUNNEL_INTERACTIVE = 0x2;
constexpr uint32_t LV_TUNNEL_STANDARD = 0x4;
constexpr uint32_t LV_TUNNEL_BINARY = 0x8;

// An output stream tunnelled over the carrier: text coded as UTF-8 unless
// LV_TUNNEL_BINARY. 0 or a negative code.
int64_t lv_open_tunnel_output(lv_stream* carrier, const char* channel, lv_stream** out, uint32_t options);

// Decodes escaped tunnel data in place: the decoded length,
// LVIO_E_NOT_ENOUGH_DATA for a lone escape byte at the end, or
// LVIO_E_ENCODING_INVALID for an escape byte followed by anything but 1, 2
// or 3.
int64_t lv_tunnel_decode(uint8_t* data, int64_t length);
