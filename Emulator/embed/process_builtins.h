// Built-ins through which the Prolog library starts, waits for, signals
// and releases child processes, with their piped standard streams as
// Prolog streams. Like the other operating-system built-ins they raise no
// errors: the last argument receives 0 or the I/O layer's result code, and
// the Prolog side raises the error.
//
// A process argument is a process object ('$process'('$ptr ...'), made by
// $process_create) or an integer process id, which is opened for the call
// and released after it.
#pragma once

#include "core/builtins.h"
#include "embed/external_objects.h"

struct lv_worker;

// The external-object type of processes, made at context set-up: its
// finaliser releases the process handle.
void lv_init_process_table();
// Shutdown: finalises the process objects still there (their handles are
// released; children still running go on).
void lv_stop_process_table();
lv_external_object_type* lv_process_type();

// '$process_create'(+Program, +Args, +Dir, +Env, +Options, +InEnc, +OutEnc,
// +ErrEnc, -In, -Out, -Err, -Process, -Error)
//
// Args and Env are lists whose elements are an atom, F(Atom) (a part of
// kind F, e.g. file(Path)) or a list of those, joined into one argument;
// Env alternates names and values, or is [] or default for none. Dir ''
// keeps the working directory. Options bits:
//   0, 1, 2    standard input: inherit, null device, pipe
//   4, 5, 6    standard output, the same
//   8, 9, 10   standard error, the same
//   11         Program is a whole command line
//   12         make a process object (Process)
//   13         a new process group
//   16         a new session, without a controlling terminal
//   15         refused (LVIO_E_PARAMETER_ERROR)
// Bits 3, 7 and 14 have no meaning on this platform and are ignored. An
// encoding is [] (the locale's), binary, or encoding(Name, Signature,
// EndOfLine). In, Out and Err are bound for the piped streams only.
int prolog_process_create(lv_worker* w);
// '$process_wait'(+Process, +Options, +Timeout, -Status, -ExitCode, -Error):
// Timeout in seconds (integer or float) or infinite, 0 polls; Status is 1
// once the process has ended (ExitCode its exit code, the negated signal
// number for one killed by a signal) or 4096 while it runs. Options bit 0
// releases the handle once the process has ended.
int prolog_process_wait(lv_worker* w);
// '$process_kill'(+Process, +Signal, -Error): Signal is SIGTERM, SIGABRT or
// SIGKILL; SIGINT, SIGILL, SIGFPE and SIGSEGV give LVIO_E_NOT_SUPPORTED.
int prolog_process_kill(lv_worker* w);
// '$process_release'(+Process, +Options, -Error)
int prolog_process_release(lv_worker* w);
// '$process_id'(+Process, -Pid, -Error)
int prolog_process_id(lv_worker* w);
// '$is_process'(@Term)
int prolog_is_process(lv_worker* w);
// '$process_self_id'(-Pid)
int prolog_process_self_id(lv_worker* w);

lv_builtin_table lv_process_builtins();
