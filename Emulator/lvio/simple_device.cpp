// Simple devices.
#include "lvio/simple_device.h"

#include "lvio/allocator.h"
#include "lvio/buffer.h"
#include "lvio/layer_sides.h"
#include "lvio/operation_flags.h"

namespace {

constexpr uint32_t CHAIN_READ_NO_WAIT = 0x4;
constexpr uint32_t CHAIN_WRITE_NO_WAIT = 0x1;

lvio_simple_device* self(lvio_layer** chain) { return reinterpret_cast<lvio_simple_device*>(*chain); }

bool valid_item_size(uint32_t n) { return n == 1 || n == 4; }
uint32_t item_option(uint32_t n) { return n == 1 ? LVIO_DEVICE_BYTE_ITEMS : LVIO_DEVICE_CODE_ITEMS; }

lvio_code default_read(void*, void*, uint64_t*, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }
lvio_code default_write(void*, const void*, uint64_t*, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }
lvio_code default_flush(void*, uint32_t) { return 0; }
lvio_code default_spare1(void*) { return LVIO_E_NOT_IMPLEMENTED; }
void default_spare2(void*) {}
lvio_code default_control(void*, uint32_t, void*, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }

lvio_code device_read(lvio_layer** chain, lvio_buffer* destination, uint32_t options) {
  lvio_simple_device* d = self(chain);
  uint32_t item = lvio_layer_read_item_size(&d->header);
  if (!valid_item_size(item)) return LVIO_E_INTERNAL_ERROR;
  if (destination->capacity < destination->used || destination->capacity - destination->used < item) {
    lvio_code rc = lvio_buffer_reserve(destination, item);
    if (rc < 0) return rc;
  }
  if (lvio_pushback_unread(&d->pushback) != 0) {
    d->read_position += static_cast<int64_t>(lvio_pushback_take(&d->pushback, destination, item) / item);
    return 0;
  }
  uint64_t room = destination->capacity - destination->used;
  uint64_t size = room;
  uint32_t device_options = item_option(item) | ((options & CHAIN_READ_NO_WAIT) != 0 ? LVIO_DEVICE_NO_WAIT : 0);
  lvio_code rc = d->read(d->user_data, destination->data + destination->used, &size, device_options);
  if (rc < 0) return rc;
  if (size > room) size = room;
  destination->used += size;
  d->read_position += static_cast<int64_t>(size / item);
  return 0;
}

lvio_code device_write(lvio_layer** chain, lvio_buffer* source, uint64_t* position, uint32_t options) {
  lvio_simple_device* d = self(chain);
  uint32_t item = lvio_layer_write_item_size(&d->header);
  if (!valid_item_size(item)) return LVIO_E_INTERNAL_ERROR;
  uint64_t pending = source->used - *position;
  uint64_t whole = pending - pending % item;
  if (whole == 0) return pending != 0 ? LVIO_E_PARAMETER_ERROR : 0;
  uint64_t size = whole;
  uint32_t device_options = item_option(item) | ((options & CHAIN_WRITE_NO_WAIT) != 0 ? LVIO_DEVICE_NO_WAIT : 0);
  lvio_code rc = d->write(d->user_data, source->data + *position, &size, device_options);
  if (rc < 0) return rc;
  if (size > whole) size = whole;
  // A device that reports success but takes nothing would make a caller
  // that writes everything loop for ever.
  if (size == 0) return LVIO_E_WRITE_ERROR;
  *position += size;
  d->write_position += static_cast<int64_t>(size / item);
  return 0;
}

lvio_code device_sync(lvio_layer** chain, uint32_t options) {
  lvio_simple_device* d = self(chain);
  lvio_code rc = 0;
  if ((options & LVIO_OP_WRITE) != 0 && (d->header.flags & LVIO_LAYER_OPEN_WRITE) != 0)
    rc = d->flush(d->user_data, options & LVIO_OP_ABORTIVE);
  if (rc >= 0 && (options & LVIO_OP_READ) != 0 && (d->header.flags & LVIO_LAYER_OPEN_READ) != 0 &&
      (options & LVIO_SYNC_CLOSING) == 0 && lvio_pushback_unread(&d->pushback) != 0)
    rc = LVIO_E_INVALID_STATE;
  return rc;
}

lvio_code device_seek(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer* source, uint32_t options) {
  lvio_simple_device* d = self(chain);
  uint32_t item = (options & LVIO_SEEK_READ_SIDE) != 0 ? lvio_layer_read_item_size(&d->header)
                                                       : lvio_layer_write_item_size(&d->header);
  if (!valid_item_size(item)) item = 1;
  return lvio_pushback_seek(&d->header, &d->pushback, &d->read_position, d->write_position, item, offset, position,
                            source, options);
}

// The close callback hears of the sides that are still there; a device
// without sides left leaves the chain.
lvio_code device_close(lvio_layer** chain, uint32_t options) {
  lvio_simple_device* d = self(chain);
  uint32_t flags = d->header.flags;
  uint32_t sides = 0;
  if ((options & LVIO_OP_READ) != 0 && (flags & LVIO_LAYER_READ_SIDE) != 0 && (flags & LVIO_LAYER_CAN_READ) != 0)
    sides |= LVIO_DEVICE_CLOSE_READ;
  if ((options & LVIO_OP_WRITE) != 0 && (flags & LVIO_LAYER_WRITE_SIDE) != 0 && (flags & LVIO_LAYER_CAN_WRITE) != 0)
    sides |= LVIO_DEVICE_CLOSE_WRITE;
  int abortive = (options & LVIO_OP_ABORTIVE) != 0 ? 1 : 0;
  if (sides != 0 && d->user_data != nullptr) {
    lvio_code rc = d->close(&d->user_data, sides | (abortive != 0 ? LVIO_DEVICE_CLOSE_ABORTIVE : 0), abortive);
    if (rc < 0) return rc;
  }
  if ((options & LVIO_OP_READ) != 0) d->header.flags &= ~(LVIO_LAYER_OPEN_READ | LVIO_LAYER_READ_SIDE);
  if ((options & LVIO_OP_WRITE) != 0) d->header.flags &= ~(LVIO_LAYER_OPEN_WRITE | LVIO_LAYER_WRITE_SIDE);
  if ((d->header.flags & (LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE)) == 0) {
    lvio_layer_unlink(chain);
    lvio_layer_call_finalize(&d->header);
  }
  return 0;
}

lvio_code device_push(const lvio_class*, lvio_layer**, const lvio_option*, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }

lvio_code device_pop(const lvio_class*, lvio_layer**, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }

void device_finalize(lvio_layer* layer) {
  auto* d = reinterpret_cast<lvio_simple_device*>(layer);
  lvio_pushback_free(&d->pushback);
  lvio_layer_finalize(layer);
  lvio_free(d);
}

lvio_code device_open(const lvio_class*, lvio_layer**, const lvio_option*, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }

lvio_code device_control(lvio_layer** chain, uint32_t request, void* argument, uint32_t options) {
  lvio_simple_device* d = self(chain);
  return d->control(d->user_data, request, argument, options);
}

}  // namespace

const lvio_class lvio_simple_device_class = {
    LVIO_CLASS_RECORD_SIZE,
    "simple_device",
    {sizeof(lvio_simple_device)},
    0,
    0,
    {{device_read, device_write, device_sync, device_seek, device_close, device_push, device_pop, device_finalize,
      device_open, device_control}},
};

lvio_code lvio_make_simple_device(lvio_layer** chain, void* user_data, const void* class_tag, lvio_device_read_fn read,
                                  lvio_device_write_fn write, lvio_device_flush_fn flush, lvio_device_spare1_fn spare1,
                                  lvio_device_close_fn close, lvio_device_spare2_fn spare2,
                                  lvio_device_control_fn control, uint32_t options) {
  uint32_t kind = options & (LVIO_DEVICE_BYTES | LVIO_DEVICE_CODES);
  if (kind != LVIO_DEVICE_BYTES && kind != LVIO_DEVICE_CODES) return LVIO_E_PARAMETER_ERROR;
  if ((read == nullptr && write == nullptr) || close == nullptr) return LVIO_E_PARAMETER_ERROR;
  auto* d = static_cast<lvio_simple_device*>(lvio_alloc(sizeof(lvio_simple_device)));
  if (d == nullptr) return LVIO_E_OUT_OF_MEMORY;
  uint32_t item = kind == LVIO_DEVICE_BYTES ? 1 : 4;
  uint32_t flags = 0;
  if (read != nullptr) flags |= lvio_layer_reading_flags(item);
  if (write != nullptr) flags |= lvio_layer_writing_flags(item);
  lvio_layer_init(&d->header, &lvio_simple_device_class, flags);
  d->pushback = {nullptr, 0};
  d->read_position = 0;
  d->write_position = 0;
  d->user_data = user_data;
  d->class_tag = class_tag;
  d->read = read != nullptr ? read : default_read;
  d->write = write != nullptr ? write : default_write;
  d->flush = flush != nullptr ? flush : default_flush;
  d->spare1 = spare1 != nullptr ? spare1 : default_spare1;
  d->close = close;
  d->spare2 = spare2 != nullptr ? spare2 : default_spare2;
  d->control = control != nullptr ? control : default_control;
  lvio_layer_link(chain, &d->header);
  return 0;
}

lvio_code lvio_simple_device_user_data(lvio_layer** chain, const void* class_tag, void** user_data) {
  lvio_layer* layer;
  if (lvio_find_layer(chain, &lvio_simple_device_class, &layer, 0) < 0) return LVIO_E_NOT_FOUND;
  auto* d = reinterpret_cast<lvio_simple_device*>(layer);
  if (d->class_tag != class_tag) return LVIO_E_NOT_FOUND;
  *user_data = d->user_data;
  return 0;
}
