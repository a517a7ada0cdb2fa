// The event watcher: one thread at a time that calls a callback whenever a
// watched event fires (stream listeners use it). Started, cancelled and
// poked from one thread, the engine's.
#pragma once

#include <cstdint>

#include "lvio/event.h"
#include "lvio/result_codes.h"

// Callback reasons.
constexpr uint32_t LVIO_WATCH_FIRED = 0;      // the watched event (or a poke) woke the watcher
constexpr uint32_t LVIO_WATCH_CANCELLED = 2;  // the last call: the watch is over

// Called on the watcher thread with LVIO_WATCH_FIRED; a result below 0 or
// LVIO_S_DONE ends the watch. The watched event is not reset for it: the
// callback consumes what made it fire. Called once more, with
// LVIO_WATCH_CANCELLED, on the thread that cancels the watch.
typedef lvio_code (*lvio_watch_fn)(void* user, uint32_t reason);

// Starts watching the event (null: only pokes wake the watcher). A watch
// that exists already is cancelled first, as lvio_event_watch_cancel does.
// The event is acquired for the life of the watch. Returns 0 or the error,
// with nothing left running.
[[nodiscard]] lvio_code lvio_event_watch(lvio_event* event, lvio_watch_fn callback, void* user, uint32_t flags);

// Cancels the current watch when it is on this event (and has this callback
// and user data, where they are not null): its thread ends, the callback is
// called with LVIO_WATCH_CANCELLED, and the result is LVIO_S_DEALLOCATED.
// Without such a watch nothing happens and the result is 0.
[[nodiscard]] lvio_code lvio_event_watch_cancel(lvio_event* event, lvio_watch_fn callback, void* user,
                                                uint32_t ignored);

// Cancels a matching watch, then starts the new one.
[[nodiscard]] lvio_code lvio_event_watch_control(lvio_event* event, lvio_watch_fn callback, void* user, uint32_t flags);

// Wakes the watcher thread, if there is one: its callback is called with
// LVIO_WATCH_FIRED. Flag 1 ends the watch instead (no callback).
[[nodiscard]] lvio_code lvio_event_watch_poke(uint32_t flags);

// Cancels whatever watch there is, as lvio_event_watch_cancel does.
[[nodiscard]] lvio_code lvio_event_watch_stop();
