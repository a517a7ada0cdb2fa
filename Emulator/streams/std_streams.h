// The standard streams: user_input, user_output and user_error, made by a
// replaceable user-stream hook, the current input and output, the hidden
// null stream, and the start-up and shutdown of the stream layer.
#pragma once

#include <cstdint>

#include "streams/stream.h"

// Kinds given to the user-stream hooks.
constexpr int LV_STD_INPUT = 0;
constexpr int LV_STD_OUTPUT = 1;
constexpr int LV_STD_ERROR = 2;

typedef lv_stream* (*lv_user_stream_hook)(void* data, int kind);
typedef void (*lv_user_stream_post_hook)(void* data, int kind, lv_stream* stream);

// The globals of the stream layer that name streams.
struct lv_stream_globals {
  lv_stream* user[3];      // user_input, user_output, user_error
  lv_stream* hook_made[3]; // the records the user-stream hook made last
  lv_stream* current_input;
  lv_stream* current_output;
  lv_stream* null_stream;
  lv_stream* last_line_flush;  // the stream given a line-end flush last
  bool initialised;
  bool forced_interactive;
  int64_t suppress_autoflush;  // LV_SUPPRESS_AUTOFLUSH
};
extern lv_stream_globals lv_streams;

// Start-up: the ring, the null stream and the standard streams through the
// default hook. 1 on success, 0 on failure.
int lv_init_std_streams();
// Installs the standard streams through the hook when it is not the
// default one.
void lv_make_user_streams();
// For kinds 0, 1, 2: hook(data, kind) becomes user_input, user_output,
// user_error (the previous one closed); then post(post data, kind, stream)
// for each. LVIO_E_ERROR when the hook gives null.
int64_t lv_install_user_streams(lv_user_stream_hook hook, void* data, lv_user_stream_post_hook post,
                                void* post_data);
// The standard chain of the kind over a character coder: the terminal's
// locale encoding, else LV_CTYPE_STDIO, LV_CTYPE, the locale, "ISO-8859-1".
lv_stream* lv_default_user_stream_hook(void* data, int kind);
// C-interface slots 73 and 74: install the hooks used by start-up and by
// lv_make_user_streams; each returns the previous one.
lv_user_stream_hook LV_set_user_stream_hook(lv_user_stream_hook hook, void* data);
lv_user_stream_post_hook LV_set_user_stream_post_hook(lv_user_stream_post_hook hook, void* data);
// Current input := user_input, current output := user_output.
void lv_reset_current_streams();
// Shutdown of the stream layer: closes every stream (output flushed
// first), frees the idle hooks, close callbacks, embedded-resource
// directory and stream position records, forgets the runtime current
// directory and the ring. Afterwards the layer starts again as new.
void lv_stream_close_all_std();
// The forced-interactive switch (LV_force_interactive, C-interface slot 2,
// sets it).
void LV_force_interactive();
bool lv_forced_interactive();
// The null stream (input and output, hidden), made on first use and emptied
// and reset on every later use; null when out of memory.
lv_stream* lv_null_stream();

// The encoding named by the first of the settings (an empty name: the
// locale's code set) that is set and not empty: its text after the last
// '.'. A null list asks the locale only. LVIO_E_NOT_FOUND when none names
// one, or the deciding value begins with '/'. *name is freed with lvio_free.
int64_t lv_encoding_from_env(char** name, const char* const* settings);
