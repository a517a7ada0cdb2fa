// Simple devices: bottom layers whose reading, writing, flushing, closing
// and control requests go to callbacks of their creator. Memory streams,
// in-process pipes, tunnels, user-defined streams and the null device are
// simple devices. A device moves either bytes or 32-bit code items.
#pragma once

#include <cstdint>

#include "lvio/layer.h"
#include "lvio/pushback.h"

// Reads into destination; *size is its free room in bytes on entry (at
// least one item) and the bytes delivered on exit.
typedef lvio_code (*lvio_device_read_fn)(void* user_data, void* destination, uint64_t* size, uint32_t options);
// Writes from source; *size is the bytes offered (whole items) on entry and
// the bytes taken on exit.
typedef lvio_code (*lvio_device_write_fn)(void* user_data, const void* source, uint64_t* size, uint32_t options);
// options: LVIO_DEVICE_NO_WAIT when the sync was abortive.
typedef lvio_code (*lvio_device_flush_fn)(void* user_data, uint32_t options);
// Receives the address of the device's user-data field, which it may clear;
// sides are LVIO_DEVICE_CLOSE_* bits, abortive is 0 or 1.
typedef lvio_code (*lvio_device_close_fn)(void** user_data_field, uint32_t sides, int abortive);
typedef lvio_code (*lvio_device_control_fn)(void* user_data, uint32_t request, void* argument, uint32_t options);
// Kept for the creator, never called by the layer.
typedef lvio_code (*lvio_device_spare1_fn)(void* user_data);
typedef void (*lvio_device_spare2_fn)(void* user_data);

// Creation options: exactly one of the two item kinds.
constexpr uint32_t LVIO_DEVICE_BYTES = 0x1;
constexpr uint32_t LVIO_DEVICE_CODES = 0x2;

// Options given to the read and write callbacks.
constexpr uint32_t LVIO_DEVICE_NO_WAIT = 0x1;
constexpr uint32_t LVIO_DEVICE_BYTE_ITEMS = 0x2;
constexpr uint32_t LVIO_DEVICE_CODE_ITEMS = 0x4;

// Sides given to the close callback.
constexpr uint32_t LVIO_DEVICE_CLOSE_READ = 0x1;
constexpr uint32_t LVIO_DEVICE_CLOSE_WRITE = 0x2;
constexpr uint32_t LVIO_DEVICE_CLOSE_ABORTIVE = 0x4;

struct lvio_simple_device {
  lvio_layer header;
  lvio_pushback pushback;
  int64_t read_position;   // items delivered upward
  int64_t write_position;  // items accepted from above
  void* user_data;         // the callbacks' first argument
  const void* class_tag;   // the creator's identity, compared by address
  lvio_device_read_fn read;
  lvio_device_write_fn write;
  lvio_device_flush_fn flush;
  lvio_device_spare1_fn spare1;
  lvio_device_close_fn close;
  lvio_device_spare2_fn spare2;
  lvio_device_control_fn control;
};

extern const lvio_class lvio_simple_device_class;

// Makes a device and links it in front of what the chain slot holds. Read
// and write may each be null (the device then does not read or write);
// flush, spare and control callbacks may be null for their defaults. Both
// or neither item kind, neither read nor write, or no close callback:
// LVIO_E_PARAMETER_ERROR; LVIO_E_OUT_OF_MEMORY.
[[nodiscard]] lvio_code lvio_make_simple_device(lvio_layer** chain, void* user_data, const void* class_tag,
                                                lvio_device_read_fn read, lvio_device_write_fn write,
                                                lvio_device_flush_fn flush, lvio_device_spare1_fn spare1,
                                                lvio_device_close_fn close, lvio_device_spare2_fn spare2,
                                                lvio_device_control_fn control, uint32_t options);

// The user data of the first simple device in the chain, when its class tag
// is the given one; LVIO_E_NOT_FOUND otherwise.
[[nodiscard]] lvio_code lvio_simple_device_user_data(lvio_layer** chain, const void* class_tag, void** user_data);
