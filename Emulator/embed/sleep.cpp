// The waits under sleep/1 (see sleep.h).
#include "embed/sleep.h"

#include <ctime>

#include "core/numbers.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "lvio/event_wait.h"
#include "lvio/result_codes.h"

namespace {

// Far enough for any sleep, near enough that now + it stays in int64_t.
constexpr int64_t LONGEST_NS = 1'000'000'000'000'000'000;  // about 31 years
constexpr double LONGEST_SECONDS = 1e9;
// A wait that cannot be interrupted returns to the engine this often.
constexpr int64_t SLICE_NS = 100'000'000;

int64_t monotonic_ns() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The duration of Seconds in nanoseconds, clamped to [0, LONGEST_NS].
bool duration_ns(lv_term t, int64_t* ns) {
  t = lv_deref(t);
  if (lv_is_small(t)) {
    int64_t s = lv_small_value(t);
    *ns = s <= 0 ? 0 : s >= LONGEST_NS / 1'000'000'000 ? LONGEST_NS : s * 1'000'000'000;
    return true;
  }
  if (!lv_is_box(t)) return false;
  double s = lv_number_to_double(t);
  if (!(s > 0))
    *ns = 0;  // negative, zero or NaN
  else if (s >= LONGEST_SECONDS)
    *ns = LONGEST_NS;
  else
    *ns = static_cast<int64_t>(s * 1e9);
  return true;
}

}  // namespace

int prolog_sleep_deadline(lv_worker* w) {
  int64_t ns;
  if (!duration_ns(w->X[0], &ns)) return 0;
  lv_heap_room(w, 3, 2);
  return cunify(w, w->X[1], lv_make_integer(w, monotonic_ns() + ns));
}

int prolog_sleep_wait(lv_worker* w) {
  lv_term t = lv_deref(w->X[0]);
  int64_t deadline;
  if (lv_is_small(t)) {
    deadline = lv_small_value(t);
  } else if (lv_is_integer_box(t) && lv_box_value_words(*lv_struct_cells(t)) == 1) {
    deadline = static_cast<int64_t>(lv_struct_cells(t)[1]);
  } else {
    return 0;
  }
  for (;;) {
    int64_t left = deadline - monotonic_ns();
    if (left <= 0) return 1;
    // A day at most per wait: the wait's milliseconds must fit in 32 bits.
    constexpr int64_t DAY_NS = 86'400'000'000'000;
    if (left > DAY_NS) left = DAY_NS;
    lvio_time time{left / 1'000'000'000, left % 1'000'000'000};
    lvio_code rc = lvio_event_wait(nullptr, 0, &time);
    if (rc == LVIO_E_TIMEOUT) continue;
    if (rc == LVIO_E_INTERRUPTED) return 0;
    // No interrupt event to watch here: wait a slice, then let the engine
    // look at its events.
    if (left > SLICE_NS) left = SLICE_NS;
    timespec pause{0, static_cast<long>(left)};
    nanosleep(&pause, nullptr);
    return 0;
  }
}
