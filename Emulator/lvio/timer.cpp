// Timers of the I/O layer, each with its own thread.
#include "lvio/timer.h"

#include "lvio/allocator.h"
#include "lvio/clock.h"
#include "lvio/sync.h"
#include "lvio/thread.h"

struct lvio_timer {
  lvio_mutex* mutex;
  lvio_cond* cond;
  // Written by the timer's thread only; message, deadline and interval by
  // arm and stop. All under the mutex.
  uint32_t state;
  uint32_t running;  // 1 while the callback is being called
  uint32_t message;
  lvio_time deadline;
  lvio_time interval;
  lvio_timer_fn callback;
  lvio_timer_clock_fn clock;
  void* user;
  lvio_thread* thread;
  lvio_timer* next;
};

namespace {

// Below a second from the deadline the thread waits at least this long per
// round, so that a clock coarser than the wait cannot make it spin.
constexpr lvio_time SHORTEST_WAIT = {0, 10000000};

// The list of timers, newest first.
lvio_mutex list_mutex = LVIO_MUTEX_STATIC_INIT;
lvio_timer* timers;

lvio_code wake_all(lvio_timer* timer) { return lvio_cond_signal(timer->cond, timer->mutex, 1); }

// A deadline relative to the clock's now made absolute and rounded up to a
// whole millisecond. A clock failure drops the message.
lvio_code make_absolute(lvio_timer* timer) {
  if (timer->message != LVIO_TIMER_MSG_ARM_RELATIVE) return 0;
  lvio_time now;
  lvio_code rc = timer->clock(&now, timer, timer->user);
  if (rc < 0) {
    timer->message = LVIO_TIMER_MSG_NONE;
    return rc;
  }
  lvio_time deadline;
  lvio_time_add(now, timer->deadline, &deadline);
  lvio_time_add(deadline, {0, 999999}, &deadline);
  if (lvio_time_from_ms(lvio_time_to_ms(deadline), &timer->deadline) < 0) timer->deadline = deadline;
  timer->message = LVIO_TIMER_MSG_ARM;
  return 0;
}

// The state the timer is in once its thread has taken the pending message.
uint32_t effective_state(const lvio_timer* timer) {
  switch (timer->message) {
    case LVIO_TIMER_MSG_ARM:
    case LVIO_TIMER_MSG_ARM_RELATIVE:
      return LVIO_TIMER_ARMED;
    case LVIO_TIMER_MSG_DISARM:
      return LVIO_TIMER_DISARMED;
    default:
      return timer->state;
  }
}

// One round of an armed timer: wait towards the deadline, or fire. Returns
// false when the thread must end.
bool armed_round(lvio_timer* timer) {
  lvio_time now;
  if (timer->clock(&now, timer, timer->user) < 0) return false;
  lvio_time remaining;
  lvio_time_difference(timer->deadline, now, &remaining);
  if (!lvio_time_is_zero(remaining)) {
    if (remaining.seconds == 0 && remaining.nanoseconds < SHORTEST_WAIT.nanoseconds) remaining = SHORTEST_WAIT;
    lvio_code rc = lvio_cond_timedwait(timer->cond, timer->mutex, &remaining, 2);
    return rc >= 0 || rc == LVIO_E_TIMEOUT;
  }
  uint32_t next = LVIO_TIMER_DISARMED;
  if (!lvio_time_is_zero(timer->interval)) {
    lvio_time_add(now, timer->interval, &timer->deadline);
    next = LVIO_TIMER_ARMED;
  }
  timer->running = 1;
  timer->state = next;
  if (wake_all(timer) < 0) return false;
  lvio_mutex_unlock(timer->mutex);
  timer->callback(timer, timer->user);
  lvio_mutex_lock(timer->mutex);
  timer->running = 0;
  return wake_all(timer) >= 0;
}

lvio_code timer_thread(lvio_thread*, void* argument) {
  auto* timer = static_cast<lvio_timer*>(argument);
  lvio_mutex_lock(timer->mutex);
  timer->state = LVIO_TIMER_DISARMED;
  bool go_on = wake_all(timer) >= 0;
  while (go_on) {
    make_absolute(timer);
    uint32_t message = timer->message;
    timer->message = LVIO_TIMER_MSG_NONE;
    if (message == LVIO_TIMER_MSG_STOP) break;
    if (message == LVIO_TIMER_MSG_ARM || message == LVIO_TIMER_MSG_DISARM) {
      timer->state = message == LVIO_TIMER_MSG_ARM ? LVIO_TIMER_ARMED : LVIO_TIMER_DISARMED;
      if (wake_all(timer) < 0) break;
    }
    if (timer->state == LVIO_TIMER_ARMED)
      go_on = armed_round(timer);
    else
      go_on = lvio_cond_wait(timer->cond, timer->mutex) >= 0;
  }
  timer->state = LVIO_TIMER_ABANDONED;
  wake_all(timer);
  lvio_mutex_unlock(timer->mutex);
  return 0;
}

void free_timer(lvio_timer* timer) {
  lvio_cond_destroy(timer->cond);
  lvio_mutex_destroy(timer->mutex);
  lvio_free(timer);
}

bool on_own_thread(const lvio_timer* timer) { return lvio_thread_self() == timer->thread; }

}  // namespace

lvio_code lvio_timer_wall_clock(lvio_time* now, lvio_timer*, void*) { return lvio_time_now(now); }

lvio_code lvio_timer_create(lvio_timer** out, lvio_timer_fn callback, lvio_timer_clock_fn clock, void* user) {
  auto* timer = static_cast<lvio_timer*>(lvio_alloc(sizeof(lvio_timer)));
  if (timer == nullptr) return LVIO_E_OUT_OF_MEMORY;
  *timer = {};
  lvio_code rc = lvio_mutex_create(&timer->mutex, 0);
  if (rc >= 0) rc = lvio_cond_create(&timer->cond);
  if (rc < 0) {
    free_timer(timer);
    return rc;
  }
  timer->state = LVIO_TIMER_INITIAL;
  timer->message = LVIO_TIMER_MSG_NONE;
  timer->deadline = {-1, -1};
  timer->interval = {0, 0};
  timer->callback = callback;
  timer->clock = clock;
  timer->user = user;
  lvio_mutex_lock(timer->mutex);
  rc = lvio_thread_create(0, timer_thread, timer, &timer->thread);
  if (rc >= 0) timer->state = LVIO_TIMER_STARTED;
  lvio_mutex_unlock(timer->mutex);
  if (rc < 0) {
    free_timer(timer);
    return rc;
  }
  lvio_mutex_lock(&list_mutex);
  timer->next = timers;
  timers = timer;
  lvio_mutex_unlock(&list_mutex);
  *out = timer;
  return 0;
}

lvio_code lvio_timer_arm(lvio_timer* timer, uint32_t flags, const lvio_timer_setting* setting,
                         lvio_timer_setting* previous) {
  bool absolute = (flags & LVIO_TIMER_ARM_ABSOLUTE) != 0;
  bool relative = (flags & LVIO_TIMER_ARM_RELATIVE) != 0;
  bool disarm = (flags & LVIO_TIMER_DISARM) != 0;
  if ((setting != nullptr || previous != nullptr) && absolute == relative) return LVIO_E_PARAMETER_ERROR;
  if (!disarm && setting == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (!disarm && !lvio_time_is_zero(setting->interval)) return LVIO_E_NOT_SUPPORTED;
  if (on_own_thread(timer)) return LVIO_E_INVALID_STATE;

  lvio_mutex_lock(timer->mutex);
  bool was_armed = effective_state(timer) == LVIO_TIMER_ARMED;
  bool was_running = timer->running != 0;
  lvio_timer_setting before = {};
  if (previous != nullptr && was_armed) {
    lvio_code rc = make_absolute(timer);
    lvio_time now = {};
    if (rc >= 0 && relative) rc = timer->clock(&now, timer, timer->user);
    if (rc < 0) {
      lvio_mutex_unlock(timer->mutex);
      return rc;
    }
    before.deadline = timer->deadline;
    if (relative) lvio_time_difference(timer->deadline, now, &before.deadline);
    before.interval = timer->interval;
  }
  if (disarm) {
    timer->deadline = {0, 0};
    timer->interval = {0, 0};
    timer->message = LVIO_TIMER_MSG_DISARM;
  } else {
    timer->deadline = setting->deadline;
    timer->interval = setting->interval;
    timer->message = relative ? LVIO_TIMER_MSG_ARM_RELATIVE : LVIO_TIMER_MSG_ARM;
  }
  lvio_code rc = wake_all(timer);
  while (rc >= 0 && timer->running != 0) rc = lvio_cond_wait(timer->cond, timer->mutex);
  lvio_mutex_unlock(timer->mutex);
  if (rc < 0) return rc;
  if (previous != nullptr) *previous = before;
  return LVIO_S_PRIVATE_ERROR_0 + (was_armed ? 2 : 0) + (was_running ? 1 : 0);
}

lvio_code lvio_timer_query(lvio_timer* timer, uint32_t flags, lvio_timer_setting* out) {
  bool absolute = (flags & LVIO_TIMER_QUERY_ABSOLUTE) != 0;
  if (absolute == ((flags & LVIO_TIMER_QUERY_RELATIVE) != 0)) return LVIO_E_PARAMETER_ERROR;
  lvio_mutex_lock(timer->mutex);
  lvio_time now;
  lvio_code rc = timer->clock(&now, timer, timer->user);
  if (rc >= 0) rc = make_absolute(timer);
  if (rc < 0) {
    lvio_mutex_unlock(timer->mutex);
    return rc;
  }
  bool armed = effective_state(timer) == LVIO_TIMER_ARMED;
  out->deadline = {0, 0};
  if (armed && absolute) out->deadline = timer->deadline;
  if (armed && !absolute) lvio_time_difference(timer->deadline, now, &out->deadline);
  out->interval = timer->interval;
  lvio_mutex_unlock(timer->mutex);
  return armed ? 0 : LVIO_S_PRIVATE_ERROR_0;
}

lvio_code lvio_timer_stop(lvio_timer* timer) {
  if (on_own_thread(timer)) return LVIO_E_INVALID_STATE;
  lvio_mutex_lock(timer->mutex);
  timer->message = LVIO_TIMER_MSG_STOP;
  lvio_code rc = wake_all(timer);
  while (rc >= 0 && (timer->state & (LVIO_TIMER_INITIAL | LVIO_TIMER_ABANDONED)) == 0)
    rc = lvio_cond_wait(timer->cond, timer->mutex);
  lvio_mutex_unlock(timer->mutex);
  if (rc < 0) return rc;
  lvio_mutex_lock(&list_mutex);
  for (lvio_timer** link = &timers; *link != nullptr; link = &(*link)->next) {
    if (*link != timer) continue;
    *link = timer->next;
    break;
  }
  lvio_mutex_unlock(&list_mutex);
  rc = lvio_thread_join(timer->thread);
  if (rc < 0) return rc;
  free_timer(timer);
  return 0;
}

lvio_code lvio_timers_module(uint32_t flags) {
  if ((flags & 1) == 0) return 0;
  lvio_code first_error = 0;
  for (;;) {
    lvio_mutex_lock(&list_mutex);
    lvio_timer* timer = timers;
    lvio_mutex_unlock(&list_mutex);
    if (timer == nullptr) break;
    lvio_code rc = lvio_timer_stop(timer);
    if (rc < 0) {
      // Not stopped: dropped from the list so that the stop goes on.
      if (first_error == 0) first_error = rc;
      lvio_mutex_lock(&list_mutex);
      if (timers == timer) timers = timer->next;
      lvio_mutex_unlock(&list_mutex);
    }
  }
  return first_error;
}
