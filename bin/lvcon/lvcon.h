// lvcon: the console window of the windowed program, on the terminal the
// program runs in. Keys are read from standard input and handed out as
// UTF-16 units; text is shown on standard output. On a terminal the input
// is switched to raw mode while the program runs and put back on every
// way out (return, exit, fatal signal), and escape sequences of the cursor
// keys become two-code keys: 0 followed by the key's scan code (72 up,
// 80 down, 75 left, 77 right, 71 home, 79 end, 83 delete, 82 insert,
// 73 page up, 81 page down). Ctrl-C interrupts (SIGINT), Ctrl-\ breaks
// (SIGQUIT). Any other input passes through as the units of its characters.
#pragma once

// What the program hands to the window: its C arguments.
struct rlc_instance {
  int argc;
  char** argv;
};

typedef int (*rlc_main_function)(int argc, char** argv);

// Results of rlc_getchW other than a unit.
constexpr int RLC_END_OF_INPUT = -1;
constexpr int RLC_NO_INPUT = -2;     // nothing typed, and not waiting
constexpr int RLC_INTERRUPTED = -3;  // a signal came while waiting
constexpr int RLC_READ_ERROR = -4;

// Runs main with the instance's arguments in the window and returns its
// exit code. The previous instance, the command line, the show command and
// the icon are those of a window system and are not used here.
int rlc_mainW(const rlc_instance* instance, const void* previous, const char16_t* command_line, int show,
              rlc_main_function main, const void* icon);

// The next unit typed (a character above U+FFFF comes as its two
// surrogates, one call each), or one of the negative results above. With
// wait 0 it answers RLC_NO_INPUT instead of waiting.
int rlc_getchW(int wait);

// A descriptor that polls readable when rlc_getchW may have more to say
// than it had when it last answered RLC_NO_INPUT: a program that waits for
// other things too waits on it (-1 when the keyboard cannot be read).
int rlc_input_handle();

// Shows count units at the cursor: 8 moves the cursor one unit back, 10
// starts a new line. A surrogate pair may be split across calls.
void rlc_writeW(const char16_t* units, int count);

// Sets the title from a non-null title; fills a non-null buffer of size
// units with the current title, zero-terminated, cut to fit.
void rlc_titleW(const char16_t* title, char16_t* buffer, int size);
