// The main program shared by the front-end programs: the entry that builds
// the argument vector, the option loop and start-up, the top level's loop
// and the signal handling.
#pragma once

// Builds the UTF-8 argument vector and runs frontend_main; the exit code.
int frontend_entry(int argc, char** argv);

// The argument vector of the process: 0, -10017 when it cannot be split,
// -10003 when memory runs out. frontend_free_argv frees what it made.
int frontend_argv_from_command_line(int argc, char** argv, int* out_argc, char*** out_argv);
void frontend_free_argv(char** argv);
// Allocates (null block; size 0 counts as 1), frees (size 0, answers null)
// or reallocates.
void* frontend_heap_resize(void* block, unsigned long size);

int frontend_main(int argc, char** argv);

// Installs the runtime's errprintf hook that keeps a message's lines
// together on standard error.
void frontend_install_message_channel();

// The usage text: the error form on standard error, else the help form on
// standard output. The version text.
void frontend_print_usage(int error_form, int argc, char** argv);
void frontend_print_version();

// Signal modes: 0 fault signals caught as fatal faults, 1 the default,
// 2 reduced use of signals.
void frontend_install_signal_handlers(int mode);
void frontend_reset_fault_signals();
void frontend_on_fault_signal(int signal);

// Runs prolog:reboot/2 until a pass ends without a fatal fault.
int frontend_run_toplevel();
