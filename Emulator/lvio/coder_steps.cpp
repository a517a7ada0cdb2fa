// The conversion loops shared by every coder.
#include "lvio/coder_steps.h"

#include <cstring>

#include "lvio/buffer.h"
#include "lvio/coder_8bit_tables.h"
#include "lvio/coder_builtin.h"

namespace {

constexpr uint32_t CR = '\r';
constexpr uint32_t LF = '\n';
constexpr uint32_t BYTE_ORDER_MARK = 0xFEFF;

// Room for n more bytes in the output.
bool make_room(lvio_buffer* output, uint64_t n) {
  if (output->capacity >= output->used && output->capacity - output->used >= n) return true;
  return lvio_buffer_reserve(output, n) >= 0;
}

}  // namespace

lvio_code lvio_decode_run(lvio_t_coder* coder, const lvio_span* input, uint64_t* position, lvio_buffer* output,
                          uint32_t flags, lvio_decode_one decode) {
  const uint8_t* data = input->data;
  const uint64_t length = input->length;
  const bool crlf = (coder->flags & LVIO_CODER_CRLF) != 0;
  const bool auto_eol = (coder->flags & LVIO_CODER_AUTO_EOL) != 0;
  uint64_t i = *position;
  bool progress = false;
  lvio_code stop = LVIO_E_NOT_ENOUGH_DATA;
  while (i < length) {
    lvio_decoded d = decode(coder, data + i, length - i, flags);
    if (d.rc != 0) {
      stop = d.rc;
      break;
    }
    uint64_t taken = d.length;
    uint32_t raw = d.code_point;
    uint32_t delivered = raw;
    if (coder->state == LVIO_CODER_STATE_START && raw == BYTE_ORDER_MARK && (coder->flags & LVIO_CODER_DROP_BOM) != 0) {
      i += taken;
      coder->state = LVIO_CODER_STATE_NONE;
      progress = true;
      continue;
    }
    if (raw == CR && crlf) {
      // A CR waits for what follows it, unless the input has ended.
      if (i + taken == length) {
        if ((flags & LVIO_CONVERT_END_OF_INPUT) == 0) break;
      } else {
        lvio_decoded next = decode(coder, data + i + taken, length - i - taken, flags);
        if (next.rc == LVIO_E_NOT_ENOUGH_DATA) break;
        if (next.rc == 0 && next.code_point == LF) {
          taken += next.length;
          raw = delivered = LF;
        }
      }
    } else if (auto_eol) {
      if (raw == CR) {
        delivered = LF;
      } else if (raw == LF && coder->state == CR) {
        i += taken;
        coder->state = LF;
        progress = true;
        continue;
      }
    }
    if (!make_room(output, 4)) {
      stop = LVIO_E_OUT_OF_MEMORY;
      break;
    }
    std::memcpy(output->data + output->used, &delivered, 4);
    output->used += 4;
    i += taken;
    coder->state = raw;
    progress = true;
  }
  if (!progress) return stop;
  *position = i;
  return 0;
}

lvio_code lvio_encode_run(lvio_t_coder* coder, const lvio_span* input, uint64_t* position, lvio_buffer* output,
                          uint32_t flags, lvio_encode_one encode) {
  const uint8_t* data = input->data;
  const uint64_t length = input->length;
  const bool eight_bit = (coder->cls->flags & LVIO_CODER_CLASS_8BIT) != 0;
  const bool crlf = (coder->flags & LVIO_CODER_CRLF) != 0;
  const bool auto_eol = (coder->flags & LVIO_CODER_AUTO_EOL) != 0;
  uint64_t i = *position;
  bool progress = false;
  lvio_code stop = LVIO_E_NOT_ENOUGH_DATA;
  while (length - i >= 4) {
    uint32_t cp;
    std::memcpy(&cp, data + i, 4);
    uint8_t bytes[16];
    uint32_t n = 0;
    if (coder->state == LVIO_CODER_STATE_START && (coder->flags & LVIO_CODER_WRITE_BOM) != 0)
      n += encode(coder, BYTE_ORDER_MARK, bytes);
    if (cp == LF && eight_bit && auto_eol) {
      stop = LVIO_E_NOT_IMPLEMENTED;
      break;
    }
    if (cp == LF && crlf) n += encode(coder, CR, bytes + n);
    uint32_t m = encode(coder, cp, bytes + n);
    if (m == 0) {
      if (eight_bit && (flags & LVIO_CONVERT_REPLACE) != 0) {
        bytes[n] = static_cast<uint8_t>(reinterpret_cast<lvio_coder_class_8bit*>(coder->cls)->table->replacement);
        m = 1;
      } else if (!eight_bit && lvio_replace_unmappable(flags)) {
        m = encode(coder, LVIO_REPLACEMENT_CHARACTER, bytes + n);
      } else {
        stop = LVIO_E_ENCODING_UNMAPPABLE;
        break;
      }
    }
    n += m;
    if (!make_room(output, n)) {
      stop = LVIO_E_OUT_OF_MEMORY;
      break;
    }
    std::memcpy(output->data + output->used, bytes, n);
    output->used += n;
    i += 4;
    coder->state = cp;
    progress = true;
  }
  if (!progress) return stop;
  *position = i;
  return 0;
}
