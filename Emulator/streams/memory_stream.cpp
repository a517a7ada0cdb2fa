// Memory devices and the streams made over them.
#include "streams/memory_stream.h"

#include <cstring>

#include "core/memory.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "lvio/simple_device.h"
#include "streams/stream_internal.h"
#include "streams/stream_open.h"

namespace {

struct memory_device {
  uint32_t mode;  // LV_MEMORY_OWNS_BUFFER, LV_MEMORY_READABLE, LV_MEMORY_WRITABLE
  lvio_buffer* buffer;
  uint64_t read_offset;
  void* close_data;
  lv_memory_close_fn close;
};

const char memory_device_tag = 0;

uint64_t item_size(uint32_t options) { return (options & LVIO_DEVICE_BYTE_ITEMS) != 0 ? 1 : 4; }

int64_t memory_read(void* user, void* destination, uint64_t* size, uint32_t options) {
  auto* m = static_cast<memory_device*>(user);
  if (m->buffer->used <= m->read_offset) {
    *size = 0;
    return LVIO_E_END_OF_FILE;
  }
  uint64_t left = m->buffer->used - m->read_offset;
  uint64_t n = left < *size ? left : *size;
  n -= n % item_size(options);
  if (n != 0) std::memcpy(destination, m->buffer->data + m->read_offset, n);
  m->read_offset += n;
  *size = n;
  return 0;
}

int64_t memory_write(void* user, const void* source, uint64_t* size, uint32_t options) {
  auto* m = static_cast<memory_device*>(user);
  uint64_t n = *size - *size % item_size(options);
  int64_t rc = lvio_buffer_append(m->buffer, source, n);
  if (rc < 0) {
    *size = 0;
    return rc;
  }
  *size = n;
  return 0;
}

void free_device(memory_device* m) {
  if ((m->mode & LV_MEMORY_OWNS_BUFFER) != 0) lvio_buffer_free(m->buffer);
  lv_mem_free(m, sizeof *m, LV_STREAM_MEM);
}

int64_t memory_close(void** user, uint32_t sides, int abortive) {
  auto* m = static_cast<memory_device*>(*user);
  if (m == nullptr) return 0;
  bool read_gone = (sides & LVIO_DEVICE_CLOSE_READ) != 0 || (m->mode & LV_MEMORY_READABLE) == 0;
  bool write_gone = (sides & LVIO_DEVICE_CLOSE_WRITE) != 0 || (m->mode & LV_MEMORY_WRITABLE) == 0;
  if (!read_gone || !write_gone) {
    if ((sides & LVIO_DEVICE_CLOSE_READ) != 0) m->mode &= ~LV_MEMORY_READABLE;
    if ((sides & LVIO_DEVICE_CLOSE_WRITE) != 0) m->mode &= ~LV_MEMORY_WRITABLE;
    return 0;
  }
  int64_t rc = 0;
  if (m->close != nullptr)
    rc = m->close(m->close_data, sides, write_gone ? 1 : 0, (sides & LVIO_DEVICE_CLOSE_READ) != 0 ? 1 : 0);
  if (rc < 0 && abortive == 0 && (sides & LVIO_DEVICE_CLOSE_ABORTIVE) == 0) return rc;
  free_device(m);
  *user = nullptr;
  return 0;
}

int64_t memory_control(void*, uint32_t request, void*, uint32_t) {
  return request == 10 ? LVIO_S_NOT_SUPPORTED : LVIO_E_NOT_IMPLEMENTED;
}

// Frees adopted bytes when the stream over them closes.
int64_t free_adopted(void* data, uint32_t, int, int) {
  LV_free(data);
  return 0;
}

}  // namespace

int64_t lv_memory_device_create(lvio_layer** chain, lvio_buffer* buffer, void* close_data, lv_memory_close_fn close,
                                uint32_t options) {
  if (chain == nullptr || buffer == nullptr || (options & (LV_MEMORY_READABLE | LV_MEMORY_WRITABLE)) == 0) {
    if ((options & LV_MEMORY_OWNS_BUFFER) != 0) lvio_buffer_free(buffer);
    return LVIO_E_PARAMETER_ERROR;
  }
  auto* m = static_cast<memory_device*>(lv_mem_alloc(sizeof(memory_device), LV_STREAM_MEM));
  if (m == nullptr) {
    if ((options & LV_MEMORY_OWNS_BUFFER) != 0) lvio_buffer_free(buffer);
    return LVIO_E_OUT_OF_MEMORY;
  }
  *m = {options & (LV_MEMORY_OWNS_BUFFER | LV_MEMORY_READABLE | LV_MEMORY_WRITABLE), buffer, 0, close_data, close};
  bool readable = (options & LV_MEMORY_READABLE) != 0;
  bool writable = (options & LV_MEMORY_WRITABLE) != 0;
  int64_t rc = lvio_make_simple_device(chain, m, &memory_device_tag, readable ? memory_read : nullptr,
                                       writable ? memory_write : nullptr, nullptr, nullptr, memory_close, nullptr,
                                       memory_control,
                                       (options & LV_MEMORY_BYTE_ITEMS) != 0 ? LVIO_DEVICE_BYTES : LVIO_DEVICE_CODES);
  if (rc < 0) free_device(m);
  return rc;
}

int lv_stream_from_string(const char* text, lv_stream** out) {
  if (text == nullptr || out == nullptr) return 0;
  lvio_buffer* buffer = lvio_buffer_create(text, std::strlen(text), LVIO_BUFFER_CREATE_COPY);
  if (buffer == nullptr) return 0;
  lvio_layer* chain = nullptr;
  if (lv_memory_device_create(&chain, buffer, nullptr, nullptr,
                              LV_MEMORY_OWNS_BUFFER | LV_MEMORY_READABLE | LV_MEMORY_BYTE_ITEMS) < 0)
    return 0;
  lvio_coder_class* utf8 = nullptr;
  int64_t rc = lvio_coder_class_open(&utf8, "UTF-8", nullptr, 0);
  if (rc >= 0) {
    rc = lv_make_coded_stream(&chain, utf8, nullptr, LV_CODER_INPUT | LV_CODER_IN_LF);
    lvio_coder_class_unref(utf8);
  }
  if (rc >= 0) rc = lv_make_stream_from_layers(chain, out, LV_MAKE_INPUT | LV_MAKE_TEXT);
  if (rc < 0) {
    (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);
    return 0;
  }
  return 1;
}

int64_t lv_stream_from_memory(void* bytes, int64_t length, lv_stream** out, uint32_t options) {
  bool adopt = (options & LV_FROM_MEMORY_ADOPT) != 0;
  if (out == nullptr || length < 0 || (bytes == nullptr && length != 0) ||
      (options & (LV_FROM_MEMORY_READ | LV_FROM_MEMORY_WRITE)) == 0) {
    if (adopt) LV_free(bytes);
    return LVIO_E_PARAMETER_ERROR;
  }
  uint64_t n = static_cast<uint64_t>(length);
  lvio_buffer* buffer = adopt ? lvio_buffer_create(bytes, n, 0) : lvio_buffer_create(bytes, n, LVIO_BUFFER_CREATE_COPY);
  if (buffer == nullptr) {
    if (adopt) LV_free(bytes);
    return LVIO_E_OUT_OF_MEMORY;
  }
  bool readable = (options & LV_FROM_MEMORY_READ) != 0;
  bool writable = (options & LV_FROM_MEMORY_WRITE) != 0;
  uint32_t device = LV_MEMORY_OWNS_BUFFER | (readable ? LV_MEMORY_READABLE : 0) | (writable ? LV_MEMORY_WRITABLE : 0);
  lvio_layer* chain = nullptr;
  int64_t rc = lv_memory_device_create(&chain, buffer, adopt ? bytes : nullptr, adopt ? free_adopted : nullptr, device);
  if (rc < 0) {
    if (adopt) LV_free(bytes);
    return rc;
  }
  uint32_t make = LV_MAKE_TEXT | LV_MAKE_LINE_FLUSH | (readable ? LV_MAKE_INPUT : 0) | (writable ? LV_MAKE_OUTPUT : 0);
  rc = lv_make_stream_from_layers(chain, out, make);
  if (rc < 0) (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);
  return rc;
}
