// Growable byte buffers, the carriers of data through layer chains.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/result_codes.h"

constexpr uint32_t LVIO_BUFFER_FREED = 1;          // set on a freed record
constexpr uint32_t LVIO_BUFFER_BORROWED = 2;       // the data is the caller's: never freed or reallocated
constexpr uint32_t LVIO_BUFFER_CALLER_RECORD = 4;  // freeing the buffer leaves the record alone
constexpr uint32_t LVIO_BUFFER_FIXED = 8;          // borrowed data that may not grow

// Create flags of lvio_buffer_create.
constexpr uint32_t LVIO_BUFFER_CREATE_NO_CAPACITY = 2;  // record the capacity as 0
constexpr uint32_t LVIO_BUFFER_CREATE_COPY = 4;         // copy the source instead of borrowing it
constexpr uint32_t LVIO_BUFFER_CREATE_FIXED = 8;

struct lvio_buffer {
  uint8_t* data;
  uint64_t used;      // bytes held
  uint64_t capacity;  // bytes allocated (a multiple of 8 for owned data)
  uint32_t flags;
};
static_assert(sizeof(lvio_buffer) == 32);
static_assert(offsetof(lvio_buffer, used) == 8 && offsetof(lvio_buffer, capacity) == 16 &&
              offsetof(lvio_buffer, flags) == 24);

// Bytes by which buffers grow at least, and the size of a default buffer:
// 8 times LVIO_DEFAULT_BUFITEMS (100 unless set).
uint64_t lvio_buffer_default_bytes();

// A null source gives an owned empty buffer of size bytes (the default size
// for 0). A source is copied with create flag 4 (used = size), otherwise
// borrowed (used = capacity = size). Null when out of memory.
lvio_buffer* lvio_buffer_create(const void* source, uint64_t size, uint32_t flags);

// Makes a caller-owned record an empty buffer whose first growth allocates.
void lvio_buffer_init(lvio_buffer* buffer);

// Room for max(n, 1) more bytes. Growth allocates used + max(n, default
// bytes); borrowed data is copied into an owned block (a fixed buffer
// refuses). LVIO_E_OUT_OF_MEMORY leaves the buffer unchanged.
[[nodiscard]] lvio_code lvio_buffer_reserve(lvio_buffer* buffer, uint64_t n);

// The capacity becomes n (rounded up to a multiple of 8, 8 for 0); used is
// cut to it. Borrowed data moves into an owned block (a fixed buffer refuses).
[[nodiscard]] lvio_code lvio_buffer_set_capacity(lvio_buffer* buffer, uint64_t n);

// Empties the buffer and reserves n bytes; on failure the buffer keeps its
// contents.
[[nodiscard]] lvio_code lvio_buffer_reset_reserve(lvio_buffer* buffer, uint64_t n);

// Shrinks an owned block to the used length (rounded up to 8); borrowed data
// is left alone.
[[nodiscard]] lvio_code lvio_buffer_trim(lvio_buffer* buffer);

[[nodiscard]] lvio_code lvio_buffer_append(lvio_buffer* buffer, const void* bytes, uint64_t n);
[[nodiscard]] lvio_code lvio_buffer_append_string(lvio_buffer* buffer, const char* text);
[[nodiscard]] lvio_code lvio_buffer_append_byte(lvio_buffer* buffer, uint8_t byte);
[[nodiscard]] lvio_code lvio_buffer_append_buffer(lvio_buffer* buffer, const lvio_buffer* other);

// Removes and returns the last byte; LVIO_E_ERROR when empty.
[[nodiscard]] lvio_code lvio_buffer_pop_byte(lvio_buffer* buffer, uint8_t* byte);

// n > 0 drops the first n bytes, n < 0 the last -n; more than used is
// LVIO_E_PARAMETER_ERROR. Borrowed data is never written: dropping its
// first bytes moves the data pointer instead.
[[nodiscard]] lvio_code lvio_buffer_set_position(lvio_buffer* buffer, int64_t n);

// Hands the used bytes to the caller (freed with lvio_free). An owned buffer
// gives its block away and becomes empty; a borrowed one gives a copy.
[[nodiscard]] lvio_code lvio_buffer_take(lvio_buffer* buffer, uint8_t** data, uint64_t* length);

// Frees the data unless borrowed, then the record unless it is the
// caller's. Null is ignored.
void lvio_buffer_free(lvio_buffer* buffer);

// The buffer module's start (reads LVIO_DEFAULT_BUFITEMS) and stop (nothing).
[[nodiscard]] lvio_code lvio_buffer_module(uint32_t flags);
