// Where the runtime lives: the paths of the program and of the runtime
// library, published as settings; the directory the boot file is found in,
// and the paths taken relative to it (the library directory among them).
#pragma once

#include <cstdint>

#include "core/builtins.h"

// Sets LV_APP_PATH and LV_APP_DIR from the running program's file, and
// LV_RT_PATH and LV_RT_DIR from the runtime library's (the program's when
// the runtime is linked into it). Each path is absolute and normalised; a
// directory ends with "/". false when a path cannot be found or set.
bool lv_set_installation_paths();

// The directory the boot file is looked for in, ending with "/" (a new
// LV_malloc text; null when a path cannot be expanded):
//   1. "$LV_RT_DIR/lv-4.9.0/bin/" when "$LV_RT_DIR/lv-4.9.0/" is a directory;
//   2. "$LV_RT_DIR/" when the file is there;
//   3. "$LV_PATH/bin/" when that is a directory;
//   4. "$LV_RT_DIR/".
char* lv_boot_file_path(const char* file_name);

// The boot directory start-up found (null before), and the path of a boot
// file that failed to load (null when none did). The runtime owns both.
extern "C" const char* lv_get_boot_path();
extern "C" const char* lv_get_failed_bootpath();
// Take over an LV_malloc text (the previous one is freed); null clears.
void lv_set_boot_path(char* path);
void lv_set_failed_bootpath(char* path);

// The boot directory, then "../", then the relative path, normalised (in
// directory form when the path ends with "/"); a new LV_malloc text, null
// on failure or before a boot directory is known.
char* lv_parent_relative_path(const char* relative);

// Sets LV_LIBRARY_DIR to the parent-relative "library/"; false on failure.
bool lv_set_library_dir();

// Slot 131: the parent-relative "bin/corvid.jar" (the runtime owns the
// text; null when it cannot be made).
extern "C" const char* lv_get_classpath();

// Forgets every path (shutdown).
void lv_clear_installation_paths();

// $lorvika_path(Rel, Abs): Abs is the atom of the parent-relative path of
// the atom Rel; fails when there is none.
int prolog_lorvika_path(lv_worker* w);
