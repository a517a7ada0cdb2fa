// Threads of the I/O layer. Every thread of the process other than the one
// that runs the engine is made here.
//
// A thread is made with SIGINT, SIGQUIT and SIGPIPE blocked, so that those
// signals reach only the engine's thread (or a thread of the embedding
// program) and never interrupt or kill a thread of the layer.
#pragma once

#include <cstdint>

#include "lvio/event.h"
#include "lvio/result_codes.h"
#include "lvio/time_value.h"

struct lvio_thread;

typedef lvio_code (*lvio_thread_fn)(lvio_thread* thread, void* user);

constexpr uint32_t LVIO_THREAD_CANCELLABLE = 4;  // creation flag

// Bits of the control word.
constexpr uint32_t LVIO_THREAD_CONTROL_CANCELLABLE = 1;
constexpr uint32_t LVIO_THREAD_CONTROL_CANCEL_DELIVERED = 2;
constexpr uint32_t LVIO_THREAD_CONTROL_CANCEL_REQUESTED = 4;
constexpr uint32_t LVIO_THREAD_CONTROL_STARTED = 8;

// Makes and starts a thread that runs start(thread, user) and keeps its
// result. Flag 4 makes it cancellable. With a null out the thread is
// detached: its record is freed when the start function returns. Otherwise
// the caller joins it with lvio_thread_join.
[[nodiscard]] lvio_code lvio_thread_create(uint32_t flags, lvio_thread_fn start, void* user, lvio_thread** out);

// Waits until the thread has ended (interrupts do not end this wait), then
// frees its record. Null is ignored.
[[nodiscard]] lvio_code lvio_thread_join(lvio_thread* thread);

// One wait for the thread's end: 0, LVIO_E_TIMEOUT, or LVIO_E_INTERRUPTED on
// the main thread. A null time waits without a time-out.
[[nodiscard]] lvio_code lvio_thread_wait(lvio_thread* thread, const lvio_time* time);

// The start function's result; LVIO_E_THREAD_RUNNING until it has returned.
[[nodiscard]] lvio_code lvio_thread_result(lvio_thread* thread, lvio_code* value);

// 1 in *running until the start function has returned, then 0.
[[nodiscard]] lvio_code lvio_thread_is_running(lvio_thread* thread, int* running);

// Asks a cancellable thread to stop (LVIO_E_NOT_SUPPORTED for another): its
// stop event is set, which ends every wait of the thread with
// LVIO_E_CANCELED; the thread's function is expected to return then. Unless
// flag 1, waits until it has; LVIO_S_SUPPRESSED_INTERRUPT when interrupts
// were swallowed by that wait, else 0.
[[nodiscard]] lvio_code lvio_thread_cancel(lvio_thread* thread, uint32_t flags);

// The thread's stop event (set by a cancel) and control word, for its own
// function to look at.
lvio_event* lvio_thread_stop_event(lvio_thread* thread);
uint32_t lvio_thread_control(lvio_thread* thread);

// The record of the calling thread when the layer made it, else null.
lvio_thread* lvio_thread_self();

// The calling thread's id (its kernel thread id).
[[nodiscard]] lvio_code lvio_thread_current_id(uint32_t* id);
bool lvio_thread_same(uint32_t a, uint32_t b);

// The user-mode processor time that a thread of this process has used, at
// the resolution the kernel accounts it. An id that names no thread of this
// process is the platform's error.
[[nodiscard]] lvio_code lvio_thread_times(uint32_t id, void* ignored, lvio_time* out);

// The threads module: on start, a process whose SIGPIPE would kill it
// ignores SIGPIPE instead (write errors report a broken pipe), and the
// signal dispatch thread starts; on stop, the dispatch thread ends and
// SIGPIPE gets back the disposition it had.
[[nodiscard]] lvio_code lvio_threads_module(uint32_t flags);
