// The tool-interface plug-in and hook: one optional library
// ("lvti_<name>.so") that start-up loads and tells of start-up and
// shutdown, and a hook that is told of every native code block installed
// or dropped and of the begin and end of each compilation.
#pragma once

#include <cstdint>

#include "lorvika.h"

typedef void (*lvti_entry)(lvti_record* record, int unused);

// The enable words the native-code compiler reads to skip gathering the
// arguments: the master word, then one each for events 1, 2, 5 and 6.
struct lvti_enable_words {
  int32_t master;
  int32_t code_load;
  int32_t code_unload;
  int32_t begin;
  int32_t end;
};
extern lvti_enable_words lvti_enabled;

extern "C" {
// Slot 130: flags bit 0 clear installs the hook (-10004 for a null hook,
// -10023 while one is installed), set removes it (only when it is the
// installed one). 0 otherwise.
int LV_install_lvti_hook(lvti_hook hook, void* data, uint64_t flags);
}

// Events 1 and 2 (a native code block installed, dropped) and 5 and 6 (a
// compilation begins, ends); each does nothing unless its enable word and
// the master word are set.
void lvti_notify_code_load(const char* name, int64_t arity, const char* module, const void* code, uint64_t size);
void lvti_notify_code_unload(const char* name, int64_t arity, const char* module, const void* code, uint64_t size);
void lvti_notify_begin(const char* name, int64_t arity, const char* module);
void lvti_notify_end(const char* name, int64_t arity, const char* module);

// Flags 0 (start-up, once the engine exists): the record is set up and the
// plug-in named by LV_LVTI_PATH loaded and told (event 3). Flags 1
// (shutdown): the plug-in is told (event 4) and everything forgotten. The
// result is 0 or the code of a plug-in that did not load (start-up goes on
// without one).
int64_t lvti_reset(uint32_t flags);

// The plug-in's path for a setting value: "none" or unset gives 1 (no
// plug-in); a value holding none of "/", "\", "$" and ":" names a plug-in
// in "$LV_LIBRARY_DIR/<platform>/lvti_<name>.so"; anything else is the
// path itself. 0 with *path a new LV_malloc text, or a negative code.
int64_t lvti_plugin_path(const char* setting, char** path);
