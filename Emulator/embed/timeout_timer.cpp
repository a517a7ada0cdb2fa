// The time-out timer and its built-ins (see timeout_timer.h).
#include "embed/timeout_timer.h"

#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/settings.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "core/worker.h"
#include "embed/api_exceptions.h"
#include "embed/async_events.h"
#include "lvio/interrupt.h"
#include "embed/term_interface.h"
#include "lvio/os_error.h"
#include "lvio/result_codes.h"
#include "lvio/timer.h"

namespace {

enum resource_kind { RUNTIME, WALLTIME };

constexpr int64_t RESOLUTION_MS = 20;
constexpr int64_t SHORTEST_INTERVAL_MS = 10;
constexpr int64_t NS_BELOW_MS = 999'999;  // added before dropping the sub-millisecond part: rounds up

// Engine thread only, but for the clock, which the timer's thread reads too
// (its fields are written at start-up, before any timer exists).
resource_kind resource = RUNTIME;
clockid_t engine_clock;  // the engine thread's processor-time clock (user plus system)
bool engine_clock_known;
lvio_time origin;  // walltime: the monotonic clock at start-up
lvio_timer* timer;

lvio_code monotonic_now(lvio_time* out) {
  timespec t;
  if (clock_gettime(CLOCK_MONOTONIC, &t) != 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  *out = {t.tv_sec, t.tv_nsec};
  return 0;
}

// Compares the text with "walltime" letter by letter, each letter in either
// case.
bool names_walltime(const char* text) {
  static const char lower[] = "walltime";
  static const char upper[] = "WALLTIME";
  size_t i = 0;
  for (; lower[i] != '\0'; i++)
    if (text[i] != lower[i] && text[i] != upper[i]) return false;
  return text[i] == '\0';
}

lvio_code timer_clock(lvio_time* now, lvio_timer*, void*) { return lv_timeout_clock(now); }

// On the engine thread, at its event check: the exception time_out.
int raise_time_out(void*) {
  lv_term_ref t = LV_new_term_ref();
  lv_term atom = lv_atom_from_text("time_out", LV_ATOM_FIND_OR_CREATE);
  if (atom == 0 || !LV_put_atom(t, atom)) return 0;
  (void)LV_raise_exception(t);
  return -1;
}

// On the timer's thread: queue the event that raises time_out, and
// interrupt a wait the engine may be blocked in (a read, an accept, a
// process wait), so that the event runs now and not once the wait ends.
void expired(lvio_timer*, void*) {
  if (LV_event(raise_time_out, nullptr) != 0) (void)lvio_interrupt(2);  // no callback to reach is no failure
}

// off, or a non-negative integer; false for anything else.
bool off_or_ms(lv_term t, bool* off, int64_t* ms) {
  t = lv_deref(t);
  *off = lv_is_atom(t) && std::strcmp(lv_atom_text(t), "off") == 0;
  if (*off) return true;
  if (!lv_is_small(t) || lv_small_value(t) < 0) return false;
  *ms = lv_small_value(t);
  return true;
}

bool unify_small(lv_worker* w, unsigned x, int64_t v) {
  lv_heap_room(w, 4, x + 1);
  return cunify(w, w->X[x], lv_make_integer(w, v)) != 0;
}

bool unify_name(lv_worker* w, unsigned x, const char* name) {
  lv_term atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  return atom != 0 && cunify(w, w->X[x], atom) != 0;
}

void disarm() {
  if (timer != nullptr) (void)lvio_timer_arm(timer, LVIO_TIMER_DISARM, nullptr, nullptr);
}

// Arms the timer once at the expiry: 0 or the failing code.
lvio_code arm(lvio_time expiry, bool absolute) {
  lvio_code rc = 0;
  if (timer == nullptr) rc = lvio_timer_create(&timer, expired, timer_clock, nullptr);
  if (rc < 0) return rc;
  lvio_timer_setting setting{expiry, {0, 0}};
  rc = lvio_timer_arm(timer, absolute ? LVIO_TIMER_ARM_ABSOLUTE : LVIO_TIMER_ARM_RELATIVE, &setting, nullptr);
  return rc < 0 ? rc : 0;
}

// The Error of $timer_start for its arguments (1: already expired).
lvio_code start(lv_term deadline_term, lv_term interval_term) {
  bool no_deadline = false, no_interval = false;
  int64_t deadline_ms = 0, interval_ms = 0;
  if (!off_or_ms(deadline_term, &no_deadline, &deadline_ms) || !off_or_ms(interval_term, &no_interval, &interval_ms))
    return LVIO_E_PARAMETER_ERROR;
  if (no_deadline && no_interval) {
    disarm();
    return 0;
  }
  if (!no_interval && interval_ms < SHORTEST_INTERVAL_MS) interval_ms = SHORTEST_INTERVAL_MS;
  lvio_time interval{}, deadline{};
  if (!no_interval && lvio_time_from_ms(interval_ms, &interval) < 0) return LVIO_E_PARAMETER_ERROR;
  if (!no_deadline && lvio_time_from_ms(deadline_ms, &deadline) < 0) return LVIO_E_PARAMETER_ERROR;
  lvio_time now{};
  lvio_code rc = lv_timeout_clock(&now);
  if (rc < 0) return rc;
  bool absolute = !no_deadline;
  lvio_time expiry = no_deadline ? interval : deadline;
  if (!no_deadline && !no_interval) {
    // The earlier of the deadline and now + interval, the latter rounded
    // up to a whole millisecond.
    lvio_time later{};
    lvio_time_add(now, interval, &later);
    lvio_time_add(later, {0, NS_BELOW_MS}, &later);
    if (lvio_time_from_ms(lvio_time_to_ms(later), &later) < 0) return LVIO_E_PARAMETER_ERROR;
    if (!lvio_time_before(deadline, later)) expiry = later;
  }
  lvio_time left{};
  if (absolute) lvio_time_difference(expiry, now, &left);
  if (lvio_time_is_zero(absolute ? left : expiry)) {
    disarm();
    return 1;
  }
  return arm(expiry, absolute);
}

const lv_builtin records[] = {
    LV_BUILTIN("$timer_resource", prolog_timer_resource, 1),
    LV_BUILTIN("$timer_now", prolog_timer_now, 1),
    LV_BUILTIN("$timer_resolution_ms", prolog_timer_resolution_ms, 1),
    LV_BUILTIN("$timer_start", prolog_timer_start, 3),
    LV_BUILTIN("$timer_stop", prolog_timer_stop, 1),
};

}  // namespace

lv_builtin_table lv_timer_builtins() { return {records, sizeof records / sizeof records[0]}; }

int64_t lv_timeout_init() {
  timer = nullptr;
  resource = RUNTIME;
  origin = {0, 0};
  engine_clock_known = pthread_getcpuclockid(pthread_self(), &engine_clock) == 0;
  char* value = lv_get_property_text_default("LV_TIMEOUT_RESOURCE", nullptr, nullptr);
  bool walltime = value != nullptr && names_walltime(value);
  LV_free(value);
  if (!walltime) return 0;
  resource = WALLTIME;
  return monotonic_now(&origin);
}

int64_t lv_timeout_deinit(lv_worker*) {
  origin = {0, 0};
  if (timer != nullptr) (void)lvio_timer_stop(timer);
  timer = nullptr;
  return 0;
}

int64_t lv_timeout_clock(lvio_time* now) {
  lvio_code rc = 0;
  if (resource == WALLTIME) {
    lvio_time t{};
    rc = monotonic_now(&t);
    if (rc >= 0) lvio_time_difference(t, origin, now);
  } else if (!engine_clock_known) {
    rc = LVIO_E_INVALID_STATE;
  } else {
    timespec t;
    if (clock_gettime(engine_clock, &t) == 0)
      *now = {t.tv_sec, t.tv_nsec};
    else
      rc = lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  }
  if (rc < 0) *now = {-1, 0};
  return rc;
}

int prolog_timer_resource(lv_worker* w) { return unify_name(w, 0, resource == WALLTIME ? "walltime" : "runtime"); }

int prolog_timer_now(lv_worker* w) {
  lvio_time now{};
  if (lv_timeout_clock(&now) < 0 || now.seconds < 0) return 0;
  return unify_small(w, 0, lvio_time_to_ms(now));
}

int prolog_timer_resolution_ms(lv_worker* w) { return unify_small(w, 0, RESOLUTION_MS); }

int prolog_timer_start(lv_worker* w) { return unify_small(w, 2, start(w->X[0], w->X[1])); }

int prolog_timer_stop(lv_worker* w) {
  if (timer == nullptr) return unify_name(w, 0, "off");
  lvio_timer_setting previous{};
  lvio_code rc = lvio_timer_arm(timer, LVIO_TIMER_DISARM | LVIO_TIMER_ARM_ABSOLUTE, nullptr, &previous);
  if (rc == LVIO_S_PRIVATE_ERROR_0 + 1) return unify_name(w, 0, "past");
  if (rc < 0 || rc == LVIO_S_PRIVATE_ERROR_0) return unify_name(w, 0, "off");
  lvio_time up{};
  lvio_time_add(previous.deadline, {0, NS_BELOW_MS}, &up);
  return unify_small(w, 0, lvio_time_to_ms(up));
}
