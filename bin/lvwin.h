// The windowed program lvwin: the shared main program run in a console
// window (lvcon), whose keyboard and screen become the standard streams
// through a line editor with a history ring. The history is kept in
// "~/lvcmd4.hst" from one run to the next; "~/lvcmd4.ini" sets the number
// of lines kept ("lines", default 25) and whether they are kept ("save",
// default 1).
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

constexpr int LVWIN_MAX_SLOTS = 101;
constexpr int LVWIN_LINE_UNITS = 512;  // a line holds at most 511 units and a zero
constexpr int LVWIN_LINE_MAX = LVWIN_LINE_UNITS - 1;

// What the editor does with the next call.
enum lvwin_editor_mode : int32_t {
  LVWIN_HAND_OUT = 1,     // hand out the accepted line
  LVWIN_READ_KEY = 2,     // read a key and act on it
  LVWIN_SECOND_CODE = 3,  // read the second code of a two-code key
  LVWIN_QUOTED = 4,       // insert the next key as it is
};

struct lvwin_line_editor {
  int32_t slot_count;                  // N, 1 to 101
  char16_t* slots[LVWIN_MAX_SLOTS];    // N lines of 512 units; a ring, the slots after current the older
  char16_t* last_stored;               // the line added to the history last, or null
  int32_t current;                     // the slot being edited
  int32_t browse;                      // the slot a history step showed last
  char16_t* cursor;                    // in the current slot
  char16_t* read_position;             // the next unit of an accepted line to hand out
  int32_t pending;                     // units of the accepted line still to hand out, plus one for its newline
  int32_t column;                      // the cursor, in units from the line's start
  char16_t* spaces;                    // 512 spaces
  char16_t* backspaces;                // 512 units 8
  int32_t mode;                        // lvwin_editor_mode
  char16_t high;                       // the first half of a surrogate pair typed, awaiting its second
};

// The user data of a console stream.
struct lvwin_console_stream {
  int32_t mask;                // 1 input, 2 output
  lvwin_line_editor* editor;   // input only
  bool creating;               // the stream is being made: a close during it leaves the record to its maker
};

struct lv_stream;

// The two files, UTF-8 text.
constexpr const char* LVWIN_SETTINGS_FILE = "~/lvcmd4.ini";
constexpr const char* LVWIN_HISTORY_FILE = "~/lvcmd4.hst";
// Opens one of them for reading or writing; null when it cannot.
lv_stream* lvwin_open_file(const char* path, bool write);

// The setting's value from the settings file, else the default.
int lvwin_read_setting(const char* name, int fallback);

// 0, or LVIO_E_OUT_OF_MEMORY.
int lvwin_line_editor_create(lvwin_line_editor** place);
// Writes the history back (unless "save" is 0) and frees the editor.
void lvwin_line_editor_close(lvwin_line_editor* editor);
// Frees the editor without writing the history.
void lvwin_line_editor_free(lvwin_line_editor* editor);
// The next character code, -1 at end of file, or a negative I/O code. A
// nonzero flags word asks not to wait for a key.
int64_t lvwin_line_editor_getc(lvwin_line_editor* editor, uint32_t flags);

// The hook that makes the standard streams (0 input, 1 output, 2 error).
lv_stream* lvwin_console_stream_hook(void* data, int which);

// The window-title hooks.
void lvwin_set_title_hook(void* data, const char* title);
const char* lvwin_get_title_hook(void* data);
