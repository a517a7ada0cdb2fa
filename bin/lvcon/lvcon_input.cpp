// The window's keyboard: a thread of its own reads standard input as it
// comes, as a console window takes keys while the program computes, and
// queues the keys. Ctrl-C and Ctrl-\ are seen there at once and signal the
// program (SIGINT, SIGQUIT) when it handles the signal. The thread blocks
// every signal, so they reach the program's own threads.
#include "lvcon/lvcon_input.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "lvcon/lvcon.h"
#include "lvcon/lvcon_keys.h"
#include "lvcon/lvcon_terminal.h"

namespace {

constexpr int INPUT = 0;

std::mutex lock;
std::deque<int> keys;  // units
bool at_end = false;
bool failed = false;
int wake = -1;  // readable while the queue may have changed
bool terminal_keys = false;
std::once_flag started;

void notify() {
  uint64_t one = 1;
  (void)write(wake, &one, sizeof one);
}

void drain() {
  uint64_t n;
  (void)read(wake, &n, sizeof n);
}

// Sends the signal to the process when the program handles it: a signal at
// its default action would end the program for a key typed.
void forward(int sig) {
  struct sigaction current = {};
  if (sigaction(sig, nullptr, &current) != 0) return;
  if ((current.sa_flags & SA_SIGINFO) == 0 &&
      (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN ||
       lvcon_terminal_is_own_handler(current.sa_handler)))
    return;
  kill(getpid(), sig);
}

void* reader(void*) {
  lvcon_key_decoder decoder;
  decoder.terminal = terminal_keys;
  std::vector<int> typed;
  unsigned char bytes[256];
  for (;;) {
    ssize_t n = read(INPUT, bytes, sizeof bytes);
    int error = n < 0 ? errno : 0;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {  // standard input came non-blocking
      pollfd p = {INPUT, POLLIN, 0};
      (void)poll(&p, 1, -1);
      continue;
    }
    typed.clear();
    if (n > 0) lvcon_decode_keys(decoder, bytes, static_cast<size_t>(n), typed);
    bool interrupt = false, brk = false;
    {
      std::lock_guard<std::mutex> guard(lock);
      for (int k : typed) {
        if (k == LVCON_KEY_INTERRUPT)
          interrupt = true;
        else if (k == LVCON_KEY_BREAK)
          brk = true;
        else
          keys.push_back(k);
      }
      // A terminal that hung up reads as EIO: the end of its input.
      if (n == 0 || error == EIO) at_end = true;
      else if (n < 0) failed = true;
      notify();
    }
    if (interrupt) forward(SIGINT);
    if (brk) forward(SIGQUIT);
    if (n <= 0) return nullptr;
  }
}

void start() {
  wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake < 0) {
    failed = true;
    return;
  }
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  pthread_t thread;
  if (pthread_create(&thread, nullptr, reader, nullptr) == 0)
    pthread_detach(thread);
  else
    failed = true;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

void lvcon_input_start(bool terminal) {
  std::call_once(started, [terminal] {
    terminal_keys = terminal;
    start();
  });
}

int rlc_getchW(int wait) {
  lvcon_input_start(false);
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (!keys.empty()) {
        int key = keys.front();
        keys.pop_front();
        return key;
      }
      if (at_end) return RLC_END_OF_INPUT;
      if (failed) return RLC_READ_ERROR;
      // Emptied under the lock: a key queued after this makes it readable.
      drain();
      if (wait == 0) return RLC_NO_INPUT;
    }
    pollfd p = {wake, POLLIN, 0};
    if (poll(&p, 1, -1) < 0 && errno == EINTR) return RLC_INTERRUPTED;  // the program has a signal to see to
  }
}

int rlc_input_handle() {
  lvcon_input_start(false);
  return wake;
}
