// In-process pipes: two simple devices over one shared byte buffer, a
// reading end and a writing end, wrapped into a pair of streams. The two
// ends may be used on different threads.
#pragma once

#include <cstdint>

#include "streams/stream.h"

// The two device ends of a new pipe, each pushed onto its chain slot: 0 or
// a negative code (nothing is left made then).
int64_t lv_pipe_create(lvio_layer** reading, lvio_layer** writing);

// Options of lv_open_pipe_streams.
constexpr uint32_t LV_PIPE_STANDARD = 0x1;
constexpr uint32_t LV_PIPE_INTERACTIVE = 0x2;

// A pipe as an input stream and an output stream. An encoding name makes
// that end a text stream coded in it, null a binary one. 0 or a negative
// code (nothing is left open then).
int64_t lv_open_pipe_streams(const char* input_encoding, lv_stream** input, const char* output_encoding,
                             lv_stream** output, uint32_t options);
