// The window's life: raw input on a terminal while the program runs.
#include "lvcon/lvcon.h"
#include "lvcon/lvcon_input.h"
#include "lvcon/lvcon_terminal.h"

int rlc_mainW(const rlc_instance* instance, const void*, const char16_t*, int, rlc_main_function main,
              const void*) {
  bool terminal = lvcon_terminal_enter_raw();
  // The keyboard is read from the start, so that Ctrl-C reaches a program
  // that computes before it first reads.
  lvcon_input_start(terminal);
  int code = main(instance != nullptr ? instance->argc : 0, instance != nullptr ? instance->argv : nullptr);
  lvcon_terminal_leave_raw();
  return code;
}
