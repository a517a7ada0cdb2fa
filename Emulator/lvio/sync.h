// Mutexes and condition variables of the I/O layer.
//
// A mutex is re-entrant: the thread that holds it may lock it again and must
// unlock it as often. A condition variable may wait only on a mutex that is
// held once.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "lvio/result_codes.h"
#include "lvio/time_value.h"

constexpr uint32_t LVIO_LOCK_INITIALISED = 1;
constexpr uint32_t LVIO_MUTEX_NO_CONDITION = 4;  // made with creation flag 1: not for condition variables

struct lvio_mutex {
  uint32_t flags;
  pthread_mutex_t lock;
};

struct lvio_cond {
  uint32_t flags;
  pthread_cond_t cond;
};

// A mutex with static storage, usable before anything is created.
#define LVIO_MUTEX_STATIC_INIT \
  { LVIO_LOCK_INITIALISED, PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP }

// Creation flag 1: the mutex may not serve a condition variable.
// LVIO_E_OUT_OF_MEMORY, or the platform's error.
[[nodiscard]] lvio_code lvio_mutex_create(lvio_mutex** out, uint32_t flags);
// Null is ignored. Takes the lock once before deleting it, so that a thread
// still leaving it is waited for.
void lvio_mutex_destroy(lvio_mutex* mutex);
// A null mutex succeeds at once; one not initialised is LVIO_E_INTERNAL_ERROR.
// Unlike the other results of the layer these may be dropped: they fail only
// on a mutex that was never made, a fault of the caller itself.
lvio_code lvio_mutex_lock(lvio_mutex* mutex);
lvio_code lvio_mutex_unlock(lvio_mutex* mutex);
// 1 when another thread holds the mutex, else 0 (the lock is not kept).
[[nodiscard]] lvio_code lvio_mutex_probe(lvio_mutex* mutex);
// Unlocks the mutex held in the slot, if any, and clears the slot.
[[nodiscard]] lvio_code lvio_mutex_release(lvio_mutex** slot);

[[nodiscard]] lvio_code lvio_cond_create(lvio_cond** out);
// Null is ignored.
void lvio_cond_destroy(lvio_cond* cond);
// Waits without a time-out; the mutex is held once by the caller.
[[nodiscard]] lvio_code lvio_cond_wait(lvio_cond* cond, lvio_mutex* mutex);
// Waits until signalled or until the time has passed: LVIO_E_TIMEOUT. Flag 2:
// the time is a duration; otherwise it is a wall-clock deadline (see
// lvio_time_now), of which the remaining time is taken. Nothing remaining
// returns 0 at once; a null time waits without a time-out. The wait itself
// runs on the monotonic clock, so wall-clock steps do not stretch it.
[[nodiscard]] lvio_code lvio_cond_timedwait(lvio_cond* cond, lvio_mutex* mutex, const lvio_time* time, uint32_t flags);
// Flag 1 wakes every waiter, otherwise one.
[[nodiscard]] lvio_code lvio_cond_signal(lvio_cond* cond, lvio_mutex* mutex, uint32_t flags);

// The synchronisation module's start and stop: nothing to do.
[[nodiscard]] lvio_code lvio_sync_module(uint32_t flags);
