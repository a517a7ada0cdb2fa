// The event watcher thread.
#include "lvio/event_watch.h"

#include <atomic>
#include <new>

#include "lvio/allocator.h"
#include "lvio/event_wait.h"
#include "lvio/thread.h"

namespace {

// The watcher waits again after this long without an event.
constexpr lvio_time REWAIT = {30, 0};

struct watch {
  lvio_event* wake;
  lvio_event* watched;
  lvio_thread* thread;
  std::atomic<uint32_t> stop;
  std::atomic<uint32_t> finished;
  lvio_watch_fn callback;
  void* user;
};

std::atomic<watch*> current{nullptr};

lvio_code watcher(lvio_thread*, void* argument) {
  auto* w = static_cast<watch*>(argument);
  lvio_event* events[2] = {w->wake, w->watched};
  for (;;) {
    lvio_code rc = lvio_event_wait(events, w->watched != nullptr ? 2 : 1, &REWAIT);
    (void)lvio_event_reset(w->wake);
    if (w->stop.load() != 0) break;
    if (rc == 0) {
      lvio_code result = w->callback(w->user, LVIO_WATCH_FIRED);
      if (result < 0 || result == LVIO_S_DONE) break;
    }
    if (rc != 0 && rc != LVIO_E_TIMEOUT && rc != LVIO_E_INTERRUPTED) break;
  }
  w->finished.store(1);
  return 0;
}

void free_record(watch* w) {
  lvio_event_release(w->wake);
  lvio_event_release(w->watched);
  lvio_free(w);
}

// Ends the watch's thread, gives the callback its last call and frees the
// record. A failure leaves the watch dropped: it is no longer current.
lvio_code cancel(watch* w) {
  current.store(nullptr);
  w->stop.store(1);
  lvio_code rc = lvio_event_set(w->wake);
  if (rc >= 0) rc = lvio_thread_join(w->thread);
  if (rc < 0) return rc;
  w->thread = nullptr;
  if (w->finished.load() == 0) return LVIO_E_INTERNAL_ERROR;
  lvio_watch_fn callback = w->callback;
  void* user = w->user;
  w->callback = nullptr;
  w->user = nullptr;
  callback(user, LVIO_WATCH_CANCELLED);
  free_record(w);
  return LVIO_S_DEALLOCATED;
}

bool matches(const watch* w, const lvio_event* event, lvio_watch_fn callback, const void* user) {
  return w != nullptr && w->watched == event && (callback == nullptr || callback == w->callback) &&
         (user == nullptr || user == w->user);
}

}  // namespace

lvio_code lvio_event_watch(lvio_event* event, lvio_watch_fn callback, void* user, uint32_t) {
  lvio_code rc = lvio_event_watch_stop();
  if (rc < 0) return rc;
  void* memory = lvio_alloc(sizeof(watch));
  if (memory == nullptr) return LVIO_E_OUT_OF_MEMORY;
  auto* w = new (memory) watch();
  w->callback = callback;
  w->user = user;
  rc = lvio_event_create(0, &w->wake);
  if (rc >= 0 && event != nullptr) {
    rc = lvio_event_acquire(event);
    if (rc >= 0) w->watched = event;
  }
  if (rc >= 0) {
    current.store(w);
    rc = lvio_thread_create(0, watcher, w, &w->thread);
  }
  if (rc < 0) {
    current.store(nullptr);
    free_record(w);
    return rc;
  }
  return 0;
}

lvio_code lvio_event_watch_cancel(lvio_event* event, lvio_watch_fn callback, void* user, uint32_t) {
  watch* w = current.load();
  if (!matches(w, event, callback, user)) return 0;
  return cancel(w);
}

lvio_code lvio_event_watch_control(lvio_event* event, lvio_watch_fn callback, void* user, uint32_t flags) {
  lvio_code rc = lvio_event_watch_cancel(event, callback, user, 0);
  if (rc < 0) return rc;
  return lvio_event_watch(event, callback, user, flags);
}

lvio_code lvio_event_watch_poke(uint32_t flags) {
  watch* w = current.load();
  if (w == nullptr) return 0;
  if ((flags & 1) != 0) w->stop.store(1);
  return lvio_event_set(w->wake);
}

lvio_code lvio_event_watch_stop() {
  watch* w = current.load();
  return w == nullptr ? 0 : cancel(w);
}
