// Closing streams, and the list of callbacks run when a stream is closed.
#pragma once

#include <cstdint>

#include "streams/stream.h"

// Closes the sides asked for (LV_CLOSE_* options of streams/stream_api.h):
// without LV_CLOSE_FORCE the output is flushed first, and a failed flush or
// chain close is returned with the stream left open, so that the close can
// be tried again; except when the failure means the output can never be
// written (the device is gone: a broken pipe, a reset connection, an
// input-output error; or characters without bytes in the encoding, taken
// out and reported): then the side is closed all the same and the failure
// returned. LV_CLOSE_FORCE writes nothing and ignores chain errors. 0 when
// a side was closed or there was nothing to do (a standard stream without
// LV_CLOSE_REPLACE or LV_CLOSE_FORGET stays open), 2 when the record was
// freed, LVIO_E_INTERRUPTED when the flush was interrupted, or the error.
int64_t lv_stream_close(lv_stream* stream, uint32_t options);

// Reasons given to close callbacks.
constexpr int LV_CLOSE_REASON_SHUTDOWN = 1;
constexpr int LV_CLOSE_REASON_CLOSED = 2;

// Called with the stream just closed (only its address remains) or null at
// shutdown; clearing *data unlinks the entry.
typedef void (*lv_close_callback_fn)(lv_stream* stream, void** data, int reason);

// Adds an entry at the head: 0, LVIO_E_PARAMETER_ERROR (no function or no
// data), LVIO_E_OUT_OF_MEMORY.
int64_t lv_add_close_callback(lv_close_callback_fn function, void* data);
void lv_run_close_callbacks(lv_stream* stream, int reason);
// Disables every entry whose data is the given one (it is never called again).
void lv_disable_close_callbacks(const void* data);
// Shutdown: every entry is called with (null, data, 1) and freed.
void lv_free_output_callbacks();
