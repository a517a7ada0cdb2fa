// Child processes: starting them with arguments, a working directory, an
// environment and redirected standard streams; waiting for them, their exit
// status, signalling them and their ids.
//
// A process handle holds the process's pid and a pidfd. A child stays a
// zombie (its pid reserved, its status readable) until its handle is
// released; a child released while it still runs is reaped later, without
// a SIGCHLD handler of the layer's own.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"
#include "lvio/time_value.h"

// One part of an argument: kind "string" (the text as it stands) or "file"
// (a path: the same text, as paths need no conversion here). An argument is
// an array of parts ended by one whose kind is null; its parts are joined
// into one argument.
struct lvio_arg_part {
  const char* kind;
  uint64_t reserved;
  const char* text;
};
typedef const lvio_arg_part* lvio_arg_descriptor;

struct lvio_process;

struct lvio_wait_result {
  int32_t exited;  // 1 once the process has ended
  // The exit code; for a child ended by a signal, the signal's number
  // negated (-9 for SIGKILL), so that it cannot be taken for an exit code.
  int32_t exit_code;
};

// Creation flags. Exactly one of the three choices is needed for each
// standard stream.
constexpr uint32_t LVIO_PROCESS_STDIN_INHERIT = 0x1;
constexpr uint32_t LVIO_PROCESS_STDIN_NULL = 0x2;
constexpr uint32_t LVIO_PROCESS_STDIN_PIPE = 0x4;
constexpr uint32_t LVIO_PROCESS_STDOUT_INHERIT = 0x8;
constexpr uint32_t LVIO_PROCESS_STDOUT_NULL = 0x10;
constexpr uint32_t LVIO_PROCESS_STDOUT_PIPE = 0x20;
constexpr uint32_t LVIO_PROCESS_STDERR_INHERIT = 0x40;
constexpr uint32_t LVIO_PROCESS_STDERR_NULL = 0x80;
constexpr uint32_t LVIO_PROCESS_STDERR_PIPE = 0x100;
constexpr uint32_t LVIO_PROCESS_NEW_GROUP = 0x400;      // the child leads a process group of its own
constexpr uint32_t LVIO_PROCESS_NEW_SESSION = 0x2000;   // the child leads a new session, without a terminal
constexpr uint32_t LVIO_PROCESS_COMMAND_LINE = 0x4000;  // the program text is the whole command line
constexpr uint32_t LVIO_PROCESS_ENVIRONMENT = 0x20000;  // build the child's environment (below)
constexpr uint32_t LVIO_PROCESS_ENVIRONMENT_ONLY_PAIRS = 0x80000;

// Starts a program.
//
// The program is a path; a relative one is taken from the process's working
// directory (the child's directory does not change that), and no search
// path is used. It is the child's argv[0]; each argument descriptor (a
// null-terminated array, or null for none) gives one more argument. With
// LVIO_PROCESS_COMMAND_LINE the program text is a command line instead, to
// which the arguments are added quoted as lvio_quote_argument does; it is
// split back into arguments by the inverse rules, and a first word without
// "/" is looked for on PATH.
//
// The directory (null: the parent's) is the child's working directory.
// Environment: a null-terminated array of descriptors alternating name and
// value (an odd count is LVIO_E_PARAMETER_ERROR). With
// LVIO_PROCESS_ENVIRONMENT the child gets the layer's environment (its
// private settings, then the process environment) with the pairs set, or
// with LVIO_PROCESS_ENVIRONMENT_ONLY_PAIRS the pairs alone (which then must
// not be empty); otherwise it inherits the process environment and the
// pairs are not used.
//
// Each standard stream inherits the parent's, goes to /dev/null, or goes to
// a pipe whose other end is returned in in, out or err (the invalid handle,
// -1, for streams that are not piped). The child starts with no signal
// blocked and every signal at its default action. Every descriptor the
// layer makes is close-on-exec, so the child inherits nothing else of it.
//
// On success the handle goes to *process (or is released when process is
// null). On failure everything made for the child is closed again; a part
// of an unknown kind is LVIO_E_PARAMETER_ERROR, a program that cannot be
// run gives its error (LVIO_E_FILE_NOT_FOUND for a missing one).
[[nodiscard]] lvio_code lvio_process_create(const char* program, const lvio_arg_descriptor* arguments,
                                            const char* directory, const lvio_arg_descriptor* environment, int* in,
                                            int* out, int* err, lvio_process** process, uint32_t flags);

// Sends a signal. Without flag 1 only 15 (SIGTERM) and 22 (the abort
// signal, SIGABRT here) are accepted, others are LVIO_E_NOT_SUPPORTED; with
// flag 1 the process is killed (SIGKILL) whatever the number. A process
// that is gone: LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_process_kill(lvio_process* process, int32_t signal, uint32_t flags);

// Waits until the process has ended, or until the time-out (null: none)
// has passed (LVIO_E_TIMEOUT); an interrupt on the main thread ends the
// wait (LVIO_E_INTERRUPTED). Flag 1 polls. Flag 2 releases the handle once
// the process has ended. The exit status of a process that is not a child
// of this one cannot be had: once it has ended the wait reports
// LVIO_E_NOT_SUPPORTED (with exited set and exit code 0).
[[nodiscard]] lvio_code lvio_process_wait(lvio_process* process, const lvio_time* timeout, lvio_wait_result* result,
                                          uint32_t flags);

// Releases the handle; null is ignored. Flags are not used.
[[nodiscard]] lvio_code lvio_process_release(lvio_process* process, uint32_t flags);

[[nodiscard]] lvio_code lvio_process_id(lvio_process* process, uint32_t* id);
[[nodiscard]] lvio_code lvio_process_current_id(uint32_t* id);

// A handle for the process with that id: LVIO_E_NOT_FOUND when there is
// none.
[[nodiscard]] lvio_code lvio_process_open(uint32_t id, lvio_process** process);

// The text quoted so that the rules of lvio_split_command_line give it
// back as one argument: 1 with a new text (freed with lvio_free) when
// quoting was needed, 0 when the text serves as it stands (nothing is
// made). With a null out only the answer is given.
[[nodiscard]] lvio_code lvio_quote_argument(const char* text, char** quoted);

// Splits a command line into its arguments: blanks separate them outside
// double quotes; 2n backslashes before a double quote stand for n and the
// quote opens or closes quoting, 2n+1 for n and a literal double quote;
// other backslashes stand for themselves. The result is a null-terminated
// array in one lvio_alloc block.
[[nodiscard]] lvio_code lvio_split_command_line(const char* line, char*** arguments);

// The processes module, with the environment step of the layer's start
// and stop: its stop closes the handles of released children that have
// not ended yet.
[[nodiscard]] lvio_code lvio_process_environment_module(uint32_t flags);
