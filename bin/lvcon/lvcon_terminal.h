// The terminal's modes while the window runs.
#pragma once

// Switches a terminal on standard input to raw input (output processing
// stays on) and arranges for its modes to be put back at exit and on a
// signal that ends the process. False when standard input is no terminal.
bool lvcon_terminal_enter_raw();
// Puts the saved modes back (also safe inside a signal handler).
void lvcon_terminal_leave_raw();
bool lvcon_terminal_is_raw();
// Whether the handler is the one that restores the terminal before a
// signal ends the process (so no handler of the program's own).
bool lvcon_terminal_is_own_handler(void (*handler)(int));
