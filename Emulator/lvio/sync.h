// Mutexes and condition variables of the I/O layer.
//
// A mutex is re-entrant: the thread that holds it may lock it again and must
// unlock it as often. A condition variable may wait only on a mutex that is
// held once.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "lvio/result_codes.h"

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
lvio_code lvio_mutex_create(lvio_mutex** out, uint32_t flags);
// Null is ignored.
void lvio_mutex_destroy(lvio_mutex* mutex);
// A null mutex succeeds at once; one not initialised is LVIO_E_INTERNAL_ERROR.
lvio_code lvio_mutex_lock(lvio_mutex* mutex);
lvio_code lvio_mutex_unlock(lvio_mutex* mutex);

lvio_code lvio_cond_create(lvio_cond** out);
// Null is ignored.
void lvio_cond_destroy(lvio_cond* cond);
// Waits without a time-out; the mutex is held once by the caller.
lvio_code lvio_cond_wait(lvio_cond* cond, lvio_mutex* mutex);
// Flag 1 wakes every waiter, otherwise one.
lvio_code lvio_cond_signal(lvio_cond* cond, lvio_mutex* mutex, uint32_t flags);

// The synchronisation module's start and stop: nothing to do.
lvio_code lvio_sync_module(uint32_t flags);
