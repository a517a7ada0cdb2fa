// The "async" layer: the bottom of every chain that reads or writes an
// operating-system handle (files opened by path, the standard descriptors,
// pipes to and from child processes, sockets), on the handle operations.
//
// Reads are read-ahead: a read returns the data of the background read the
// previous call started and starts the next at once (unless the layer was
// opened without read-ahead). Writes are gathered into a 64 KiB buffer and
// written in the background. Waits are ended by an interrupt
// (LVIO_E_INTERRUPTED) and by the time-outs set with control request 10
// (LVIO_E_TIMEOUT); either leaves the operation live, to be waited for
// again.
//
// Regular files opened by path are seekable: reads and writes are
// positioned, and the read and write positions are the layer's own. On a
// handle that cannot seek, a relative seek that gives bytes back (seek
// flag 8) keeps them for the next read, so that layers above can give back
// what they read ahead.
#pragma once

#include <cstdint>

#include "lvio/handle_op.h"
#include "lvio/layer.h"
#include "lvio/pushback.h"
#include "lvio/time_value.h"

// Flags of lvio_async_open_handle.
constexpr uint32_t LVIO_ASYNC_READ = 0x1;
constexpr uint32_t LVIO_ASYNC_WRITE = 0x2;
constexpr uint32_t LVIO_ASYNC_APPEND = 0x4;         // with write: the writes start at the end
constexpr uint32_t LVIO_ASYNC_BORROWED = 0x10;      // the layer neither shuts the handle down nor closes it
constexpr uint32_t LVIO_ASYNC_OWN_POSITION = 0x20;  // use the handle's own file position
constexpr uint32_t LVIO_ASYNC_NO_READ_AHEAD = 0x40;

// Flags of the class's open (by path): LVIO_ASYNC_READ, LVIO_ASYNC_WRITE,
// LVIO_ASYNC_APPEND, and
constexpr uint32_t LVIO_ASYNC_EXCLUSIVE = 0x8;  // create: the file must not exist yet

// Layer flags of the class, above the generic ones.
constexpr uint32_t LVIO_ASYNC_LAYER_BORROWED = 1u << 17;
constexpr uint32_t LVIO_ASYNC_LAYER_SEEKABLE = 1u << 18;
constexpr uint32_t LVIO_ASYNC_LAYER_NO_READ_AHEAD = 1u << 19;
constexpr uint32_t LVIO_ASYNC_LAYER_READ_TIMEOUT = 1u << 20;
constexpr uint32_t LVIO_ASYNC_LAYER_WRITE_TIMEOUT = 1u << 21;
constexpr uint32_t LVIO_ASYNC_LAYER_STALE = 1u << 22;  // a write or seek since the read-ahead started

// Flags of the layer's read and write operations.
constexpr uint32_t LVIO_ASYNC_NO_WAIT = 0x4;
// Flags of its sync operation, besides the directions.
constexpr uint32_t LVIO_ASYNC_SKIP_DEVICE_SYNC = 0x40;

struct lvio_async_layer {
  lvio_layer header;
  int fd;
  int32_t kind;      // lvio_handle_kind's
  uint32_t request;  // request flags of its handle operations
  lvio_handle_op* read_op;
  lvio_handle_op* write_op;
  lvio_buffer write_buffer;
  lvio_handle_op* sync_op;
  uint64_t read_position;
  uint64_t write_position;
  int64_t write_buffer_start;  // the file position of the write buffer's first byte; -1 when none
  lvio_event* read_event;      // unsignalled at first
  lvio_event* write_event;     // signalled at first: nothing pending
  lvio_time read_timeout;      // {-1, -1}: none
  lvio_time write_timeout;
  lvio_pushback pushback;  // bytes given back on a handle that cannot seek
};

extern const lvio_class lvio_async_class;

// Makes an "async" layer over a handle as a new chain, which takes the
// handle over (the caller closes it when this fails). The invalid handle, or
// neither read nor write: LVIO_E_PARAMETER_ERROR; a handle that is not open:
// LVIO_E_OPEN_ERROR.
[[nodiscard]] lvio_code lvio_async_open_handle(const lvio_class* cls, lvio_layer** chain, int fd, uint32_t flags);

// The same with the registered "async" class.
[[nodiscard]] lvio_code lvio_open_os_handle(lvio_layer** chain, int fd, uint32_t flags);

// The "async" layer's module: registers the class and starts the handle-I/O
// interrupt event; its stop undoes both.
[[nodiscard]] lvio_code lvio_async_module(uint32_t flags);

// The standard-handles module. Its start makes chains over copies of the
// standard descriptors and installs them as the standard chains: input
// (unless flag 8) with read-ahead unless flag 2 is given, or flag 4 and it
// is a terminal; output and error. A standard descriptor that is not open
// gives no chain. Its stop empties the three slots, closing the chains
// still in them.
[[nodiscard]] lvio_code lvio_std_handles_module(uint32_t flags);
