// The zlib glue.
#include "lvio/zlib_stream.h"

#include <zlib.h>

#include <climits>
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/buffer.h"

struct lvio_zlib_stream {
  z_stream z;
  uint32_t state;
};

namespace {

constexpr int WINDOW_BITS = 15;  // zlib header and Adler-32 trailer
constexpr int MEMORY_LEVEL = 8;

uInt clamp(uint64_t n) { return n > UINT_MAX ? UINT_MAX : static_cast<uInt>(n); }

lvio_code create(lvio_zlib_stream** out, bool deflater) {
  auto* s = static_cast<lvio_zlib_stream*>(lvio_alloc(sizeof(lvio_zlib_stream)));
  if (s == nullptr) return LVIO_E_OUT_OF_MEMORY;
  std::memset(static_cast<void*>(s), 0, sizeof *s);
  s->z.zalloc = lvio_zalloc;
  s->z.zfree = lvio_zfree;
  s->z.opaque = s;
  // The init macros hand zlib its own version text and record size, so the
  // library checks them itself.
  int rc = deflater
               ? deflateInit2(&s->z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WINDOW_BITS, MEMORY_LEVEL, Z_DEFAULT_STRATEGY)
               : inflateInit2(&s->z, WINDOW_BITS);
  if (rc != Z_OK) {
    lvio_free(s);
    return lvio_zlib_error_code(rc);
  }
  *out = s;
  return 0;
}

bool no_room(const lvio_buffer* output) { return output->capacity <= output->used; }

// One call of deflate or inflate over the input and the output's free
// room. Successes move *consumed and the output on; zlib's results map to
// codes, and stream and data errors fail the stream.
lvio_code run(lvio_zlib_stream* s, const uint8_t* input, uint64_t available, uint64_t* consumed, lvio_buffer* output,
              int (*step)(z_streamp, int), int flush) {
  s->z.next_in = available != 0 ? const_cast<Bytef*>(input) : Z_NULL;
  s->z.avail_in = clamp(available);
  s->z.next_out = output->data + output->used;
  s->z.avail_out = clamp(output->capacity - output->used);
  uInt avail_in = s->z.avail_in;
  uInt avail_out = s->z.avail_out;
  lvio_code result;
  switch (step(&s->z, flush)) {
    case Z_OK:
      result = 0;
      break;
    case Z_STREAM_END:
      s->state |= LVIO_ZLIB_ENDED;
      result = LVIO_S_DONE;
      break;
    case Z_BUF_ERROR:
      result = LVIO_E_NOT_ENOUGH_DATA;
      break;
    case Z_MEM_ERROR:
      result = LVIO_E_OUT_OF_MEMORY;
      break;
    case Z_DATA_ERROR:
      s->state |= LVIO_ZLIB_FAILED;
      result = LVIO_E_INVALID_STATE;
      break;
    case Z_NEED_DICT:
      result = LVIO_E_INVALID_STATE;
      break;
    case Z_STREAM_ERROR:
      s->state |= LVIO_ZLIB_FAILED;
      result = LVIO_E_INTERNAL_ERROR;
      break;
    default:
      result = LVIO_E_INTERNAL_ERROR;
      break;
  }
  if (result >= 0) {
    *consumed += avail_in - s->z.avail_in;
    output->used += avail_out - s->z.avail_out;
  }
  s->z.next_in = Z_NULL;
  s->z.avail_in = 0;
  s->z.next_out = Z_NULL;
  s->z.avail_out = 0;
  return result;
}

}  // namespace

lvio_code lvio_zlib_deflater_create(lvio_zlib_stream** out) { return create(out, true); }

lvio_code lvio_zlib_inflater_create(lvio_zlib_stream** out) { return create(out, false); }

void lvio_zlib_deflater_free(lvio_zlib_stream* stream) {
  if (stream == nullptr) return;
  stream->state |= LVIO_ZLIB_FAILED;
  deflateEnd(&stream->z);
  lvio_free(stream);
}

void lvio_zlib_inflater_free(lvio_zlib_stream* stream) {
  if (stream == nullptr) return;
  stream->state |= LVIO_ZLIB_FAILED;
  inflateEnd(&stream->z);
  lvio_free(stream);
}

uint32_t lvio_zlib_state(const lvio_zlib_stream* stream) { return stream->state; }

lvio_code lvio_zlib_deflate_step(lvio_zlib_stream* s, const lvio_span* input, uint64_t* consumed, lvio_buffer* output,
                                 uint32_t options) {
  if ((s->state & LVIO_ZLIB_FAILED) != 0) return LVIO_E_INVALID_STATE;
  uint64_t available = input != nullptr ? input->length - *consumed : 0;
  if ((s->state & LVIO_ZLIB_FINISHING) != 0 || (options & LVIO_ZLIB_FINISH) != 0) {
    if ((options & LVIO_ZLIB_FINISH) == 0) return LVIO_E_INVALID_STATE;
    if (available != 0) return LVIO_E_PARAMETER_ERROR;
    s->state |= LVIO_ZLIB_FINISHING;
  }
  if ((s->state & LVIO_ZLIB_ENDED) != 0) return LVIO_S_DONE;
  if (no_room(output)) return LVIO_E_OUT_OF_MEMORY;
  const uint8_t* from = available != 0 ? input->data + *consumed : nullptr;
  return run(s, from, available, consumed, output, deflate,
             (s->state & LVIO_ZLIB_FINISHING) != 0 ? Z_FINISH : Z_NO_FLUSH);
}

lvio_code lvio_zlib_inflate_step(lvio_zlib_stream* s, const lvio_buffer* input, uint64_t* consumed, lvio_buffer* output,
                                 uint32_t options) {
  if ((s->state & LVIO_ZLIB_FAILED) != 0) return LVIO_E_INVALID_STATE;
  if ((s->state & LVIO_ZLIB_ENDED) != 0) return LVIO_E_END_OF_FILE;
  if ((options & LVIO_ZLIB_INPUT_ENDED) != 0) {
    s->state |= LVIO_ZLIB_FAILED;
    return LVIO_E_ENCODING_INVALID;
  }
  if (no_room(output)) return LVIO_E_OUT_OF_MEMORY;
  uint64_t available = input != nullptr ? input->used - *consumed : 0;
  const uint8_t* from = available != 0 ? input->data + *consumed : nullptr;
  return run(s, from, available, consumed, output, inflate, Z_NO_FLUSH);
}

lvio_code lvio_zlib_error_code(int zlib_result) {
  switch (zlib_result) {
    case Z_OK:
    case Z_STREAM_END:
    case Z_NEED_DICT:
    case Z_ERRNO:
      return LVIO_E_INTERNAL_ERROR;
    case Z_MEM_ERROR:
    case Z_BUF_ERROR:
      return LVIO_E_OUT_OF_MEMORY;
    case Z_STREAM_ERROR:
    case Z_DATA_ERROR:
      return LVIO_E_INVALID_STATE;
    default:
      return LVIO_E_IMPOSSIBLE_ERROR;
  }
}
