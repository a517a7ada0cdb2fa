// The signal dispatch thread.
#include "lvio/signal_dispatch.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "lvio/interrupt.h"
#include "lvio/os_error.h"
#include "lvio/sync.h"
#include "lvio/thread.h"

namespace {

lvio_thread* dispatcher;

// The hook and its user data change together under this lock; the thread
// calls the hook holding it.
lvio_mutex hook_mutex = LVIO_MUTEX_STATIC_INIT;
lvio_signal_dispatch_fn hook_function;
void* hook_user;

lvio_code run(lvio_thread* thread, void*) {
  pollfd fds[2] = {{lvio_interrupt_record_fd(), POLLIN, 0}, {lvio_thread_stop_event(thread)->fd, POLLIN, 0}};
  for (;;) {
    int n = poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
    }
    if (fds[1].revents != 0) return 0;
    lvio_interrupt_run_recorded();
    lvio_mutex_lock(&hook_mutex);
    if (hook_function != nullptr) hook_function(hook_user);
    lvio_mutex_unlock(&hook_mutex);
  }
}

}  // namespace

lvio_code lvio_signal_dispatch_set_hook(lvio_signal_dispatch_fn function, void* user) {
  lvio_mutex_lock(&hook_mutex);
  hook_function = function;
  hook_user = user;
  lvio_mutex_unlock(&hook_mutex);
  return 0;
}

void lvio_signal_dispatch_wake() {
  int saved_errno = errno;
  int fd = lvio_interrupt_record_fd();
  if (fd >= 0) {
    uint64_t one = 1;
    ssize_t written = write(fd, &one, sizeof one);
    (void)written;  // a full counter is still readable
  }
  errno = saved_errno;
}

lvio_code lvio_signal_dispatch_start() {
  if (dispatcher != nullptr) return LVIO_E_INVALID_STATE;
  lvio_code rc = lvio_interrupt_record_open();
  if (rc < 0) return rc;
  rc = lvio_thread_create(LVIO_THREAD_CANCELLABLE, run, nullptr, &dispatcher);
  if (rc < 0) dispatcher = nullptr;
  return rc;
}

lvio_code lvio_signal_dispatch_stop() {
  if (dispatcher == nullptr) return 0;
  lvio_code rc = lvio_thread_cancel(dispatcher, 0);
  if (rc >= 0) rc = lvio_thread_join(dispatcher);
  if (rc < 0) return rc;
  dispatcher = nullptr;
  return 0;
}
