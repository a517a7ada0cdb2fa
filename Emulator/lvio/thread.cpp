// Threads of the I/O layer, on pthreads.
#include "lvio/thread.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <new>

#include "lvio/allocator.h"
#include "lvio/event_wait.h"
#include "lvio/os_error.h"
#include "lvio/signal_dispatch.h"

// Bits of the run state.
constexpr uint32_t RUN_FINISHED = 1;
constexpr uint32_t RUN_RUNNING = 2;

struct lvio_thread {
  lvio_thread_fn start;
  void* user;
  std::atomic<lvio_code> result;
  // Set by the thread when its function has returned.
  lvio_event* completion;
  lvio_event* stop;
  std::atomic<uint32_t> control;
  std::atomic<uint32_t> run_state;
  bool detached;
  pthread_t handle;
};

namespace {

thread_local lvio_thread* self;

void free_record(lvio_thread* thread) {
  lvio_event_release(thread->completion);
  lvio_event_release(thread->stop);
  lvio_free(thread);
}

void* entry(void* argument) {
  auto* thread = static_cast<lvio_thread*>(argument);
  self = thread;
  thread->result.store(thread->start(thread, thread->user));
  self = nullptr;
  thread->run_state.store(RUN_FINISHED);
  if (thread->detached)
    free_record(thread);
  else
    (void)lvio_event_set(thread->completion);
  return nullptr;
}

// Waits for the completion descriptor alone: no interrupt and no cancel of
// the calling thread ends this wait.
lvio_code wait_completion_plain(lvio_thread* thread) {
  pollfd p = {thread->completion->fd, POLLIN, 0};
  for (;;) {
    int n = poll(&p, 1, -1);
    if (n > 0) return (p.revents & POLLNVAL) != 0 ? LVIO_E_OS_ERROR : 0;
    if (n < 0 && errno != EINTR) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  }
}

// Waits for the completion event until it is set, whatever interrupts come
// and even when the calling thread is cancelled itself; returns the number
// of interrupts the waits swallowed, or an error.
lvio_code wait_completion(lvio_thread* thread) {
  lvio_code swallowed = 0;
  for (;;) {
    lvio_code rc = lvio_event_wait(&thread->completion, 1, nullptr);
    if (rc == LVIO_E_CANCELED) rc = wait_completion_plain(thread);
    if (rc != LVIO_E_INTERRUPTED) return rc < 0 ? rc : swallowed;
    swallowed++;
  }
}

lvio_code start_thread(lvio_thread* thread) {
  pthread_attr_t attr;
  int error = pthread_attr_init(&attr);
  if (error != 0) return lvio_os_error_code(error, LVIO_E_THREAD_ERROR);
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGQUIT);
  sigaddset(&mask, SIGPIPE);
  error = pthread_attr_setsigmask_np(&attr, &mask);
  if (error == 0 && thread->detached) error = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (error == 0) {
    thread->run_state.store(RUN_RUNNING);
    error = pthread_create(&thread->handle, &attr, entry, thread);
    if (error != 0) thread->run_state.store(0);
  }
  pthread_attr_destroy(&attr);
  // EAGAIN here is a lack of resources for another thread, not a call to retry.
  if (error != 0) return error == ENOMEM ? LVIO_E_OUT_OF_MEMORY : LVIO_E_THREAD_ERROR;
  return 0;
}

}  // namespace

lvio_code lvio_thread_create(uint32_t flags, lvio_thread_fn start, void* user, lvio_thread** out) {
  void* memory = lvio_alloc(sizeof(lvio_thread));
  if (memory == nullptr) return LVIO_E_OUT_OF_MEMORY;
  auto* thread = new (memory) lvio_thread();
  thread->start = start;
  thread->user = user;
  thread->control.store((flags & LVIO_THREAD_CANCELLABLE) != 0 ? LVIO_THREAD_CONTROL_CANCELLABLE : 0);
  thread->detached = out == nullptr;
  lvio_code rc = lvio_event_create(0, &thread->stop);
  if (rc >= 0) rc = lvio_event_create(0, &thread->completion);
  if (rc < 0) {
    free_record(thread);
    return rc;
  }
  // Everything the new thread reads is in place before it starts: a
  // detached thread may free its record before pthread_create returns.
  thread->control.fetch_or(LVIO_THREAD_CONTROL_STARTED);
  rc = start_thread(thread);
  if (rc < 0) {
    free_record(thread);
    return rc;
  }
  if (out != nullptr) *out = thread;
  return 0;
}

lvio_code lvio_thread_join(lvio_thread* thread) {
  if (thread == nullptr) return 0;
  if (thread == self) return LVIO_E_INVALID_STATE;  // a thread cannot wait for its own end
  lvio_code rc = wait_completion(thread);
  if (rc < 0) return rc;
  int error = pthread_join(thread->handle, nullptr);
  if (error != 0) return lvio_os_error_code(error, LVIO_E_OS_ERROR);
  free_record(thread);
  return 0;
}

lvio_code lvio_thread_wait(lvio_thread* thread, const lvio_time* time) {
  return lvio_event_wait(&thread->completion, 1, time);
}

lvio_code lvio_thread_result(lvio_thread* thread, lvio_code* value) {
  lvio_code signalled = lvio_event_wait_one(thread->completion);
  if (signalled < 0) return signalled;
  if (signalled == 0) return LVIO_E_THREAD_RUNNING;
  *value = thread->result.load();
  return 0;
}

lvio_code lvio_thread_is_running(lvio_thread* thread, int* running) {
  lvio_code signalled = lvio_event_wait_one(thread->completion);
  if (signalled < 0) return signalled;
  *running = signalled == 0 ? 1 : 0;
  return 0;
}

lvio_code lvio_thread_cancel(lvio_thread* thread, uint32_t flags) {
  if ((thread->control.load() & LVIO_THREAD_CONTROL_CANCELLABLE) == 0) return LVIO_E_NOT_SUPPORTED;
  thread->control.fetch_or(LVIO_THREAD_CONTROL_CANCEL_REQUESTED);
  // The stop event is what wakes the thread: its waits watch it.
  lvio_code rc = lvio_event_set(thread->stop);
  if (rc < 0) return rc;
  if ((flags & 1) == 0) {
    rc = wait_completion_plain(thread);
    if (rc < 0) return rc;
  }
  thread->control.fetch_or(LVIO_THREAD_CONTROL_CANCEL_DELIVERED);
  if ((flags & 1) != 0) return 0;
  rc = wait_completion(thread);
  if (rc < 0) return rc;
  return rc > 0 ? LVIO_S_SUPPRESSED_INTERRUPT : 0;
}

lvio_event* lvio_thread_stop_event(lvio_thread* thread) { return thread->stop; }

uint32_t lvio_thread_control(lvio_thread* thread) { return thread->control.load(); }

lvio_thread* lvio_thread_self() { return self; }

lvio_code lvio_thread_current_id(uint32_t* id) {
  *id = static_cast<uint32_t>(gettid());
  return 0;
}

bool lvio_thread_same(uint32_t a, uint32_t b) { return a == b; }

lvio_code lvio_thread_times(uint32_t id, void*, lvio_time* out) {
  // The kernel's clock id for one thread's user-mode time: the thread id
  // inverted and shifted, with the per-thread bit (4) and the user-time
  // clock (1). It serves any thread of this process, not only ours.
  auto clock = static_cast<clockid_t>((~id << 3) | 4 | 1);
  timespec t;
  if (clock_gettime(clock, &t) != 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  *out = {t.tv_sec, t.tv_nsec};
  return 0;
}

namespace {

// SIGPIPE's disposition before the module start changed it.
bool sigpipe_changed;
struct sigaction sigpipe_before;

}  // namespace

lvio_code lvio_threads_module(uint32_t flags) {
  if ((flags & 1) != 0) {
    lvio_code rc = lvio_signal_dispatch_stop();
    // Given back only when nobody has changed it since.
    struct sigaction current;
    if (sigpipe_changed && sigaction(SIGPIPE, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
        current.sa_handler == SIG_IGN)
      sigaction(SIGPIPE, &sigpipe_before, nullptr);
    sigpipe_changed = false;
    return rc;
  }
  struct sigaction current;
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
      current.sa_handler == SIG_DFL) {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigpipe_before = current;
    sigpipe_changed = sigaction(SIGPIPE, &ignore, nullptr) == 0;
  }
  return lvio_signal_dispatch_start();
}
