// Stream listeners: a listener watches an input stream (the connection from
// a development environment), takes it apart line by line on the engine's
// thread, acts on interrupt requests, feeds input tunnels from
// "TUNNEL APPEND <channel> <data>" and "TUNNEL CLOSE <channel>" lines and
// forwards every line, unchanged, into a pipe whose reading end the Prolog
// side reads. When the listener stops (end of input, a reset connection or
// a protocol error) its pipe ends right after the last complete line, and
// the pipes of its input channels end too.
#pragma once

#include <cstdint>

#include "streams/stream.h"

// Services of the embedding side that the line reader calls; null hooks
// are skipped.
struct lv_listener_services {
  void (*ctrlc_action)();    // "REQUEST <n> suspend", before the I/O interrupt
  void (*backtrace)();       // "REQUEST <n> backtrace"
  void (*schedule_event)();  // asks the engine to check its events soon (any thread)
};
extern lv_listener_services lv_listener_hooks;

// Starts listening to the input stream: *reading_end receives the text
// (UTF-8) reading end of the listener's pipe. 0 or a negative code, with
// nothing left made.
int64_t lv_add_stream_listener(lv_stream* listened, lv_stream** reading_end);

// Options of lv_open_tunnel_input.
constexpr uint32_t LV_TUNNEL_IN_FLAG_1 = 0x1;  // pipe option 2, and coder options 5 on the reading end
constexpr uint32_t LV_TUNNEL_IN_FLAG_2 = 0x2;  // pipe option 1
constexpr uint32_t LV_TUNNEL_IN_BINARY = 0x8;

// The reading end of the input tunnel for the channel on a listened stream;
// data that arrived for the channel before is in it first.
// LVIO_E_NOT_FOUND when no active listener listens to the carrier,
// LVIO_E_INVALID_STATE when the channel is open already.
int64_t lv_open_tunnel_input(lv_stream* carrier, const char* channel, uint32_t options, lv_stream** out);
