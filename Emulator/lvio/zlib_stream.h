// The glue between the "zlib" layer and the zlib library: one compression
// (deflater) or decompression (inflater) stream in the zlib format (window
// bits 15, zlib header and Adler-32 trailer), with its memory from the I/O
// layer's allocator hook.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"
#include "lvio/span.h"

struct lvio_buffer;
struct lvio_zlib_stream;

// States of a stream.
constexpr uint32_t LVIO_ZLIB_FINISHING = 0x1;  // the end has been asked for
constexpr uint32_t LVIO_ZLIB_FAILED = 0x2;     // every later step is refused
constexpr uint32_t LVIO_ZLIB_ENDED = 0x4;      // the stream's end was reached

// Step options.
constexpr uint32_t LVIO_ZLIB_FINISH = 0x1;       // deflating: produce the end of the stream
constexpr uint32_t LVIO_ZLIB_INPUT_ENDED = 0x1;  // inflating: no more input will come

// A deflater at the default level; an inflater expecting a zlib header. A
// failing start is mapped by lvio_zlib_error_code.
[[nodiscard]] lvio_code lvio_zlib_deflater_create(lvio_zlib_stream** out);
[[nodiscard]] lvio_code lvio_zlib_inflater_create(lvio_zlib_stream** out);

// Mark the stream failed, end it and free it; null is ignored.
void lvio_zlib_deflater_free(lvio_zlib_stream* stream);
void lvio_zlib_inflater_free(lvio_zlib_stream* stream);

uint32_t lvio_zlib_state(const lvio_zlib_stream* stream);

// Deflates input (null: none) from *consumed on into the free room of
// output. 0 or LVIO_S_DONE (the end was produced) advance *consumed and the
// output; LVIO_E_NOT_ENOUGH_DATA when no progress was possible; finishing
// with input left LVIO_E_PARAMETER_ERROR; a step without finish after
// finishing began LVIO_E_INVALID_STATE; no output room LVIO_E_OUT_OF_MEMORY.
[[nodiscard]] lvio_code lvio_zlib_deflate_step(lvio_zlib_stream* stream, const lvio_span* input, uint64_t* consumed,
                                               lvio_buffer* output, uint32_t options);

// Inflates input (null: none) from *consumed on into the free room of
// output. 0 or LVIO_S_DONE (the end of the compressed stream) advance
// *consumed and the output; LVIO_E_NOT_ENOUGH_DATA when more input is
// needed; LVIO_E_END_OF_FILE after the end. Told that the input has ended
// while the stream has not, the stream fails with LVIO_E_ENCODING_INVALID: a
// cut-off stream is an error, not an end. Corrupt data fails it with
// LVIO_E_INVALID_STATE.
[[nodiscard]] lvio_code lvio_zlib_inflate_step(lvio_zlib_stream* stream, const lvio_buffer* input, uint64_t* consumed,
                                               lvio_buffer* output, uint32_t options);

// The code of a zlib result.
[[nodiscard]] lvio_code lvio_zlib_error_code(int zlib_result);
