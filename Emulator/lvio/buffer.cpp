// Growable byte buffers.
#include "lvio/buffer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/settings.h"

namespace {

constexpr uint64_t DEFAULT_ITEMS = 100;
constexpr uint64_t ITEM_BYTES = 8;

uint64_t buffer_items = DEFAULT_ITEMS;

// Rounded up to a multiple of 8, 8 for 0; 0 when the size cannot be rounded.
uint64_t round_capacity(uint64_t n) {
  if (n == 0) return 8;
  if (n > UINT64_MAX - 7) return 0;
  return (n + 7) & ~uint64_t{7};
}

uint64_t max64(uint64_t a, uint64_t b) { return a > b ? a : b; }

// Moves the buffer to a block of the given capacity (a multiple of 8),
// keeping min(used, capacity) bytes.
lvio_code move_to_capacity(lvio_buffer* b, uint64_t capacity) {
  if (capacity == 0) return LVIO_E_OUT_OF_MEMORY;
  uint8_t* data;
  uint64_t keep = b->used < capacity ? b->used : capacity;
  if ((b->flags & LVIO_BUFFER_BORROWED) != 0) {
    if ((b->flags & LVIO_BUFFER_FIXED) != 0) return LVIO_E_OUT_OF_MEMORY;
    data = static_cast<uint8_t*>(lvio_alloc(capacity));
    if (data == nullptr) return LVIO_E_OUT_OF_MEMORY;
    if (keep != 0) std::memcpy(data, b->data, keep);
    b->flags &= ~uint32_t{LVIO_BUFFER_BORROWED};
  } else {
    data = static_cast<uint8_t*>(lvio_realloc(b->data, capacity));
    if (data == nullptr) return LVIO_E_OUT_OF_MEMORY;
  }
  b->data = data;
  b->capacity = capacity;
  b->used = keep;
  return 0;
}

// Room for n more bytes (at least one), growing by at least the default.
lvio_code grow_for(lvio_buffer* b, uint64_t n) {
  uint64_t need = max64(n, 1);
  if (b->capacity >= b->used && b->capacity - b->used >= need) return 0;
  uint64_t step = max64(n, lvio_buffer_default_bytes());
  if (step > UINT64_MAX - b->used) return LVIO_E_OUT_OF_MEMORY;
  return move_to_capacity(b, round_capacity(b->used + step));
}

}  // namespace

uint64_t lvio_buffer_default_bytes() { return buffer_items * ITEM_BYTES; }

lvio_buffer* lvio_buffer_create(const void* source, uint64_t size, uint32_t flags) {
  auto* b = static_cast<lvio_buffer*>(lvio_alloc(sizeof(lvio_buffer)));
  if (b == nullptr) return nullptr;
  b->flags = (flags & LVIO_BUFFER_CREATE_FIXED) != 0 ? LVIO_BUFFER_FIXED : 0;
  if (source != nullptr && (flags & LVIO_BUFFER_CREATE_COPY) == 0) {
    b->data = static_cast<uint8_t*>(const_cast<void*>(source));
    b->used = size;
    b->capacity = size;
    b->flags |= LVIO_BUFFER_BORROWED;
  } else {
    uint64_t capacity = round_capacity(source != nullptr ? max64(size, 1)
                                       : size != 0       ? size
                                                         : lvio_buffer_default_bytes());
    b->data = capacity != 0 ? static_cast<uint8_t*>(lvio_alloc(capacity)) : nullptr;
    if (b->data == nullptr) {
      lvio_free(b);
      return nullptr;
    }
    b->used = 0;
    b->capacity = capacity;
    if (source != nullptr) {
      std::memcpy(b->data, source, size);
      b->used = size;
    }
  }
  if ((flags & LVIO_BUFFER_CREATE_NO_CAPACITY) != 0) b->capacity = 0;
  return b;
}

void lvio_buffer_init(lvio_buffer* buffer) {
  buffer->data = nullptr;
  buffer->used = 0;
  buffer->capacity = 0;
  buffer->flags = LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD;
}

lvio_code lvio_buffer_reserve(lvio_buffer* buffer, uint64_t n) { return grow_for(buffer, n); }

lvio_code lvio_buffer_set_capacity(lvio_buffer* buffer, uint64_t n) {
  return move_to_capacity(buffer, round_capacity(n));
}

lvio_code lvio_buffer_reset_reserve(lvio_buffer* buffer, uint64_t n) {
  uint64_t used = buffer->used;
  buffer->used = 0;
  lvio_code rc = grow_for(buffer, n);
  if (rc < 0) buffer->used = used;
  return rc;
}

lvio_code lvio_buffer_trim(lvio_buffer* buffer) {
  if ((buffer->flags & LVIO_BUFFER_BORROWED) != 0) return 0;
  return move_to_capacity(buffer, round_capacity(buffer->used));
}

lvio_code lvio_buffer_append(lvio_buffer* buffer, const void* bytes, uint64_t n) {
  if (n == 0) return 0;
  lvio_code rc = grow_for(buffer, n);
  if (rc < 0) return rc;
  std::memcpy(buffer->data + buffer->used, bytes, n);
  buffer->used += n;
  return 0;
}

lvio_code lvio_buffer_append_string(lvio_buffer* buffer, const char* text) {
  return lvio_buffer_append(buffer, text, std::strlen(text));
}

lvio_code lvio_buffer_append_byte(lvio_buffer* buffer, uint8_t byte) {
  if (buffer->used >= buffer->capacity) {
    lvio_code rc = grow_for(buffer, 1);
    if (rc < 0) return rc;
  }
  buffer->data[buffer->used++] = byte;
  return 0;
}

lvio_code lvio_buffer_append_buffer(lvio_buffer* buffer, const lvio_buffer* other) {
  uint64_t n = other->used;
  if (n == 0) return 0;
  // The source is read after the growth, so a buffer may append itself.
  lvio_code rc = grow_for(buffer, n);
  if (rc < 0) return rc;
  std::memcpy(buffer->data + buffer->used, other->data, n);
  buffer->used += n;
  return 0;
}

lvio_code lvio_buffer_pop_byte(lvio_buffer* buffer, uint8_t* byte) {
  if (buffer->used == 0) return LVIO_E_ERROR;
  *byte = buffer->data[--buffer->used];
  return 0;
}

lvio_code lvio_buffer_set_position(lvio_buffer* buffer, int64_t n) {
  uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  if (magnitude > buffer->used) return LVIO_E_PARAMETER_ERROR;
  if (n > 0) {
    if ((buffer->flags & LVIO_BUFFER_BORROWED) != 0) {
      buffer->data += magnitude;
      buffer->capacity = buffer->capacity > magnitude ? buffer->capacity - magnitude : 0;
    } else {
      std::memmove(buffer->data, buffer->data + magnitude, buffer->used - magnitude);
    }
  }
  buffer->used -= magnitude;
  return 0;
}

lvio_code lvio_buffer_take(lvio_buffer* buffer, uint8_t** data, uint64_t* length) {
  if ((buffer->flags & LVIO_BUFFER_BORROWED) != 0) {
    auto* copy = static_cast<uint8_t*>(lvio_alloc(buffer->used));
    if (copy == nullptr) return LVIO_E_OUT_OF_MEMORY;
    if (buffer->used != 0) std::memcpy(copy, buffer->data, buffer->used);
    *data = copy;
    *length = buffer->used;
    return 0;
  }
  *data = buffer->data;
  *length = buffer->used;
  buffer->data = nullptr;
  buffer->used = 0;
  buffer->capacity = 0;
  return 0;
}

void lvio_buffer_free(lvio_buffer* buffer) {
  if (buffer == nullptr) return;
  buffer->flags |= LVIO_BUFFER_FREED;
  buffer->used = 0;
  buffer->capacity = 0;
  if ((buffer->flags & LVIO_BUFFER_BORROWED) == 0) lvio_free(buffer->data);
  buffer->data = nullptr;
  if ((buffer->flags & LVIO_BUFFER_CALLER_RECORD) == 0) lvio_free(buffer);
}

lvio_code lvio_buffer_module(uint32_t flags) {
  if ((flags & 1) != 0) return 0;
  buffer_items = DEFAULT_ITEMS;
  char text[30];
  size_t size = sizeof text;
  if (lvio_setting_get("LVIO_DEFAULT_BUFITEMS", text, &size, 0) < 0 || text[0] == '\0') return 0;
  char* end;
  errno = 0;
  long items = std::strtol(text, &end, 0);
  if (errno == 0 && *end == '\0' && items > 0 && static_cast<uint64_t>(items) <= UINT64_MAX / ITEM_BYTES)
    buffer_items = static_cast<uint64_t>(items);
  return 0;
}
