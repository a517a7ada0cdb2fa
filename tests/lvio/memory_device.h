// Test support: a simple device over strings. Reads come from `input`, at
// most `chunk` bytes a call; writes go to `output`. Every callback counts
// its calls, and a write can be made to fail once.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/simple_device.h"

struct MemoryDevice {
  std::string input;
  size_t read_at = 0;
  size_t chunk = SIZE_MAX;
  std::string output;
  lvio_code fail_next_write = 0;  // returned once by the next write
  int reads = 0;
  int writes = 0;
  int flushes = 0;
  uint32_t closed_sides = 0;

  // Makes the device as the chain's bottom layer.
  lvio_code open(lvio_layer** chain, uint32_t kind = LVIO_DEVICE_BYTES, bool readable = true, bool writable = true) {
    *chain = nullptr;
    return lvio_make_simple_device(chain, this, &tag, readable ? read : nullptr, writable ? write : nullptr, flush,
                                   nullptr, close, nullptr, nullptr, kind);
  }

  static const char tag;

  static lvio_code read(void* user, void* destination, uint64_t* size, uint32_t) {
    auto* d = static_cast<MemoryDevice*>(user);
    d->reads++;
    size_t n = std::min({static_cast<size_t>(*size), d->chunk, d->input.size() - d->read_at});
    if (n == 0) return LVIO_E_END_OF_FILE;
    std::memcpy(destination, d->input.data() + d->read_at, n);
    d->read_at += n;
    *size = n;
    return 0;
  }

  static lvio_code write(void* user, const void* source, uint64_t* size, uint32_t) {
    auto* d = static_cast<MemoryDevice*>(user);
    d->writes++;
    if (d->fail_next_write != 0) {
      lvio_code rc = d->fail_next_write;
      d->fail_next_write = 0;
      return rc;
    }
    size_t n = std::min(static_cast<size_t>(*size), d->chunk);
    d->output.append(static_cast<const char*>(source), n);
    *size = n;
    return 0;
  }

  static lvio_code flush(void* user, uint32_t) {
    static_cast<MemoryDevice*>(user)->flushes++;
    return 0;
  }

  static lvio_code close(void** field, uint32_t sides, int) {
    static_cast<MemoryDevice*>(*field)->closed_sides |= sides;
    return 0;
  }
};

inline const char MemoryDevice::tag = 0;

// Closes a whole chain abortively; nothing of it is left.
inline void close_chain(lvio_layer** chain) {
  if (*chain != nullptr) (void)lvio_stream_close(chain, LVIO_OP_ABORTIVE);
}

// Reads the chain to its end (or first error) into a string; the result code
// that ended the reading goes to *end.
inline std::string read_all(lvio_layer** chain, lvio_code* end) {
  lvio_buffer* b = lvio_buffer_create(nullptr, 0, 0);
  lvio_code rc;
  do rc = lvio_buffer_reserve(b, 1 << 16);
  while (rc >= 0 && (rc = lvio_stream_read_buffer(chain, &b, 0)) >= 0);
  std::string s(reinterpret_cast<char*>(b->data), b->used);
  lvio_buffer_free(b);
  *end = rc;
  return s;
}
