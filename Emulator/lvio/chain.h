// The generic operations on a chain of layers. Each takes the chain pointer
// first and returns a result code. Data operations go to the top layer,
// which passes them down as it needs; control requests walk down the chain
// to the first layer that answers.
#pragma once

#include <cstdint>

#include "lvio/layer.h"

struct lvio_event;
struct lvio_time;

// Reads at least one byte into the buffer: LVIO_E_NOT_OPEN_READ unless the
// top layer is open for reading. A null *buffer gets a new default buffer,
// stored back on success and freed on failure.
[[nodiscard]] lvio_code lvio_stream_read_buffer(lvio_layer** chain, lvio_buffer** buffer, uint32_t flags);

// Writes the buffer from *position on, once, or until all is written with
// LVIO_OP_WRITE_ALL: LVIO_E_NOT_OPEN_WRITE unless open for writing.
[[nodiscard]] lvio_code lvio_stream_write_buffer(lvio_layer** chain, lvio_buffer* buffer, uint64_t* position,
                                                 uint32_t flags);

// Writes the whole string and syncs the write side; the first error.
[[nodiscard]] lvio_code lvio_stream_write_string(lvio_layer** chain, const char* text);

// The top layer's sync with the flags as given; an empty chain is 0.
[[nodiscard]] lvio_code lvio_stream_sync_all(lvio_layer** chain, uint32_t flags);

// Syncs the directions of the flags (2, 4) all the way down, keeping
// read-ahead (LVIO_SYNC_CLOSING; the caller's own LVIO_SYNC_CLOSING adds
// LVIO_SYNC_CALLER_CLOSING, operation_flags.h). A failure of an abortive sync
// (flag 1) is reported as 1.
[[nodiscard]] lvio_code lvio_stream_sync_dirs(lvio_layer** chain, uint32_t flags);

// Seeks the sides given (0x10 read, 0x20 write; neither means both) that the
// top layer has; none left is LVIO_E_SEEK_ERROR. Flag 8 (give back the
// source's bytes) implies 2 (relative). The position may be null.
[[nodiscard]] lvio_code lvio_stream_seek(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer* source,
                                         uint32_t flags);

// Closes the directions given (2 read, 4 write; neither means both): syncs
// them unless the close is abortive (flag 1) and LVIO_SKIP_ABORTIVE_SYNC is
// on, marks every layer closed for them and calls the top layer's close. A
// failing sync of a close that is not abortive is returned and leaves the
// chain open. A layer whose class has no close loses the closed sides and
// passes the close on down; once it has no side left it is unlinked and
// finalized first.
[[nodiscard]] lvio_code lvio_stream_close(lvio_layer** chain, uint32_t flags);

// LVIO_SKIP_ABORTIVE_SYNC, read when the layer starts (default on).
bool lvio_skip_abortive_sync();
void lvio_set_skip_abortive_sync(bool skip);

// Control requests.
constexpr uint32_t LVIO_REQUEST_READ_EVENT = 1;
constexpr uint32_t LVIO_REQUEST_WRITE_EVENT = 2;
constexpr uint32_t LVIO_REQUEST_INFO = 3;
constexpr uint32_t LVIO_REQUEST_NAME = 4;
constexpr uint32_t LVIO_REQUEST_PROBE = 5;
constexpr uint32_t LVIO_REQUEST_SIZE = 6;
constexpr uint32_t LVIO_REQUEST_TIMEOUT = 10;

// Device kinds of the information request.
constexpr uint32_t LVIO_DEVICE_OTHER = 1;
constexpr uint32_t LVIO_DEVICE_CONSOLE = 3;

struct lvio_stream_info {
  uint32_t kind;
};

// Calls the top layer's control; LVIO_E_NOT_SUPPORTED (or no control) moves
// on to the next lower layer only with LVIO_OP_WALK_DOWN. Any other result
// ends the walk. Nobody answering is LVIO_E_NOT_SUPPORTED.
[[nodiscard]] lvio_code lvio_stream_control_request(lvio_layer** chain, uint32_t request, void* argument,
                                                    uint32_t flags);

// The event signalled when the chain can be read or written; the walk goes
// down to the device.
[[nodiscard]] lvio_code lvio_stream_read_event(lvio_layer** chain, lvio_event** event);
[[nodiscard]] lvio_code lvio_stream_write_event(lvio_layer** chain, lvio_event** event);

// The device's information record; nobody answering gives kind 1 and 0.
[[nodiscard]] lvio_code lvio_stream_get_info(lvio_layer** chain, lvio_stream_info* info, uint32_t flags);

// The name of one direction (exactly one of 2 and 4, else
// LVIO_E_PARAMETER_ERROR); the walk goes down.
[[nodiscard]] lvio_code lvio_stream_get_name(lvio_layer** chain, const char** name, uint32_t flags);

// Probes the chain; nobody answering is LVIO_S_NOT_SUPPORTED.
[[nodiscard]] lvio_code lvio_stream_probe(lvio_layer** chain, uint32_t flags);

// The length of the device's data (no direction means both); the walk goes
// down only with flag 1. On success the answering layer's result is returned.
[[nodiscard]] lvio_code lvio_stream_get_size(lvio_layer** chain, int64_t* length, uint32_t flags);

// Sets (or with a null time clears) the read (2) and/or write (4) time-out
// of the device; the walk goes down.
[[nodiscard]] lvio_code lvio_stream_set_timeout(lvio_layer** chain, const lvio_time* time, uint32_t flags);
