// Interrupts: the callback list, its lock, dispatch and the hand-off from
// signal handlers.
#include "lvio/interrupt.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "lvio/allocator.h"
#include "lvio/deferred_close.h"
#include "lvio/os_error.h"
#include "lvio/sync.h"

namespace {

struct hook {
  lvio_interrupt_fn function;
  void* user;
};

// A lock with static storage: it exists before the layer starts and after it
// stops, so that a late dispatch or registration never meets a freed lock.
lvio_mutex interrupt_mutex = LVIO_MUTEX_STATIC_INIT;

// Guarded by the interrupt lock.
int64_t nesting;
hook* hooks;
uint64_t hook_count;
uint64_t dispatches;
// Callbacks being called: the hook array must not change under them.
uint64_t dispatch_depth;
lvio_closeable* pending_node;

// Interrupts recorded by signal handlers, by mode (0 and 2).
std::atomic<uint64_t> recorded_announce{0};
std::atomic<uint64_t> recorded_mark{0};
std::atomic<int> record_fd{-1};
static_assert(std::atomic<uint64_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "signal handlers touch these");

uint32_t mode_of(uint32_t flags) { return (flags & 1) != 0 && (flags & 2) == 0 ? 0 : 2; }

lvio_code run_pending(lvio_closeable* node, uint32_t flags) {
  lvio_interrupt_callbacks_only();
  if ((flags & 1) != 0) return 0;  // a shutdown drain releases the node
  lvio_interrupt_lock();
  pending_node = node;
  lvio_interrupt_unlock();
  return LVIO_S_DEALLOCATED;
}

void release_pending(lvio_closeable* node) { lvio_free(node); }

const lvio_closeable_ops pending_ops = {run_pending, release_pending};

lvio_code remove_hook(lvio_interrupt_fn function) {
  for (uint64_t i = 0; i < hook_count; i++) {
    if (hooks[i].function != function) continue;
    hooks[i] = hooks[--hook_count];
    if (hook_count == 0) {
      lvio_free(hooks);
      hooks = nullptr;
    }
    return 0;
  }
  return LVIO_S_DEALLOCATED;
}

lvio_code append_hook(lvio_interrupt_fn function, void* user) {
  auto* grown = static_cast<hook*>(lvio_realloc(hooks, (hook_count + 1) * sizeof(hook)));
  if (grown == nullptr) return LVIO_E_OUT_OF_MEMORY;
  hooks = grown;
  hooks[hook_count++] = {function, user};
  return 0;
}

lvio_code start_layer_core() {
  lvio_code rc = lvio_interrupt_record_open();
  if (rc < 0) return rc;
  auto* node = static_cast<lvio_closeable*>(lvio_alloc(sizeof(lvio_closeable)));
  if (node == nullptr) return LVIO_E_OUT_OF_MEMORY;
  lvio_closeable_init(node, &pending_ops, nullptr);
  lvio_interrupt_lock();
  dispatches = 0;
  lvio_closeable* old = pending_node;
  pending_node = node;
  lvio_interrupt_unlock();
  lvio_free(old);
  return 0;
}

lvio_code stop_layer_core() {
  lvio_deferred_close_all(1);
  lvio_interrupt_lock();
  lvio_closeable* node = pending_node;
  pending_node = nullptr;
  lvio_interrupt_unlock();
  lvio_free(node);
  recorded_announce.store(0);
  recorded_mark.store(0);
  return 0;
}

}  // namespace

lvio_code lvio_interrupt_hook_add(lvio_interrupt_fn function, void* user, uint32_t flags) {
  lvio_interrupt_lock();
  lvio_code rc;
  if (dispatch_depth != 0)
    rc = LVIO_E_INVALID_STATE;
  else if ((flags & 1) != 0)
    rc = remove_hook(function);
  else
    rc = append_hook(function, user);
  lvio_interrupt_unlock();
  return rc;
}

lvio_code lvio_interrupt(uint32_t flags) {
  lvio_interrupt_dispatch(mode_of(flags));
  return 0;
}

void lvio_interrupt_dispatch(uint32_t mode) {
  lvio_interrupt_lock();
  if ((mode & 1) == 0 && pending_node != nullptr) {
    lvio_closeable* node = pending_node;
    pending_node = nullptr;
    lvio_interrupt_unlock();
    lvio_code rc = lvio_closeable_register(node, 1);
    lvio_interrupt_lock();
    if (rc < 0) pending_node = node;
  }
  dispatches++;
  dispatch_depth++;
  for (uint64_t i = 0; i < hook_count; i++) hooks[i].function(hooks[i].user, mode & 3);
  dispatch_depth--;
  lvio_interrupt_unlock();
}

void lvio_interrupt_callbacks_only() { lvio_interrupt_dispatch(1); }

int64_t lvio_interrupt_lock() {
  lvio_mutex_lock(&interrupt_mutex);
  return ++nesting;
}

int64_t lvio_interrupt_unlock() {
  int64_t n = --nesting;
  lvio_mutex_unlock(&interrupt_mutex);
  return n;
}

void lvio_interrupt_sync() {
  lvio_interrupt_lock();
  lvio_interrupt_unlock();
}

uint64_t lvio_interrupt_dispatch_count() {
  lvio_interrupt_lock();
  uint64_t n = dispatches;
  lvio_interrupt_unlock();
  return n;
}

void lvio_interrupt_record(uint32_t flags) {
  int saved_errno = errno;
  (mode_of(flags) == 0 ? recorded_announce : recorded_mark).fetch_add(1);
  int fd = record_fd.load();
  if (fd >= 0) {
    uint64_t one = 1;
    ssize_t written = write(fd, &one, sizeof one);
    (void)written;  // a full counter is still readable
  }
  errno = saved_errno;
}

int lvio_interrupt_record_fd() { return record_fd.load(); }

lvio_code lvio_interrupt_record_open() {
  if (record_fd.load() >= 0) return 0;
  int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  int none = -1;
  // Two threads opening at once keep the first descriptor.
  if (!record_fd.compare_exchange_strong(none, fd)) close(fd);
  return 0;
}

int64_t lvio_interrupt_run_recorded() {
  int fd = record_fd.load();
  if (fd >= 0) {
    uint64_t ignored;
    ssize_t got = read(fd, &ignored, sizeof ignored);
    (void)got;  // nothing to read is fine: the counters decide
  }
  int64_t run = 0;
  if (recorded_announce.exchange(0) != 0) {
    lvio_interrupt_dispatch(0);
    run++;
  }
  if (recorded_mark.exchange(0) != 0) {
    lvio_interrupt_dispatch(2);
    run++;
  }
  return run;
}

lvio_code lvio_layer_core_module(uint32_t flags) { return (flags & 1) != 0 ? stop_layer_core() : start_layer_core(); }
