// Mutexes and condition variables of the I/O layer, on pthreads.
#include "lvio/sync.h"

#include <cerrno>

#include "lvio/allocator.h"
#include "lvio/clock.h"
#include "lvio/os_error.h"

namespace {

// A condition operation needs an initialised condition variable and a mutex
// that may serve one.
lvio_code check_condition(const lvio_cond* cond, const lvio_mutex* mutex) {
  if (mutex != nullptr && (mutex->flags & LVIO_MUTEX_NO_CONDITION) != 0) return LVIO_E_PARAMETER_ERROR;
  if (cond == nullptr || (cond->flags & LVIO_LOCK_INITIALISED) == 0) return LVIO_E_NOT_IMPLEMENTED;
  return 0;
}

lvio_code platform_result(int error) { return error == 0 ? 0 : lvio_os_error_code(error, LVIO_E_OS_ERROR); }

}  // namespace

lvio_code lvio_mutex_create(lvio_mutex** out, uint32_t flags) {
  auto* m = static_cast<lvio_mutex*>(lvio_alloc(sizeof(lvio_mutex)));
  if (m == nullptr) return LVIO_E_OUT_OF_MEMORY;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  int error = pthread_mutex_init(&m->lock, &attr);
  pthread_mutexattr_destroy(&attr);
  if (error != 0) {
    lvio_free(m);
    return platform_result(error);
  }
  m->flags = LVIO_LOCK_INITIALISED | ((flags & 1) != 0 ? LVIO_MUTEX_NO_CONDITION : 0);
  *out = m;
  return 0;
}

void lvio_mutex_destroy(lvio_mutex* mutex) {
  if (mutex == nullptr) return;
  pthread_mutex_lock(&mutex->lock);
  pthread_mutex_unlock(&mutex->lock);
  pthread_mutex_destroy(&mutex->lock);
  lvio_free(mutex);
}

lvio_code lvio_mutex_lock(lvio_mutex* mutex) {
  if (mutex == nullptr) return 0;
  if ((mutex->flags & LVIO_LOCK_INITIALISED) == 0) return LVIO_E_INTERNAL_ERROR;
  return platform_result(pthread_mutex_lock(&mutex->lock));
}

lvio_code lvio_mutex_unlock(lvio_mutex* mutex) {
  if (mutex == nullptr) return 0;
  if ((mutex->flags & LVIO_LOCK_INITIALISED) == 0) return LVIO_E_INTERNAL_ERROR;
  return platform_result(pthread_mutex_unlock(&mutex->lock));
}

lvio_code lvio_mutex_probe(lvio_mutex* mutex) {
  if (mutex == nullptr) return 0;
  if ((mutex->flags & LVIO_LOCK_INITIALISED) == 0) return LVIO_E_INTERNAL_ERROR;
  int error = pthread_mutex_trylock(&mutex->lock);
  if (error == EBUSY) return 1;
  if (error != 0) return platform_result(error);
  pthread_mutex_unlock(&mutex->lock);
  return 0;
}

lvio_code lvio_mutex_release(lvio_mutex** slot) {
  lvio_mutex* mutex = *slot;
  *slot = nullptr;
  return lvio_mutex_unlock(mutex);
}

lvio_code lvio_cond_create(lvio_cond** out) {
  auto* c = static_cast<lvio_cond*>(lvio_alloc(sizeof(lvio_cond)));
  if (c == nullptr) return LVIO_E_OUT_OF_MEMORY;
  pthread_condattr_t attr;
  pthread_condattr_init(&attr);
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  int error = pthread_cond_init(&c->cond, &attr);
  pthread_condattr_destroy(&attr);
  if (error != 0) {
    lvio_free(c);
    return platform_result(error);
  }
  c->flags = LVIO_LOCK_INITIALISED;
  *out = c;
  return 0;
}

void lvio_cond_destroy(lvio_cond* cond) {
  if (cond == nullptr) return;
  pthread_cond_destroy(&cond->cond);
  lvio_free(cond);
}

lvio_code lvio_cond_wait(lvio_cond* cond, lvio_mutex* mutex) {
  if (mutex == nullptr) return LVIO_E_PARAMETER_ERROR;
  lvio_code rc = check_condition(cond, mutex);
  if (rc < 0) return rc;
  return platform_result(pthread_cond_wait(&cond->cond, &mutex->lock));
}

lvio_code lvio_cond_timedwait(lvio_cond* cond, lvio_mutex* mutex, const lvio_time* time, uint32_t flags) {
  if (mutex == nullptr) return LVIO_E_PARAMETER_ERROR;
  lvio_code rc = check_condition(cond, mutex);
  if (rc < 0) return rc;
  if (time == nullptr) return lvio_cond_wait(cond, mutex);
  lvio_time remaining = *time;
  if ((flags & 2) == 0) {
    lvio_time now;
    rc = lvio_time_now(&now);
    if (rc < 0) return rc;
    lvio_time_difference(*time, now, &remaining);
  }
  if (lvio_time_is_zero(remaining)) return 0;
  timespec deadline;
  if (!lvio_monotonic_deadline(remaining, &deadline)) return lvio_cond_wait(cond, mutex);
  int error = pthread_cond_timedwait(&cond->cond, &mutex->lock, &deadline);
  return error == ETIMEDOUT ? LVIO_E_TIMEOUT : platform_result(error);
}

lvio_code lvio_cond_signal(lvio_cond* cond, lvio_mutex* mutex, uint32_t flags) {
  lvio_code rc = check_condition(cond, mutex);
  if (rc < 0) return rc;
  return platform_result((flags & 1) != 0 ? pthread_cond_broadcast(&cond->cond) : pthread_cond_signal(&cond->cond));
}

lvio_code lvio_sync_module(uint32_t) { return 0; }
