// Signal handling of the front end. Ctrl-C and Ctrl-Break (SIGQUIT here)
// are handed to the runtime, which queues them for the engine. In mode 0
// a segmentation fault or an illegal instruction becomes a fatal fault,
// which jumps to the top level's abort record.
#include <csignal>

#include "frontend.h"
#include "frontend_runtime.h"

namespace {

void on_ctrlc(int, void*) { rt::ctrlc_action(); }
void on_ctrlbreak(int, void*) { rt::ctrlbreak_action(); }

// The handler leaves by a jump that does not restore the signal mask, so
// the signal is not blocked while it runs: a second fault after the restart
// is caught again.
void catch_fault(int sig) {
  struct sigaction action = {};
  action.sa_handler = frontend_on_fault_signal;
  action.sa_flags = SA_NODEFER;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

}  // namespace

void frontend_install_signal_handlers(int mode) {
  rt::signal(SIGINT, on_ctrlc);
  rt::signal(SIGQUIT, on_ctrlbreak);
  if (mode == 0) {
    catch_fault(SIGSEGV);
    catch_fault(SIGILL);
  }
}

void frontend_reset_fault_signals() {
  std::signal(SIGFPE, SIG_DFL);
  std::signal(SIGSEGV, SIG_DFL);
  std::signal(SIGILL, SIG_DFL);
}

void frontend_on_fault_signal(int sig) {
  const char* message;
  switch (sig) {
    case SIGINT: message = "interrupted"; break;
    case SIGILL: message = "illegal instruction"; break;
    case SIGFPE: message = "floating point exception"; break;
    case SIGSEGV: message = "segmentation violation"; break;
    default: message = "miscellaneous error condition"; break;
  }
  rt::raise_fault(message);
}
