// The printf family of the stream layer: formatted text written to streams
// as UTF-8.
#include "streams/stream_print.h"

#include <cstdio>

#include "core/memory.h"
#include "lvio/result_codes.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"

namespace {

constexpr uint32_t FORMAT_MEM = lv_mem_flags(LV_CAT_MISC);

}  // namespace

int64_t lv_format(lv_formatted* out, const char* format, va_list args) {
  out->text = out->buffer;
  out->length = 0;
  out->allocated = 0;
  out->buffer[0] = '\0';
  va_list again;
  va_copy(again, args);
  int n = vsnprintf(out->buffer, sizeof out->buffer, format, args);
  if (n < 0) {
    va_end(again);
    return LVIO_E_PARAMETER_ERROR;
  }
  out->length = static_cast<size_t>(n);
  if (out->length < sizeof out->buffer) {
    va_end(again);
    return 0;
  }
  size_t size = (out->length + 1 + 15) & ~static_cast<size_t>(15);
  char* block = static_cast<char*>(lv_mem_alloc(size, FORMAT_MEM));
  if (block == nullptr) {
    va_end(again);
    return LVIO_E_OUT_OF_MEMORY;
  }
  out->allocated = size;
  out->text = block;
  int m = vsnprintf(block, size, format, again);
  va_end(again);
  if (m < 0 || static_cast<size_t>(m) != out->length) return LVIO_E_PARAMETER_ERROR;
  return 0;
}

void lv_formatted_free(lv_formatted* out) {
  if (out->allocated != 0) lv_mem_free(out->text, out->allocated, FORMAT_MEM);
  out->allocated = 0;
  out->text = out->buffer;
}

int64_t lv_stream_vprintf(lv_stream* stream, const char* format, va_list args) {
  if (stream == nullptr) return LVIO_E_PARAMETER_ERROR;
  lv_formatted text;
  int64_t rc = lv_format(&text, format, args);
  if (rc >= 0) rc = LV_put_encoded_string(stream, text.text, 0);
  lv_formatted_free(&text);
  return rc < 0 ? rc : 0;
}

int64_t LV_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int64_t rc = lv_stream_vprintf(lv_streams.user[LV_STD_OUTPUT], format, args);
  va_end(args);
  return rc;
}

int64_t LV_fprintf(lv_stream* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int64_t rc = lv_stream_vprintf(stream, format, args);
  va_end(args);
  return rc;
}
