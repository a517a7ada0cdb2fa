// Operations on the chain under a stream: watching its input, pushing and
// popping compression, its size, and the device's coder options.
#pragma once

#include <cstdint>

#include "lvio/event_watch.h"
#include "streams/stream.h"

// Option bit of the watch functions that must be given.
constexpr uint32_t LV_WATCH_INPUT = 0x1;

// Calls function(object, 1) and then function(object, 3) at once when the
// stream has input ready (result 1 when the second call is negative, else
// 4); otherwise arms a watch on the chain's read event, under which the
// event watcher's thread calls function (result 0). LVIO_E_PARAMETER_ERROR
// for a stream that is not known or without LV_WATCH_INPUT.
int64_t lv_stream_watch_input(lv_stream* stream, lvio_watch_fn function, void* object, uint32_t options);
// Cancels the watch: LVIO_E_NOT_FOUND when none is armed.
int64_t lv_stream_unwatch_input(lv_stream* stream, lvio_watch_fn function, void* object, uint32_t options);

// Option 1 pops the "zlib" layer, else one is pushed. Binary streams open
// in one direction only, with a chain: LVIO_E_INVALID_STATE otherwise.
int64_t lv_stream_zlib_layer(lv_stream* stream, uint32_t options);

// The length of the device's data.
int64_t lv_stream_get_size(lv_stream* stream, int64_t* size, uint32_t flags);

// The coder options of the chain: options 1 and 2 are the decoder and
// encoder sides, 4 replaces what cannot be converted.
int64_t lv_stream_device_options(lv_stream* stream, uint32_t options);
