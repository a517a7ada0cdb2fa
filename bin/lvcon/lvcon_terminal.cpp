// The terminal's modes: raw input while the window runs, and the modes the
// terminal had put back on every way out. A process that ends by a signal
// whose default action ends it runs no exit handlers, so those signals get
// a handler that restores the terminal and then lets the signal take its
// default course. A stop puts the modes back for the shell and a continue
// takes raw mode again.
#include "lvcon/lvcon_terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

namespace {

constexpr int TERMINAL = 0;  // standard input

termios saved;
termios raw;
std::atomic<bool> raw_on{false};
bool handlers_installed = false;

// The signals that end the process by default; the program may replace
// these handlers with its own. SIGPIPE is left to the program, which
// ignores it when it finds it at its default.
constexpr int ENDING_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGABRT,
                                  SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ};

void set_handler(int sig, void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

void put_back() {
  if (raw_on.exchange(false)) tcsetattr(TERMINAL, TCSANOW, &saved);
}

void take_raw() {
  if (!raw_on.exchange(true)) tcsetattr(TERMINAL, TCSANOW, &raw);
}

// Restores the terminal, then the signal takes its default course: the
// handler was reset on entry.
void on_ending_signal(int sig) {
  int saved_errno = errno;
  put_back();
  raise(sig);
  errno = saved_errno;
}

void on_stop(int) {
  int saved_errno = errno;
  bool was_raw = raw_on.load();
  put_back();
  set_handler(SIGTSTP, SIG_DFL, 0);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  raise(SIGTSTP);
  pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);  // stops here until continued
  set_handler(SIGTSTP, on_stop, SA_RESTART);
  if (was_raw) take_raw();
  errno = saved_errno;
}

void on_continue(int) {
  int saved_errno = errno;
  // Continued after a stop that this program did not see (SIGSTOP): the
  // shell may have changed the modes meanwhile.
  if (raw_on.load()) tcsetattr(TERMINAL, TCSANOW, &raw);
  errno = saved_errno;
}

void install_handlers() {
  if (handlers_installed) return;
  handlers_installed = true;
  for (int sig : ENDING_SIGNALS) {
    struct sigaction current = {};
    sigaction(sig, nullptr, &current);
    // A signal the program was started ignoring stays ignored.
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) continue;
    set_handler(sig, on_ending_signal, SA_RESETHAND | SA_NODEFER);
  }
  set_handler(SIGTSTP, on_stop, SA_RESTART);
  set_handler(SIGCONT, on_continue, SA_RESTART);
  std::atexit(put_back);
}

}  // namespace

bool lvcon_terminal_is_own_handler(void (*handler)(int)) { return handler == on_ending_signal; }

bool lvcon_terminal_enter_raw() {
  if (isatty(TERMINAL) == 0 || tcgetattr(TERMINAL, &saved) != 0) return false;
  raw = saved;
  // Every key reaches the window as typed, one at a time and unechoed: no
  // line editing, no signals, no flow control, no CR-to-NL mapping. Output
  // keeps its processing (a new line goes to the start of the next).
  raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_cflag = (raw.c_cflag & ~(CSIZE | PARENB)) | CS8;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  install_handlers();
  take_raw();
  return true;
}

void lvcon_terminal_leave_raw() { put_back(); }

bool lvcon_terminal_is_raw() { return raw_on.load(); }
