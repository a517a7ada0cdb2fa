// Memory streams: simple devices over a memory buffer, read from a read
// offset and appended to by writes. They serve reading terms from C strings
// and streams over code lists.
#pragma once

#include <cstdint>

#include "streams/stream.h"

struct lvio_buffer;

// Options of lv_memory_device_create.
constexpr uint32_t LV_MEMORY_OWNS_BUFFER = 0x1;
constexpr uint32_t LV_MEMORY_READABLE = 0x2;
constexpr uint32_t LV_MEMORY_WRITABLE = 0x4;
constexpr uint32_t LV_MEMORY_BYTE_ITEMS = 0x8;  // else 32-bit code items

// Called once when both sides of the device are gone, with the sides of the
// final close, 1 when the write side is gone, and 1 when the read side is
// among the sides closed.
typedef int64_t (*lv_memory_close_fn)(void* close_data, uint32_t sides, int write_gone, int read_closing);

// Pushes a memory device over buffer onto the chain slot: 0 or a negative
// code. The device frees an owned buffer when it is closed (and on failure).
int64_t lv_memory_device_create(lvio_layer** chain, lvio_buffer* buffer, void* close_data, lv_memory_close_fn close,
                                uint32_t options);

// A text input stream over a copy of the C string, decoded as UTF-8: 1, or
// 0 with nothing left behind.
int lv_stream_from_string(const char* text, lv_stream** out);

// Options of lv_stream_from_memory.
constexpr uint32_t LV_FROM_MEMORY_ADOPT = 0x1;  // the bytes are the stream's, freed with LV_free on close
constexpr uint32_t LV_FROM_MEMORY_READ = 0x2;
constexpr uint32_t LV_FROM_MEMORY_WRITE = 0x4;

// A text stream over length bytes of 32-bit code items (copied unless
// adopted): 0 or a negative code. On failure adopted bytes are freed too.
int64_t lv_stream_from_memory(void* bytes, int64_t length, lv_stream** out, uint32_t options);
