// Push-back buffers and the seek that fills them.
#include "lvio/pushback.h"

#include <cstring>

#include "lvio/buffer.h"
#include "lvio/layer.h"
#include "lvio/operation_flags.h"

namespace {

// The bytes become the unread push-back, followed by what was unread before.
lvio_code give_back(lvio_pushback* pushback, const uint8_t* bytes, uint64_t n) {
  if (pushback->buffer == nullptr) {
    pushback->buffer = lvio_buffer_create(bytes, n, LVIO_BUFFER_CREATE_COPY);
    if (pushback->buffer == nullptr) return LVIO_E_OUT_OF_MEMORY;
    pushback->offset = 0;
    return 0;
  }
  lvio_buffer* b = pushback->buffer;
  lvio_code rc = lvio_buffer_reserve(b, n);
  if (rc < 0) return rc;
  (void)lvio_buffer_set_position(b, pushback->offset);
  pushback->offset = 0;
  std::memmove(b->data + n, b->data, b->used);
  std::memcpy(b->data, bytes, n);
  b->used += n;
  return 0;
}

}  // namespace

uint64_t lvio_pushback_unread(const lvio_pushback* pushback) {
  if (pushback->buffer == nullptr) return 0;
  return pushback->buffer->used - static_cast<uint64_t>(pushback->offset);
}

uint64_t lvio_pushback_take(lvio_pushback* pushback, lvio_buffer* destination, uint32_t item_size) {
  uint64_t unread = lvio_pushback_unread(pushback);
  if (unread == 0) return 0;
  uint64_t room = destination->capacity > destination->used ? destination->capacity - destination->used : 0;
  uint64_t n = unread < room ? unread : room;
  n -= n % item_size;
  std::memcpy(destination->data + destination->used, pushback->buffer->data + pushback->offset, n);
  destination->used += n;
  pushback->offset += static_cast<int64_t>(n);
  return n;
}

void lvio_pushback_free(lvio_pushback* pushback) {
  lvio_buffer_free(pushback->buffer);
  pushback->buffer = nullptr;
  pushback->offset = 0;
}

lvio_code lvio_pushback_seek(lvio_layer* layer, lvio_pushback* pushback, int64_t* read_position, int64_t write_position,
                             uint32_t item_size, int64_t offset, int64_t* position, lvio_buffer* source,
                             uint32_t options) {
  if ((layer->flags & LVIO_LAYER_OPEN_READ) == 0) options &= ~LVIO_SEEK_READ_SIDE;
  if ((layer->flags & LVIO_LAYER_OPEN_WRITE) == 0) options &= ~LVIO_SEEK_WRITE_SIDE;
  if ((options & (LVIO_SEEK_READ_SIDE | LVIO_SEEK_WRITE_SIDE)) == 0) return LVIO_E_SEEK_ERROR;
  if ((options & (LVIO_SEEK_FROM_END | LVIO_SEEK_ABSOLUTE)) != 0) return LVIO_E_NOT_SUPPORTED;
  if ((options & LVIO_SEEK_RELATIVE) == 0) return LVIO_E_PARAMETER_ERROR;
  int64_t at;
  if ((options & LVIO_SEEK_READ_SIDE) != 0) {
    if ((options & LVIO_SEEK_WRITE_SIDE) != 0) return LVIO_E_INVALID_STATE;
    if (offset != 0) {
      if ((options & LVIO_SEEK_GIVE_BACK) == 0) return LVIO_E_NOT_SUPPORTED;
      if (source == nullptr || offset > 0) return LVIO_E_PARAMETER_ERROR;
      uint64_t n = 0 - static_cast<uint64_t>(offset);
      if (n > source->used || n / item_size > static_cast<uint64_t>(*read_position)) return LVIO_E_PARAMETER_ERROR;
      if (n % item_size != 0) return LVIO_E_GRANULARITY_ERROR;
      lvio_code rc = give_back(pushback, source->data + source->used - n, n);
      if (rc < 0) return rc;
      *read_position -= static_cast<int64_t>(n / item_size);
    }
    at = *read_position;
  } else {
    if (offset != 0) return LVIO_E_NOT_SUPPORTED;
    at = write_position;
  }
  if (position != nullptr) *position = at;
  return 0;
}
